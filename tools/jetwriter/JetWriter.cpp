#include "JetWriter.h"

#include "Catalogue.h"
#include "CellEncoding.h"
#include "Header.h"
#include "LongValues.h"
#include "Pages.h"
#include "TableDefinition.h"
#include "UsageMaps.h"

#include <QSaveFile>
#include <QSet>

#include <cmath>

// The writer itself: tables opened and closed, rows checked, assembled and put
// on their pages, and the catalogue and header written at the end. The parts
// of the format live in files of their own: Pages (data pages and the file),
// TableDefinition (layouts and definition pages), CellEncoding (values),
// TextEncoding, LongValues, UsageMaps, Catalogue and Header.

namespace qm::jetwriter {

namespace {

// What a row of the open table holds, as found when sizing it.
struct RowShape {
    std::size_t columns = 0;  // the columns it holds, counted from the first
    int fixedSize = 0;        // bytes of its fixed area
    int varCount = 0;         // its variable columns
};

}  // namespace

struct Writer::Impl {
    explicit Impl(QIODevice& device, Options o) : file(device), options(std::move(o)) {}

    PageFile file;
    Options options;
    bool finished = false;

    // Catalogue entries of the user tables, in the order written.
    std::vector<CatalogueEntry> tables;
    QSet<QString> tableKeys;

    // The open table.
    bool tableOpen = false;
    TableLayout table;
    std::uint32_t tableDefPage = 0;
    std::uint32_t rowCount = 0;
    PageSet dataPages;
    RowPage dataPage;
    RowPage movedPage;  // where moved rows go: always a page after the open data page
    std::uint8_t owner[4] = {};
    std::vector<EncodedCell> encoded;
    std::vector<std::uint8_t> row;        // the fixed area of the row being written
    std::vector<std::uint8_t> rowBytes;   // the whole row being written
    std::vector<std::uint8_t> homeBytes;  // a moved row's home: its pointer and the rest of its bytes
    std::vector<std::uint16_t> offsets;   // its variable columns' offsets

    // Shared by all tables: the long-value pages and the page holding page maps.
    LongValueWriter longValues{file};
    UsageMapWriter usageMaps{file};

