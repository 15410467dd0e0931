#pragma once

#include "common/FailingDevice.h"

#include "export/document/TextSpool.h"

#include <QIODevice>
#include <QJsonObject>
#include <QString>
#include <string>
#include <vector>

namespace qm::test {

// Reads a .docx back with python-docx and Python's zipfile (read_docx.py
// --package): paragraphs, parts and how the package is made. With lines, the
// answer's "expected" holds what each paragraph must read as; with extractTo,
// the parts are written there. Adds a test failure and returns an empty
// object when the readers fail.
QJsonObject inspectDocx(const QString& path, const std::vector<std::string>& lines = {},
                        const QString& extractTo = {});

// Strings from a JSON array.
std::vector<QString> strings(const QJsonValue& array);

// Makes writes past the size fail with EFBIG ("File too large") in this
// process, as a full disk would. For child processes of death tests.
void limitFileSize(std::uint64_t bytes);

// Fills a spool with the lines.
void appendAll(TextSpool& spool, const std::vector<std::string>& lines);

}  // namespace qm::test
