#pragma once

// Writes tables with the Jet writer and checks that every independent reader
// returns the same table names, column names, types and values.

#include "jetwriter/JetWriter.h"

#include <QString>
#include <vector>

namespace qm::test {

struct WrittenTable {
    jetwriter::Table table;
    std::vector<std::vector<jetwriter::Cell>> rows;
};

// Writes the tables (in order) to path. Fails the test on a WriteError.
void WriteTables(const QString& path, const std::vector<WrittenTable>& tables, const QString& password = {});

// Each reader on its own: libmdb's command-line programs, mdb-reader (skipped
// when not installed) and our database layer.
void CheckWithLibmdb(const QString& path, const std::vector<WrittenTable>& tables);
void CheckWithNodeReader(const QString& path, const std::vector<WrittenTable>& tables);
void CheckWithDatabaseLayer(const QString& path, const std::vector<WrittenTable>& tables,
                            const QString& password = {});

inline void CheckWithAllReaders(const QString& path, const std::vector<WrittenTable>& tables,
                                const QString& password = {}) {
    CheckWithLibmdb(path, tables);
    CheckWithNodeReader(path, tables);
    CheckWithDatabaseLayer(path, tables, password);
}

}  // namespace qm::test