    void openTable(TableLayout t, std::uint32_t definitionPage);
    void encodeRow(std::span<const Cell> cells, std::size_t columns);
    RowLocation placeRow(std::size_t columns, bool moved);
    RowShape sizeRow(std::size_t columns) const;
    void assembleRow(const RowShape& shape);
    RowLocation placeAssembledRow();
    RowLocation placeMovedRow();
    void startPage(RowPage& page);
    void closeTable();
};

// Makes the table the open one, its definition to be written from definitionPage.
void Writer::Impl::openTable(TableLayout t, std::uint32_t definitionPage) {
    table = std::move(t);
    tableDefPage = definitionPage;
    put32(owner, tableDefPage);
    rowCount = 0;
    dataPages = PageSet{};
    tableOpen = true;
}

// Checks and encodes the cells of the first `columns` columns into `encoded`;
// throws WriteError naming the column.
void Writer::Impl::encodeRow(std::span<const Cell> cells, std::size_t columns) {
    const std::size_t n = columns;
    encoded.resize(n);
    std::vector<std::uint8_t>& fixedArea = row;  // reused below; assembled in assembleRow
    fixedArea.assign(std::size_t(table.fixedSize), 0);
    for (std::size_t i = 0; i < n; ++i) {
        const ColumnLayout& c = table.columns[i];
        EncodedCell& e = encoded[i];
        e.bytes.clear();
        e.boolean = false;
        e.isNull = std::holds_alternative<std::monostate>(cells[i]);
        try {
            if (e.isNull) {
                if (!c.nullable)
                    throw CellProblem{c.type == ColumnType::Boolean
                                          ? QStringLiteral("a Yes/No column cannot hold Null.")
                                          : QStringLiteral("the column does not accept Null.")};
                continue;
            }
            if (c.calculated)
                encodeCalculated(c, cells[i], e);
            else if (c.fixed)
                encodeFixed(c, cells[i], fixedArea.data() + c.fixedOffset, e);
            else
                encodeVariable(c, cells[i], e);
        } catch (CellProblem& problem) {
            throw WriteError(QStringLiteral("Table %1, column %2, row %3: %4")
                                 .arg(quoted(table.name), quoted(c.name))
                                 .arg(rowCount + 1)
                                 .arg(problem.text));
        }
    }
}

// Flushes the page if open and starts a new data page of the table.
void Writer::Impl::startPage(RowPage& page) {
    if (page.open())
        page.flush(file);
    const std::uint32_t number = file.allocate();
    page.reset(number, owner);
    dataPages.add(number);
}

// Assembles the encoded row of the first `columns` columns, stores its long
// values and puts it on a data page; a moved row on the page for moved rows,
// with a pointer to it in its home slot.
RowLocation Writer::Impl::placeRow(std::size_t columns, bool moved) {
    const RowShape shape = sizeRow(columns);
    assembleRow(shape);
    const RowLocation location = moved ? placeMovedRow() : placeAssembledRow();
    ++rowCount;
    return location;
}

// Sizes the row first, so that a row too large is refused before anything is
// written. A short row holds the fixed and variable columns among its first
// `columns`: as the table's layout keeps columns in order, its fixed area is
// the start of the table's.
RowShape Writer::Impl::sizeRow(std::size_t columns) const {
    RowShape shape;
    shape.columns = columns;
    std::size_t varBytes = 0;
    for (std::size_t i = 0; i < columns; ++i) {
        const ColumnLayout& c = table.columns[i];
        if (c.fixed) {
            shape.fixedSize += fixedLength(c.fileType);
            continue;
        }
        ++shape.varCount;
        if (encoded[i].isNull)
            continue;
        if (c.longValue)
            varBytes += LongValueWriter::rowBytes(encoded[i].bytes.size());
        else
            varBytes += encoded[i].bytes.size();
    }
    // Readers look for the variable columns' offsets when the table has any,
    // so a short row keeps them even when it holds none of those columns.
    const std::size_t trailer = table.varCount > 0 ? 2 + 2 * std::size_t(shape.varCount) + 2 : 0;
    const std::size_t maskSize = (columns + 7) / 8;
    const std::size_t size = 2 + std::size_t(shape.fixedSize) + varBytes + trailer + maskSize;
    if (size > std::size_t(kMaxRowBytes))
        throw WriteError(QStringLiteral("Table %1, row %2: the row takes %3 bytes; a row can take at most %4 "
                                        "(memo values longer than %5 bytes not counted).")
                             .arg(quoted(table.name))
                             .arg(rowCount + 1)
                             .arg(size)
                             .arg(kMaxRowBytes)
                             .arg(kMaxInlineMemo));
    return shape;
}

// Assembles the row into rowBytes: the column count, the fixed area, the
// variable values (long values stored as they come), then the end of the
// variable data, their offsets backwards and their count, then the null mask.
void Writer::Impl::assembleRow(const RowShape& shape) {
    const std::size_t n = shape.columns;
    std::vector<std::uint8_t>& out = rowBytes;
    out.clear();
    append16(out, std::uint16_t(n));
    out.insert(out.end(), row.begin(), row.begin() + shape.fixedSize);  // the fixed area
    offsets.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const ColumnLayout& c = table.columns[i];
        if (c.fixed)
            continue;
        offsets.push_back(std::uint16_t(out.size()));
        const EncodedCell& e = encoded[i];
        if (e.isNull)
            continue;
        if (c.longValue)
            longValues.appendField(out, e.bytes);
        else
            out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    }
    if (table.varCount > 0) {
        append16(out, std::uint16_t(out.size()));  // end of the variable data
        for (auto it = offsets.rbegin(); it != offsets.rend(); ++it)
            append16(out, *it);
        append16(out, std::uint16_t(shape.varCount));
    }
    const std::size_t maskStart = out.size();
    out.resize(out.size() + (n + 7) / 8, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const ColumnLayout& c = table.columns[i];
        const bool set =
            c.fileType == kTypeBoolean && !c.calculated ? encoded[i].boolean : !encoded[i].isNull;
        if (set)
            out[maskStart + i / 8] |= std::uint8_t(1u << (i % 8));
    }
}

// Puts the assembled row on the open data page.
RowLocation Writer::Impl::placeAssembledRow() {
    if (!dataPage.fits(rowBytes.size()))
        startPage(dataPage);
    const int slot = dataPage.add(rowBytes.data(), rowBytes.size());
    return {dataPage.number(), slot};
}

// Puts the assembled row on the page for moved rows and a pointer to it in its
// home slot on the open data page. The home slot keeps the row's bytes with
// the pointer over their start, as Access leaves the old bytes behind.
RowLocation Writer::Impl::placeMovedRow() {
    homeBytes.assign(rowBytes.begin(), rowBytes.end());
    if (homeBytes.size() < kRowPointerSize)
        homeBytes.resize(kRowPointerSize, 0);
    if (!dataPage.fits(homeBytes.size()))
        startPage(dataPage);
    if (!movedPage.fits(rowBytes.size()) || movedPage.number() < dataPage.number())
        startPage(movedPage);
    const int slot = movedPage.add(rowBytes.data(), rowBytes.size(), kRowMovedHere);
    put32(homeBytes.data(), pageRow(movedPage.number(), slot));
    dataPage.add(homeBytes.data(), homeBytes.size(), kRowMovedAway);
    return {movedPage.number(), slot};
}

