#pragma once

// Deterministic rows of plausible values for a table: names, towns, prices,
// dates, notes. The same table, seed and row number always give the same row,
// on every platform (no library random distributions are used).

#include "JetWriter.h"

#include <cstdint>
#include <vector>

namespace qm::jetwriter {

class RowGenerator {
  public:
    // nullRate: share of Nulls in nullable columns, 0 to 1.
    RowGenerator(const Table& table, std::uint64_t seed, double nullRate = 0.05);

    // Fills row with the next row's cells (one per column).
    void next(std::vector<Cell>& row);

  private:
    enum class Kind { Counter, PersonName, Company, City, Country, Email, Phone, Product, Words, Note };

    std::uint64_t random();
    std::uint32_t below(std::uint32_t bound);
    Cell value(const Column& column, Kind kind);
    QString note();
    QString words(Kind kind);

    Table table_;
    std::vector<Kind> kinds_;
    std::uint64_t state_;
    std::uint32_t nullThreshold_;  // out of 2^32
    std::int64_t rowNumber_ = 0;
};

}  // namespace qm::jetwriter
