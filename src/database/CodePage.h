#pragma once

// Conversion between text and the single-byte (or DBCS) code page that Jet 3
// files store some of their header text in, through the C library's iconv.

#include <QByteArray>
#include <QString>
#include <optional>
#include <string_view>

namespace qm::jet {

// Windows code page number as the header stores it (1252 for Western files).
// Unknown code pages fall back to 1252.
QString DecodeCodePage(int codePage, std::string_view bytes);
// Nothing when a character has no form in the code page.
std::optional<QByteArray> EncodeCodePage(int codePage, const QString& text);

}  // namespace qm::jet