void Writer::Impl::closeTable() {
    if (dataPage.open())
        dataPage.flush(file);
    if (movedPage.open())
        movedPage.flush(file);
    const std::uint32_t usage = usageMaps.write(dataPages);
    const std::uint32_t freeSpace = usageMaps.write(PageSet{});
    writeTableDefinition(file, tableDefPage, tableDefinitionBody(table, rowCount, usage, freeSpace));
    tableOpen = false;
}

Writer::Writer(QIODevice& device, Options options) : d(std::make_unique<Impl>(device, std::move(options))) {
    if (d->options.password.size() > kMaxPasswordLength)
        throw WriteError(QStringLiteral("The password has %1 characters; Jet 4 keeps at most %2.")
                             .arg(d->options.password.size())
                             .arg(kMaxPasswordLength));
    if (d->options.password.contains(QChar(0)))
        throw WriteError(QStringLiteral("A database password cannot contain a null character."));
    if (!std::isfinite(d->options.created.days))
        throw WriteError(QStringLiteral("The creation date must be a finite number of days."));
    if (!device.isWritable() || device.isSequential())
        throw WriteError(
            QStringLiteral("The database can only be written to a seekable device open for writing."));
    d->file.allocate(3);  // header, page map, catalogue definition
}

Writer::~Writer() = default;

void Writer::beginTable(const Table& table) {
    if (d->finished)
        throw WriteError(QStringLiteral("The database is already finished."));
    if (d->tableOpen)
        throw WriteError(QStringLiteral("Table %1 is still open.").arg(quoted(d->table.name)));
    TableLayout t = userLayout(table);
    const QString key = t.name.toCaseFolded();
    if (d->tableKeys.contains(key) || key == QStringLiteral("msysobjects"))
        throw WriteError(
            QStringLiteral("There is already a table named %1 (names ignore case).").arg(quoted(t.name)));
    d->tableKeys.insert(key);
    const std::uint32_t definitionPage = d->file.allocate(tableDefinitionPages(t));
    d->openTable(std::move(t), definitionPage);
    d->tables.push_back(tableEntry(d->table, d->tableDefPage));
}

RowLocation Writer::addRow(std::span<const Cell> cells, RowLayout layout) {
    if (!d->tableOpen)
        throw WriteError(QStringLiteral("No table is open."));
    const std::size_t columns = d->table.columns.size();
    if (cells.size() != columns)
        throw WriteError(QStringLiteral("Table %1, row %2: %3 values for %4 columns.")
                             .arg(quoted(d->table.name))
                             .arg(d->rowCount + 1)
                             .arg(cells.size())
                             .arg(columns));
    if (layout.columns < 0 || std::size_t(layout.columns) > columns)
        throw WriteError(QStringLiteral("Table %1, row %2: a row cannot hold %3 of the table's %4 columns.")
                             .arg(quoted(d->table.name))
                             .arg(d->rowCount + 1)
                             .arg(layout.columns)
                             .arg(columns));
    const std::size_t held = layout.columns == 0 ? columns : std::size_t(layout.columns);
    d->encodeRow(cells, held);
    return d->placeRow(held, layout.moved);
}

void Writer::endTable() {
    if (!d->tableOpen)
        throw WriteError(QStringLiteral("No table is open."));
    d->closeTable();
}

void Writer::finish() {
    if (d->finished)
        throw WriteError(QStringLiteral("The database is already finished."));
    if (d->tableOpen)
        endTable();

    // The catalogue: the containers, itself, then the user tables.
    d->openTable(catalogueLayout(), kCataloguePage);
    const DateTime created = d->options.created;
    auto addEntry = [&](const CatalogueEntry& entry) {
        const auto cells = catalogueCells(entry, created);
        d->encodeRow(cells, cells.size());
        if (!entry.properties.empty())
            d->encoded[kLvPropColumn] = {false, false, entry.properties};
        d->placeRow(cells.size(), false);
    };
    for (const auto& entry : systemEntries())
        addEntry(entry);
    for (const auto& entry : d->tables)
        addEntry(entry);
    d->closeTable();

    d->longValues.flush();
    d->usageMaps.flush();
    writeGlobalMap(d->file);
    writeHeader(d->file, d->options);
    d->finished = true;
}

std::uint32_t Writer::pageCount() const {
    return d->file.count();
}

bool Writer::isFinished() const {
    return d->finished;
}

void WriteFile(const QString& path, const Options& options, const std::function<void(Writer&)>& fill) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw WriteError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    try {
        Writer writer(file, options);
        fill(writer);
        if (!writer.isFinished())
            writer.finish();
    } catch (...) {
        file.cancelWriting();
        throw;
    }
    if (!file.commit())
        throw WriteError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

}  // namespace qm::jetwriter
