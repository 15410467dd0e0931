#pragma once

// Internal to the writer: text as Jet 4 stores it. EncodeText (JetWriter.h)
// picks between the two forms.

#include <QStringView>
#include <cstdint>
#include <vector>

namespace qm::jetwriter {

// The text as UTF-16LE, the form names in table definitions take.
std::vector<std::uint8_t> utf16Bytes(QStringView text);

}  // namespace qm::jetwriter
