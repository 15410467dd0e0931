#pragma once

// Access databases written for the wizard's tests by the project's Jet 4
// writer, once per test process.

#include "jetwriter/Description.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>

namespace qm::test {

// Tables the corpus does not have: one field, a name the preview query
// cannot hold, Nulls, separators and line breaks inside values; and a small
// table of three records like Northwind's Shippers, for the page tests that
// must run without the Access-made files.
inline constexpr const char* kEdgeTablesJson = R"({
  "tables": [
    {"name": "One Field",
     "columns": [{"name": "Only Name", "type": "text", "size": 40}],
     "rows": [["first"], ["second"]]},
    {"name": "Odd]Name",
     "columns": [{"name": "Id", "type": "long"}],
     "rows": [[1]]},
    {"name": "Prices",
     "columns": [{"name": "Name", "type": "text", "size": 60},
                 {"name": "Unit Price", "type": "currency"},
                 {"name": "Id", "type": "long"}],
     "rows": [[null, "3.5", 1],
              ["Widget, large", "12.25", 2],
              ["two\r\nlines", "0", 3]]},
    {"name": "Empty",
     "columns": [{"name": "A", "type": "long"}, {"name": "B", "type": "text", "size": 10}],
     "rows": []},
    {"name": "Shippers",
     "columns": [{"name": "ShipperID", "type": "long"},
                 {"name": "CompanyName", "type": "text", "size": 40},
                 {"name": "Phone", "type": "text", "size": 24}],
     "rows": [[1, "Speedy Express", "(503) 555-9831"],
              [2, "United Package", "(503) 555-3199"],
              [3, "Federal Shipping", "(503) 555-9931"]]}
  ]})";

inline constexpr const char* kBigTableJson = R"({
  "tables": [
    {"name": "Big",
     "columns": [{"name": "Id", "type": "long", "nullable": false},
                 {"name": "Name", "type": "text", "size": 40},
                 {"name": "Amount", "type": "double"}],
     "generate": {"count": 150000, "seed": 7, "nulls": 0.05}}
  ]})";

// Writes the database once per process and returns its path.
inline QString fixtureDatabase(const char* name, const char* json) {
    static QTemporaryDir folder;
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!QFileInfo::exists(path)) {
        try {
            jetwriter::WriteDescriptionFile(QByteArray(json), path);
        } catch (const std::exception& error) {
            ADD_FAILURE() << "fixture " << name << ": " << error.what();
        }
    }
    return path;
}

inline QString edgeTables() {
    return fixtureDatabase("edge-tables.mdb", kEdgeTablesJson);
}
inline QString bigTable() {
    return fixtureDatabase("big-table.mdb", kBigTableJson);
}

}  // namespace qm::test
