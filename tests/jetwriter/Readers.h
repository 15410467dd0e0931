#pragma once

// The independent readers the Jet writer is checked with: the mdbtools
// command-line programs (libmdb) and the npm package mdb-reader (through
// tests/node/dump.mjs).

#include "common/RunProcess.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace qm::test {

// mdb-tables -1: the user tables, one a line.
QStringList MdbTables(const QString& path);

// mdb-count.
long long MdbCount(const QString& path, const QString& table);

// mdb-schema: column name and mdbtools' type name ("Long Integer", "Text (80)").
std::vector<std::pair<QString, QString>> MdbSchema(const QString& path, const QString& table);

// mdb-export, parsed: the header row first, then the rows; Null is nullopt.
// Dates as "YYYY-MM-DD HH:MM:SS", booleans as 1/0.
using ExportRow = std::vector<std::optional<QString>>;
std::vector<ExportRow> MdbExport(const QString& path, const QString& table);

// Whether node and the installed mdb-reader package are there (npm ci --prefix tests/node).
bool HaveNodeReader();
// dump.mjs output as JSON. Fails the current test on reader errors.
QJsonObject NodeDump(const QString& path, const QStringList& options = {});

}  // namespace qm::test
