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

// dump.mjs output as JSON; reader errors fail the current test. mdb-reader
// counts as there once tests/node is installed (npm ci --prefix tests/node),
// and must then work. Before that the current test is marked skipped and
// nothing returned; the caller's other checks go on, and their failures
// still fail it.
std::optional<QJsonObject> NodeDump(const QString& path, const QStringList& options = {});

}  // namespace qm::test
