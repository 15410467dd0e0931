#pragma once

// Databases described in JSON (the input of quillmerge-mkdb, the sample
// database and the test fixtures). The format is documented in tools/README.md
// and in `quillmerge-mkdb --help`.

#include "JetWriter.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace qm::jetwriter {

struct GenerateSpec {
    std::int64_t count = 0;
    std::uint64_t seed = 0;
    double nullRate = 0.05;
};

// Rows stored in the layouts edits in Access leave behind (see RowLayout):
// listed by row number (from 1), or a share of the rows picked from the seed.
struct LayoutSpec {
    std::set<std::int64_t> moved;
    std::map<std::int64_t, int> shortRows;  // row number: the columns it holds
    double movedShare = 0;
    double shortShare = 0;
    std::uint64_t seed = 0;

    // The layout of a row (from 1) of the copy (from 1) of a table of that
    // many columns; the same arguments always give the same layout.
    RowLayout of(std::int64_t row, int copy, int columns) const;
};

struct TableSpec {
    Table schema;  // name may hold "{n}" when repeated
    int repeat = 1;
    QJsonArray rows;  // literal rows, each an array with one value per column
    std::optional<GenerateSpec> generate;
    LayoutSpec layout;
};

struct Description {
    Options options;
    std::vector<TableSpec> tables;
};

// Throws WriteError naming the table, column or row for anything malformed.
Description ParseDescription(const QByteArray& json);

// The cell a JSON value stands for in a column. Throws WriteError (without
// naming the place; callers add it).
Cell CellFromJson(const Column& column, const QJsonValue& value);

// The name of the index-th copy (from 1) of a repeated table.
QString RepeatedName(const QString& pattern, int index);

struct WriteSummary {
    std::int64_t tables = 0;
    std::int64_t rows = 0;
    std::uint32_t pages = 0;
};

// Adds every table of the description to the writer and finishes it.
WriteSummary WriteDescription(const Description& description, Writer& writer);

// Reads, checks and writes in one go; the output is written atomically.
WriteSummary WriteDescriptionFile(const QByteArray& json, const QString& outputPath);

}  // namespace qm::jetwriter
