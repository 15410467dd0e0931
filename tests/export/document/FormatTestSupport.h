#pragma once

#include "common/FailingDevice.h"
#include "common/Files.h"

#include "export/document/DocumentFormats.h"
#include "export/document/TextSpool.h"

#include <QIODevice>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <ostream>
#include <string>
#include <vector>

namespace qm::test {

// Record lines as an export appends them to the spool. Values may hold line
// breaks of their own (CR LF, LF, CR).
using Lines = std::vector<std::string>;

// Lines with the edges every format must carry: blanks at both ends and in
// runs, tabs, empty lines, line breaks inside values, Latin-1 and other
// letters, characters every format escapes, control characters. No character
// beyond the Basic Multilingual Plane: antiword, catdoc, wvWare and pandoc's
// RTF reader cannot show those (see AstralLines).
Lines EdgeLines();
// Lines with characters beyond the Basic Multilingual Plane (emoji, musical
// symbols), for the readers that can show them.
Lines AstralLines();
// A long memo: one record of about 70,000 characters, Latin-1 and other
// scripts in long stretches, with line breaks inside.
Lines MemoLines();
// Many records whose scripts change from stretch to stretch, so a .doc gets
// many pieces of both kinds and many paragraph pages.
Lines ManyLines(int count);

// What the document holds: a paragraph per line as ShownInParagraph gives it,
// and one empty paragraph for no lines at all.
QStringList ExpectedParagraphs(const Lines& lines);

// Writes the lines as one document in the format, through the atomic save.
void WriteDocument(const Lines& lines, DocumentFormat format, const QString& path);

// The rows of a table, a value per cell (TextSpool::appendRow).
using Rows = std::vector<Lines>;
// A header row, then rows whose cells hold the edges of EdgeLines, the
// characters of separators, an empty row and a value's own escape byte
// before a tab.
Rows EdgeRows();
// Writes the rows as one table, the first a header row, through the atomic save.
void WriteTable(const Rows& rows, DocumentFormat format, const QString& path);

// Runs read_document.py with a reader on a file. Adds a test failure and
// returns an empty object when the reader is missing or fails.
QJsonObject ReadBack(const QString& reader, const QString& path, const QString& workDir = {});
QStringList Strings(const QJsonValue& array);

// What the command-line readers show of the paragraphs.
// antiword: a line per line break; no blanks or tabs at the end of a line.
QStringList AsAntiwordLines(const QStringList& paragraphs);
// catdoc: a line per line break; no empty lines.
QStringList AsCatdocLines(const QStringList& paragraphs);
// pandoc: blanks and tabs collapse to one blank, none at either end, and
// empty paragraphs vanish.
QStringList AsPandocParagraphs(const QStringList& paragraphs);
// pandoc's RTF reader shows each half of a UTF-16 surrogate pair as U+FFFD.
QStringList WithSplitSurrogates(const QStringList& paragraphs);

// Bytes of a file; empty when it cannot be read.
QByteArray ContentsOf(const QString& path);

}  // namespace qm::test
