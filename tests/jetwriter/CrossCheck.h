#pragma once

// Writes tables with the Jet writer and checks that every independent reader
// returns the same table names, column names, types and values.

#include "jetwriter/JetWriter.h"

#include <QString>
#include <vector>

namespace qm::test {

struct WrittenTable {
    jetwriter::Table table;
    // As readers give them back: a short row's cells past its columns are
    // Null (false for Yes/No).
    std::vector<std::vector<jetwriter::Cell>> rows;
    // How each row is stored; none: every row as Access writes a new one.
    std::vector<jetwriter::RowLayout> layouts = {};
    // Where WriteTables stored each row's data.
    std::vector<jetwriter::RowLocation> stored = {};
};

// Writes the tables (in order) to path and notes where each row went. Fails
// the test on a WriteError.
void WriteTables(const QString& path, std::vector<WrittenTable>& tables, const QString& password = {});
inline void WriteTables(const QString& path, std::vector<WrittenTable>&& tables,
                        const QString& password = {}) {
    WriteTables(path, tables, password);
}

// Each reader on its own: libmdb's command-line programs, mdb-reader (the
// calling test is marked skipped when it is not installed, see NodeDump) and
// our database layer. Our layer must give a moved row at its home place;
// libmdb and mdb-reader give it where its data lies.
void CheckWithLibmdb(const QString& path, const std::vector<WrittenTable>& tables);
void CheckWithNodeReader(const QString& path, const std::vector<WrittenTable>& tables);
void CheckWithDatabaseLayer(const QString& path, const std::vector<WrittenTable>& tables,
                            const QString& password = {});

inline void CheckWithAllReaders(const QString& path, const std::vector<WrittenTable>& tables,
                                const QString& password = {}) {
    CheckWithLibmdb(path, tables);
    CheckWithDatabaseLayer(path, tables, password);
    CheckWithNodeReader(path, tables);
}

}  // namespace qm::test
