#include "JetWriter.h"

#include "Properties.h"

#include "database/JetHeader.h"
#include "database/Rc4.h"

#include <QSaveFile>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace qm::jetwriter {

namespace {

// ---------------------------------------------------------------------------
// Layout constants of the Jet 4 format.

constexpr std::uint32_t kMaxPages = 0x80000;  // 2 GB, the largest Jet 4 file

enum PageType : std::uint8_t {
    kPageHeader = 0x00,
    kPageData = 0x01,
    kPageTableDef = 0x02,
    kPageUsageMap = 0x05
};

// Data pages (and long-value pages): type, 0x01, free space, owner, 4 unknown
// bytes, row count, then one 2-byte offset per row; rows fill from the end.
constexpr int kDataHeaderSize = 14;
constexpr int kDataRowCountOffset = 12;
constexpr int kMaxRowsPerPage = 255;  // a row pointer keeps the row number in one byte
// Flags over a row's offset in the row table, for a row that was moved.
constexpr std::uint16_t kRowMovedAway = 0x4000;  // its home slot: a pointer to where the data lies now
constexpr std::uint16_t kRowMovedHere = 0x8000;  // its data, reached through the pointer only
constexpr std::size_t kRowPointerSize = 4;       // the row number, then the page in three bytes

// Table definition pages: 8 header bytes on every page, then the definition.
constexpr int kTableDefHeaderSize = 8;
constexpr int kTableDefBytesPerPage = kPageSize - kTableDefHeaderSize;
constexpr int kColumnEntrySize = 25;
// Copied from the table definitions Access writes; its meaning is unknown.
constexpr std::uint32_t kTableDefMagic = 0x0659;

constexpr std::uint8_t kUserTable = 0x4E;
constexpr std::uint8_t kSystemTable = 0x53;
constexpr std::uint8_t kColumnFixed = 0x01;
constexpr std::uint8_t kColumnUpdatable = 0x02;
constexpr std::uint8_t kColumnSystem = 0x10;
constexpr std::uint8_t kColumnCompressedUnicode = 0x01;
constexpr std::uint8_t kColumnCalculated = 0xC0;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;

// Page usage maps: rows of 69 bytes, as Access writes them. Type 0 holds a
// start page and a bitmap of 512 pages; type 1 points to up to 17 pages of
// type 0x05, each a bitmap of 32736 pages.
constexpr int kMapRowSize = 69;
constexpr std::uint32_t kInlineMapPages = (kMapRowSize - 5) * 8;
constexpr std::uint32_t kMapPagePages = (kPageSize - 4) * 8;
constexpr int kMapPagePointers = (kMapRowSize - 1) / 4;

// Long values (memo): a 12-byte field in the row, the data inline or in rows
// of long-value pages (pages marked "LVAL" instead of an owner).
constexpr int kMemoFieldSize = 12;
constexpr std::uint32_t kMemoInline = 0x80000000u;
constexpr std::uint32_t kMemoSinglePage = 0x40000000u;
constexpr std::size_t kMaxInlineMemo = 64;
constexpr std::size_t kLvalChunk = kMaxRowBytes - 4;  // a chained row starts with the next row's pointer
constexpr std::size_t kMaxMemoBytes = 0xFFFFFF;       // readers take the length from three bytes
constexpr int kMaxCompressedMemoChars = 1024;         // Access compresses no longer memo

// Column types in the file. Binary and OLE only occur in the catalogue.
enum FileType : std::uint8_t {
    kTypeBoolean = 0x01,
    kTypeByte = 0x02,
    kTypeInteger = 0x03,
    kTypeLong = 0x04,
    kTypeMoney = 0x05,
    kTypeSingle = 0x06,
    kTypeDouble = 0x07,
    kTypeDateTime = 0x08,
    kTypeBinary = 0x09,
    kTypeText = 0x0A,
    kTypeOle = 0x0B,
    kTypeMemo = 0x0C,
    kTypeGuid = 0x0F,
};

// Header page (page 0). The region from 0x18 is obscured with RC4.
constexpr int kHeaderObscuredOffset = 0x18;
constexpr int kHeaderObscuredLength = 128;
constexpr std::array<std::uint8_t, 4> kHeaderKey{0xC7, 0xDA, 0x39, 0x6B};

// Catalogue identifiers, as in databases made by Access.
constexpr std::int32_t kCatalogueRoot = 0x0F000000;
constexpr std::int32_t kTablesContainer = 0x0F000001;
constexpr std::int32_t kDatabasesContainer = 0x0F000002;
constexpr std::int32_t kRelationshipsContainer = 0x0F000003;
constexpr std::int32_t kSystemObjectFlag = std::numeric_limits<std::int32_t>::min();  // 0x80000000
constexpr std::int16_t kCatalogueTable = 1;
constexpr std::int16_t kCatalogueContainer = 3;
constexpr std::uint32_t kCataloguePage = 2;

// ---------------------------------------------------------------------------
// Messages.

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

QString typeName(ColumnType type) {
    switch (type) {
        case ColumnType::Text:
            return QStringLiteral("Text");
        case ColumnType::Memo:
            return QStringLiteral("Memo");
        case ColumnType::Byte:
            return QStringLiteral("Byte");
        case ColumnType::Integer:
            return QStringLiteral("Integer");
        case ColumnType::Long:
            return QStringLiteral("Long");
        case ColumnType::Single:
            return QStringLiteral("Single");
        case ColumnType::Double:
            return QStringLiteral("Double");
        case ColumnType::Currency:
            return QStringLiteral("Currency");
        case ColumnType::DateTime:
            return QStringLiteral("Date/Time");
        case ColumnType::Boolean:
            return QStringLiteral("Yes/No");
        case ColumnType::Guid:
            return QStringLiteral("Replication ID");
    }
    return {};
}

// A value problem found while encoding one cell; addRow adds where it happened.
struct CellProblem {
    QString text;
};

// ---------------------------------------------------------------------------
// Little-endian helpers.

void put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
void put64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}
void putDouble(std::uint8_t* p, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put64(p, bits);
}
void putFloat(std::uint8_t* p, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put32(p, bits);
}
void append16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(std::uint8_t(v));
    out.push_back(std::uint8_t(v >> 8));
}

std::uint32_t pageRow(std::uint32_t page, int row) {
    return page << 8 | std::uint32_t(row);
}

using PageBuffer = std::array<std::uint8_t, kPageSize>;

// ---------------------------------------------------------------------------
// The file as numbered pages on the device.

class PageFile {
  public:
    explicit PageFile(QIODevice& device) : device_(device) {}

    std::uint32_t allocate(std::uint32_t count = 1) {
        if (next_ + count > kMaxPages)
            throw WriteError(
                QStringLiteral("The database would exceed 2 GB, the largest file Jet 4 allows."));
        const std::uint32_t first = next_;
        next_ += count;
        return first;
    }
    std::uint32_t count() const { return next_; }

    void write(std::uint32_t page, const PageBuffer& data) {
        const qint64 offset = qint64(page) * kPageSize;
        if (position_ != offset) {
            if (!device_.seek(offset))
                throw failure();
        }
        if (device_.write(reinterpret_cast<const char*>(data.data()), kPageSize) != kPageSize)
            throw failure();
        position_ = offset + kPageSize;
    }

  private:
    WriteError failure() const {
        return WriteError(QStringLiteral("Cannot write the database: %1").arg(device_.errorString()));
    }

    QIODevice& device_;
    std::uint32_t next_ = 0;
    qint64 position_ = -1;
};

// A data page (or long-value page) being filled with rows.
class RowPage {
  public:
    void reset(std::uint32_t number, const std::uint8_t owner[4]) {
        buffer_.fill(0);
        buffer_[0] = kPageData;
        buffer_[1] = 0x01;
        std::memcpy(&buffer_[4], owner, 4);
        number_ = number;
        rows_ = 0;
        end_ = kPageSize;
        open_ = true;
    }
    bool open() const { return open_; }
    bool empty() const { return rows_ == 0; }
    std::uint32_t number() const { return number_; }
    bool fits(std::size_t length) const {
        return open_ && rows_ < kMaxRowsPerPage &&
               kDataHeaderSize + 2 * (rows_ + 1) + (kPageSize - end_) + int(length) <= kPageSize;
    }
    // Adds a row (which must fit) and returns its number on the page.
    int add(const std::uint8_t* data, std::size_t length, std::uint16_t flags = 0) {
        end_ -= int(length);
        std::memcpy(&buffer_[std::size_t(end_)], data, length);
        put16(&buffer_[std::size_t(kDataHeaderSize + 2 * rows_)], std::uint16_t(end_ | flags));
        return rows_++;
    }
    // Finishes the page and writes it.
    void flush(PageFile& file) {
        put16(&buffer_[2], std::uint16_t(end_ - kDataHeaderSize - 2 * rows_));
        put16(&buffer_[kDataRowCountOffset], std::uint16_t(rows_));
        file.write(number_, buffer_);
        open_ = false;
    }

  private:
    PageBuffer buffer_{};
    std::uint32_t number_ = 0;
    int rows_ = 0;
    int end_ = kPageSize;
    bool open_ = false;
};

// The set of pages a table owns, as a bitmap from its first page.
class PageSet {
  public:
    void add(std::uint32_t page) {
        if (bits_.empty())
            first_ = page;
        const std::uint32_t bit = page - first_;
        if (bit / 8 >= bits_.size())
            bits_.resize(bit / 8 + 1, 0);
        bits_[bit / 8] |= std::uint8_t(1u << (bit % 8));
        last_ = page;
    }
    bool empty() const { return bits_.empty(); }
    std::uint32_t first() const { return first_; }
    std::uint32_t last() const { return last_; }
    bool contains(std::uint32_t page) const {
        if (bits_.empty() || page < first_ || page > last_)
            return false;
        const std::uint32_t bit = page - first_;
        return bits_[bit / 8] & (1u << (bit % 8));
    }

  private:
    std::vector<std::uint8_t> bits_;
    std::uint32_t first_ = 0;
    std::uint32_t last_ = 0;
};

// ---------------------------------------------------------------------------
// Text.

bool compressible(char16_t unit) {
    return unit != 0 && unit <= 0xFF;
}

std::vector<std::uint8_t> utf16Bytes(QStringView text) {
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(text.size()) * 2);
    for (const QChar c : text) {
        out.push_back(std::uint8_t(c.unicode()));
        out.push_back(std::uint8_t(c.unicode() >> 8));
    }
    return out;
}

// The compressed form: FF FE, then single bytes for characters below 256 and
// pairs for the others, a zero byte switching between the two modes. Not
// possible when a character's low byte is zero (it would read as a switch).
std::optional<std::vector<std::uint8_t>> compressedBytes(QStringView text) {
    std::vector<std::uint8_t> out{0xFF, 0xFE};
    out.reserve(std::size_t(text.size()) + 8);
    bool single = true;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if ((unit & 0xFF) == 0)
            return std::nullopt;
        const bool fitsOneByte = compressible(unit);
        if (fitsOneByte != single) {
            out.push_back(0);
            single = fitsOneByte;
        }
        out.push_back(std::uint8_t(unit));
        if (!single)
            out.push_back(std::uint8_t(unit >> 8));
    }
    return out;
}

bool startsWithCompressionMark(QStringView text) {
    return !text.isEmpty() && text.front().unicode() == 0xFEFF;
}

// ---------------------------------------------------------------------------
// Names.

void checkName(const QString& name, const QString& what) {
    if (name.isEmpty())
        throw WriteError(QStringLiteral("A %1 name must not be empty.").arg(what));
    if (name.size() > kMaxNameLength)
        throw WriteError(QStringLiteral("The %1 name %2 is longer than %3 characters.")
                             .arg(what, quoted(name))
                             .arg(kMaxNameLength));
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0xFEFF)
            throw WriteError(
                QStringLiteral("The %1 name %2 contains a control character.").arg(what, quoted(name)));
    }
    if (name.front() == QLatin1Char(' '))
        throw WriteError(QStringLiteral("The %1 name %2 starts with a blank.").arg(what, quoted(name)));
}

// ---------------------------------------------------------------------------
// Table layout: where each column lives in a row.

struct ColumnLayout {
    QString name;
    ColumnType type = ColumnType::Text;
    FileType fileType = kTypeText;
    int size = 0;    // Text: characters
    int length = 0;  // bytes in the fixed area, or the declared length
    bool nullable = true;
    bool fixed = false;
    int fixedOffset = 0;  // offset in the fixed area
    int varIndex = 0;     // fixed: variable columns before it
    // A calculated column stores its result type's values, wrapped, as a
    // variable column; a memo result as a long value.
    bool calculated = false;
    ColumnType result = ColumnType::Text;
    QString expression;
    std::optional<std::uint8_t> recordedType;  // the ResultType property, if any
    bool longValue = false;                    // the field is a long-value header (memo, OLE)
};

struct TableLayout {
    QString name;
    bool system = false;
    std::vector<ColumnLayout> columns;
    int fixedSize = 0;
    int varCount = 0;
};

FileType fileTypeOf(ColumnType type) {
    switch (type) {
        case ColumnType::Text:
            return kTypeText;
        case ColumnType::Memo:
            return kTypeMemo;
        case ColumnType::Byte:
            return kTypeByte;
        case ColumnType::Integer:
            return kTypeInteger;
        case ColumnType::Long:
            return kTypeLong;
        case ColumnType::Single:
            return kTypeSingle;
        case ColumnType::Double:
            return kTypeDouble;
        case ColumnType::Currency:
            return kTypeMoney;
        case ColumnType::DateTime:
            return kTypeDateTime;
        case ColumnType::Boolean:
            return kTypeBoolean;
        case ColumnType::Guid:
            return kTypeGuid;
    }
    return kTypeText;
}

int fixedLength(FileType type) {
    switch (type) {
        case kTypeBoolean:
            return 0;  // kept in the null mask
        case kTypeByte:
            return 1;
        case kTypeInteger:
            return 2;
        case kTypeLong:
        case kTypeSingle:
            return 4;
        case kTypeMoney:
        case kTypeDouble:
        case kTypeDateTime:
            return 8;
        case kTypeGuid:
            return 16;
        default:
            return -1;  // variable length
    }
}

// Lays out columns given with their file types (the catalogue uses types that
// user tables cannot).
TableLayout layout(const QString& name, bool system, std::vector<ColumnLayout> columns) {
    TableLayout t;
    t.name = name;
    t.system = system;
    for (auto& c : columns) {
        const int fixedBytes = c.calculated ? -1 : fixedLength(c.fileType);
        c.longValue =
            c.calculated ? c.result == ColumnType::Memo : c.fileType == kTypeMemo || c.fileType == kTypeOle;
        c.fixed = fixedBytes >= 0;
        if (c.fixed) {
            c.fixedOffset = t.fixedSize;
            c.varIndex = t.varCount;
            c.length = c.fileType == kTypeBoolean ? 1 : fixedBytes;
            t.fixedSize += fixedBytes;
        } else {
            c.varIndex = t.varCount++;
            c.length = c.calculated                ? CalculatedDeclaredLength(c.result, c.size)
                       : c.fileType == kTypeText   ? 2 * c.size
                       : c.fileType == kTypeBinary ? 255
                                                   : 0;
        }
    }
    t.columns = std::move(columns);
    return t;
}

TableLayout userLayout(const Table& table) {
    checkName(table.name, QStringLiteral("table"));
    if (table.columns.empty())
        throw WriteError(QStringLiteral("Table %1 has no columns; Access tables have at least one.")
                             .arg(quoted(table.name)));
    if (table.columns.size() > std::size_t(kMaxColumns))
        throw WriteError(QStringLiteral("Table %1 has %2 columns; Access allows at most %3.")
                             .arg(quoted(table.name))
                             .arg(table.columns.size())
                             .arg(kMaxColumns));
    QSet<QString> seen;
    std::vector<ColumnLayout> columns;
    for (const Column& column : table.columns) {
        try {
            checkName(column.name, QStringLiteral("column"));
        } catch (const WriteError& e) {
            throw WriteError(QStringLiteral("Table %1: %2").arg(quoted(table.name), e.description()));
        }
        const QString key = column.name.toCaseFolded();
        if (seen.contains(key))
            throw WriteError(QStringLiteral("Table %1 has two columns named %2 (names ignore case).")
                                 .arg(quoted(table.name), quoted(column.name)));
        seen.insert(key);
        if (ValueType(column) == ColumnType::Text && (column.size < 1 || column.size > kMaxTextSize))
            throw WriteError(QStringLiteral("Table %1, column %2: a Text size must be 1 to %3, not %4.")
                                 .arg(quoted(table.name), quoted(column.name))
                                 .arg(kMaxTextSize)
                                 .arg(column.size));
        ColumnLayout c;
        c.name = column.name;
        c.type = column.type;
        c.fileType = fileTypeOf(column.type);
        c.size = ValueType(column) == ColumnType::Text ? column.size : 0;
        c.nullable = column.nullable && (column.calculated || column.type != ColumnType::Boolean);
        if (column.calculated) {
            c.calculated = true;
            c.result = column.calculated->result;
            c.expression = column.calculated->expression;
            if (column.calculated->recorded)
                c.recordedType = std::uint8_t(column.calculated->recordedType.value_or(fileTypeOf(c.result)));
        }
        columns.push_back(c);
    }
    return layout(table.name, false, std::move(columns));
}

// The definition bytes from offset 8 of the first page on (the part that
// continues on further pages).
std::vector<std::uint8_t> tableDefinitionBody(const TableLayout& t, std::uint32_t rowCount,
                                              std::uint32_t usageMap, std::uint32_t freeMap) {
    std::vector<std::uint8_t> body(55, 0);
    std::uint8_t* p = body.data() - kTableDefHeaderSize;  // so that offsets read as in the page
    put32(p + 0x0C, kTableDefMagic);
    put32(p + 0x10, rowCount);
    p[0x18] = 0x01;  // lets Access hand out autonumbers
    p[0x28] = t.system ? kSystemTable : kUserTable;
    const auto columnCount = std::uint16_t(t.columns.size());
    put16(p + 0x29, columnCount);
    put16(p + 0x2B, std::uint16_t(t.varCount));
    put16(p + 0x2D, columnCount);
    put32(p + 0x37, usageMap);
    put32(p + 0x3B, freeMap);

    for (std::size_t i = 0; i < t.columns.size(); ++i) {
        const ColumnLayout& c = t.columns[i];
        std::uint8_t e[kColumnEntrySize] = {};
        e[0] = c.fileType;
        put32(e + 1, kTableDefMagic);
        put16(e + 5, std::uint16_t(i));
        put16(e + 7, std::uint16_t(c.varIndex));
        put16(e + 9, std::uint16_t(i + 1));
        put16(e + 11, kGeneralSortOrder);
        e[15] =
            std::uint8_t((c.fixed ? kColumnFixed : 0) | kColumnUpdatable | (t.system ? kColumnSystem : 0));
        e[16] = c.calculated                                           ? kColumnCalculated
                : (c.fileType == kTypeText || c.fileType == kTypeMemo) ? kColumnCompressedUnicode
                                                                       : 0;
        put16(e + 21, std::uint16_t(c.fixed ? c.fixedOffset : 0));
        put16(e + 23, std::uint16_t(c.length));
        body.insert(body.end(), e, e + kColumnEntrySize);
    }
    for (const ColumnLayout& c : t.columns) {
        const auto name = utf16Bytes(c.name);
        append16(body, std::uint16_t(name.size()));
        body.insert(body.end(), name.begin(), name.end());
    }
    append16(body, 0xFFFF);  // no per-column page maps follow
    put32(body.data(), std::uint32_t(kTableDefHeaderSize + body.size()));
    return body;
}

std::uint32_t tableDefinitionPages(const TableLayout& t) {
    const std::size_t size = tableDefinitionBody(t, 0, 0, 0).size();
    return std::uint32_t((size + kTableDefBytesPerPage - 1) / kTableDefBytesPerPage);
}

void writeTableDefinition(PageFile& file, std::uint32_t firstPage, const std::vector<std::uint8_t>& body) {
    const std::size_t pages = (body.size() + kTableDefBytesPerPage - 1) / kTableDefBytesPerPage;
    for (std::size_t i = 0; i < pages; ++i) {
        PageBuffer page{};
        const std::size_t from = i * kTableDefBytesPerPage;
        const std::size_t length = std::min<std::size_t>(kTableDefBytesPerPage, body.size() - from);
        page[0] = kPageTableDef;
        page[1] = 0x01;
        put16(&page[2], std::uint16_t(std::max<int>(0, kPageSize - kTableDefHeaderSize - int(length) - 8)));
        put32(&page[4], i + 1 < pages ? firstPage + std::uint32_t(i) + 1 : 0);
        std::memcpy(&page[kTableDefHeaderSize], body.data() + from, length);
        file.write(firstPage + std::uint32_t(i), page);
    }
}

// ---------------------------------------------------------------------------
// Cells to bytes.

const char* kindOf(const Cell& cell) {
    switch (cell.index()) {
        case 0:
            return "Null";
        case 1:
            return "a Yes/No value";
        case 2:
            return "a whole number";
        case 3:
            return "a number";
        case 4:
            return "a Currency value";
        case 5:
            return "a Date/Time value";
        case 6:
            return "text";
        case 7:
            return "a Replication ID";
    }
    return "a value";
}

[[noreturn]] void wrongKind(const ColumnLayout& c, const Cell& cell) {
    throw CellProblem{
        QStringLiteral("a %1 column cannot take %2.").arg(typeName(c.type), QLatin1String(kindOf(cell)))};
}

std::int64_t wholeNumber(const ColumnLayout& c, const Cell& cell, std::int64_t low, std::int64_t high) {
    std::int64_t v = 0;
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        v = *i;
    } else if (const auto* d = std::get_if<double>(&cell)) {
        if (!std::isfinite(*d) || *d != std::trunc(*d) || *d < double(low) || *d > double(high))
            throw CellProblem{QStringLiteral("%1 is not a whole number from %2 to %3.")
                                  .arg(*d, 0, 'g', 17)
                                  .arg(low)
                                  .arg(high)};
        v = std::int64_t(*d);
    } else {
        wrongKind(c, cell);
    }
    if (v < low || v > high)
        throw CellProblem{QStringLiteral("%1 is outside the %2 range %3 to %4.")
                              .arg(v)
                              .arg(typeName(c.type))
                              .arg(low)
                              .arg(high)};
    return v;
}

double realNumber(const ColumnLayout& c, const Cell& cell) {
    if (const auto* d = std::get_if<double>(&cell))
        return *d;
    if (const auto* i = std::get_if<std::int64_t>(&cell))
        return double(*i);
    wrongKind(c, cell);
}

std::int64_t currencyValue(const ColumnLayout& c, const Cell& cell) {
    if (const auto* m = std::get_if<Currency>(&cell))
        return m->tenThousandths;
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        std::int64_t v = 0;
        if (__builtin_mul_overflow(*i, std::int64_t(10000), &v))
            throw CellProblem{QStringLiteral("%1 is outside the Currency range.").arg(*i)};
        return v;
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        const double scaled = std::round(*d * 10000.0);
        if (!std::isfinite(scaled) || scaled < -9.2233720368547758e18 || scaled >= 9.2233720368547758e18)
            throw CellProblem{QStringLiteral("%1 is outside the Currency range.").arg(*d, 0, 'g', 17)};
        return std::int64_t(scaled);
    }
    wrongKind(c, cell);
}

// One cell, checked and encoded; memo values are placed later.
struct EncodedCell {
    bool isNull = true;
    bool boolean = false;
    std::vector<std::uint8_t> bytes;  // fixed: the value; variable: the stored text
};

void encodeFixed(const ColumnLayout& c, const Cell& cell, std::uint8_t* out, EncodedCell& e) {
    switch (c.fileType) {
        case kTypeBoolean: {
            const auto* b = std::get_if<bool>(&cell);
            if (!b)
                wrongKind(c, cell);
            e.boolean = *b;
            return;
        }
        case kTypeByte:
            out[0] = std::uint8_t(wholeNumber(c, cell, 0, 255));
            return;
        case kTypeInteger:
            put16(out, std::uint16_t(wholeNumber(c, cell, -32768, 32767)));
            return;
        case kTypeLong:
            put32(out, std::uint32_t(wholeNumber(c, cell, INT32_MIN, INT32_MAX)));
            return;
        case kTypeSingle: {
            const double v = realNumber(c, cell);
            if (std::isfinite(v) && std::fabs(v) > double(std::numeric_limits<float>::max()))
                throw CellProblem{QStringLiteral("%1 is outside the Single range.").arg(v, 0, 'g', 17)};
            putFloat(out, float(v));
            return;
        }
        case kTypeDouble:
            putDouble(out, realNumber(c, cell));
            return;
        case kTypeMoney:
            put64(out, std::uint64_t(currencyValue(c, cell)));
            return;
        case kTypeDateTime: {
            double days = 0;
            if (const auto* d = std::get_if<DateTime>(&cell))
                days = d->days;
            else if (const auto* r = std::get_if<double>(&cell))
                days = *r;
            else
                wrongKind(c, cell);
            if (!std::isfinite(days))
                throw CellProblem{QStringLiteral("a Date/Time value must be a finite number of days.")};
            putDouble(out, days);
            return;
        }
        case kTypeGuid: {
            const auto* g = std::get_if<Guid>(&cell);
            if (!g)
                wrongKind(c, cell);
            std::memcpy(out, g->bytes.data(), 16);
            return;
        }
        default:
            return;
    }
}

void encodeVariable(const ColumnLayout& c, const Cell& cell, EncodedCell& e) {
    const auto* text = std::get_if<QString>(&cell);
    if (!text)
        wrongKind(c, cell);
    if (c.fileType == kTypeText && text->size() > c.size)
        throw CellProblem{QStringLiteral("the text has %1 characters; the column holds at most %2.")
                              .arg(text->size())
                              .arg(c.size)};
    const bool compress = c.fileType == kTypeText || text->size() <= kMaxCompressedMemoChars;
    try {
        e.bytes = EncodeText(*text, compress);
    } catch (const WriteError& error) {
        throw CellProblem{error.description()};
    }
    if (c.fileType == kTypeMemo && e.bytes.size() > kMaxMemoBytes)
        throw CellProblem{QStringLiteral("the memo value takes %1 bytes; at most %2 can be written.")
                              .arg(e.bytes.size())
                              .arg(kMaxMemoBytes)};
}

// A calculated column's result, encoded by its result type and wrapped.
void encodeCalculated(const ColumnLayout& c, const Cell& cell, EncodedCell& e) {
    ColumnLayout value = c;
    value.type = c.result;
    value.fileType = fileTypeOf(c.result);
    std::vector<std::uint8_t> result;
    const int size = fixedLength(value.fileType);
    if (value.fileType == kTypeBoolean) {
        encodeFixed(value, cell, nullptr, e);
        result.push_back(e.boolean ? 0xFF : 0x00);
        e.boolean = false;
    } else if (size > 0) {
        result.resize(std::size_t(size));
        encodeFixed(value, cell, result.data(), e);
    } else {
        encodeVariable(value, cell, e);
        result = std::move(e.bytes);
    }
    e.bytes = WrapCalculatedResult(result);
}

// ---------------------------------------------------------------------------
// The catalogue (MSysObjects).

struct CatalogueEntry {
    std::int32_t id = 0;
    std::int32_t parentId = 0;
    QString name;
    std::int16_t type = 0;
    std::int32_t flags = 0;
    std::vector<std::uint8_t> properties;  // LvProp; empty for none
};

constexpr std::size_t kLvPropColumn = 14;

// The column properties of a table: only calculated columns have any here.
std::vector<std::uint8_t> tableProperties(const TableLayout& t) {
    std::vector<ColumnProperties> columns;
    for (const ColumnLayout& c : t.columns) {
        if (c.calculated)
            columns.push_back(CalculatedColumnProperties(c.name, c.recordedType, c.expression));
    }
    return columns.empty() ? std::vector<std::uint8_t>() : EncodeProperties(columns);
}

TableLayout catalogueLayout() {
    auto column = [](const char* name, FileType type, int size = 0) {
        ColumnLayout c;
        c.name = QString::fromLatin1(name);
        c.fileType = type;
        c.size = size;
        return c;
    };
    return layout(
        QStringLiteral("MSysObjects"), true,
        {column("Id", kTypeLong), column("ParentId", kTypeLong), column("Name", kTypeText, 255),
         column("Type", kTypeInteger), column("DateCreate", kTypeDateTime),
         column("DateUpdate", kTypeDateTime), column("Owner", kTypeBinary), column("Flags", kTypeLong),
         column("Database", kTypeMemo), column("Connect", kTypeMemo), column("ForeignName", kTypeText, 255),
         column("RmtInfoShort", kTypeBinary), column("RmtInfoLong", kTypeOle), column("Lv", kTypeOle),
         column("LvProp", kTypeOle), column("LvModule", kTypeOle), column("LvExtra", kTypeOle)});
}

}  // namespace

// ---------------------------------------------------------------------------

std::vector<std::uint8_t> EncodeText(QStringView text, bool allowCompression) {
    const bool marked = startsWithCompressionMark(text);
    if (allowCompression || marked) {
        auto compressed = compressedBytes(text);
        if (compressed && (marked || compressed->size() < std::size_t(text.size()) * 2))
            return std::move(*compressed);
        if (marked)
            throw WriteError(
                QStringLiteral("text that starts with U+FEFF and holds a character whose low byte is zero "
                               "cannot be stored."));
    }
    return utf16Bytes(text);
}

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

    // Shared by all tables: the open long-value page and the page holding page maps.
    RowPage lvalPage;
    RowPage mapPage;

    void writeHeader();
    void writeGlobalMap();
    std::uint32_t addMapRow(const std::vector<std::uint8_t>& rowBytes);
    std::uint32_t writeUsageMap(const PageSet& pages);
    std::uint32_t storeLongValue(const std::vector<std::uint8_t>& bytes, std::uint32_t& flags);
    void encodeRow(std::span<const Cell> cells, std::size_t columns);
    RowLocation placeRow(std::size_t columns, bool moved);
    void startPage(RowPage& page);
    void closeTable();
};

std::uint32_t Writer::Impl::addMapRow(const std::vector<std::uint8_t>& rowBytes) {
    static const std::uint8_t noOwner[4] = {};
    if (!mapPage.fits(rowBytes.size())) {
        if (mapPage.open())
            mapPage.flush(file);
        mapPage.reset(file.allocate(), noOwner);
    }
    const int index = mapPage.add(rowBytes.data(), rowBytes.size());
    return pageRow(mapPage.number(), index);
}

// Writes the map of the given pages (bitmap pages too, when needed) and
// returns the pointer to its row.
std::uint32_t Writer::Impl::writeUsageMap(const PageSet& pages) {
    std::vector<std::uint8_t> map(kMapRowSize, 0);
    if (pages.empty() || pages.last() - pages.first() < kInlineMapPages) {
        map[0] = 0x00;
        const std::uint32_t start = pages.empty() ? 0 : pages.first();
        put32(&map[1], start);
        if (!pages.empty()) {
            for (std::uint32_t p = start; p <= pages.last(); ++p) {
                if (pages.contains(p))
                    map[5 + (p - start) / 8] |= std::uint8_t(1u << ((p - start) % 8));
            }
        }
        return addMapRow(map);
    }
    map[0] = 0x01;
    const std::uint32_t firstIndex = pages.first() / kMapPagePages;
    const std::uint32_t lastIndex = pages.last() / kMapPagePages;
    for (std::uint32_t index = firstIndex; index <= lastIndex && index < std::uint32_t(kMapPagePointers);
         ++index) {
        PageBuffer bitmap{};
        bitmap[0] = kPageUsageMap;
        bitmap[1] = 0x01;
        bool any = false;
        const std::uint32_t base = index * kMapPagePages;
        const std::uint32_t from = std::max(base, pages.first());
        const std::uint32_t to = std::min(base + kMapPagePages - 1, pages.last());
        for (std::uint32_t p = from; p <= to; ++p) {
            if (pages.contains(p)) {
                bitmap[4 + (p - base) / 8] |= std::uint8_t(1u << ((p - base) % 8));
                any = true;
            }
        }
        if (!any)
            continue;
        const std::uint32_t bitmapPage = file.allocate();
        file.write(bitmapPage, bitmap);
        put32(&map[1 + 4 * index], bitmapPage);
    }
    return addMapRow(map);
}

std::uint32_t Writer::Impl::storeLongValue(const std::vector<std::uint8_t>& bytes, std::uint32_t& flags) {
    static const std::uint8_t lval[4] = {'L', 'V', 'A', 'L'};
    if (bytes.size() <= std::size_t(kMaxRowBytes)) {
        flags = kMemoSinglePage;
        if (!lvalPage.fits(bytes.size())) {
            if (lvalPage.open())
                lvalPage.flush(file);
            lvalPage.reset(file.allocate(), lval);
        }
        const int index = lvalPage.add(bytes.data(), bytes.size());
        return pageRow(lvalPage.number(), index);
    }
    // A chain of rows, each alone on its page and led by the next row's pointer.
    flags = 0;
    const auto chunks = std::uint32_t((bytes.size() + kLvalChunk - 1) / kLvalChunk);
    const std::uint32_t first = file.allocate(chunks);
    std::vector<std::uint8_t> chunk;
    for (std::uint32_t i = 0; i < chunks; ++i) {
        const std::size_t from = std::size_t(i) * kLvalChunk;
        const std::size_t length = std::min(kLvalChunk, bytes.size() - from);
        chunk.assign(4, 0);
        if (i + 1 < chunks)
            put32(chunk.data(), pageRow(first + i + 1, 0));
        chunk.insert(chunk.end(), bytes.begin() + std::ptrdiff_t(from),
                     bytes.begin() + std::ptrdiff_t(from + length));
        RowPage page;
        page.reset(first + i, lval);
        page.add(chunk.data(), chunk.size());
        page.flush(file);
    }
    return pageRow(first, 0);
}

// Checks and encodes the cells of the first `columns` columns into `encoded`;
// throws WriteError naming the column.
void Writer::Impl::encodeRow(std::span<const Cell> cells, std::size_t columns) {
    const std::size_t n = columns;
    encoded.resize(n);
    std::vector<std::uint8_t>& fixedArea = row;  // reused below; assembled in placeRow
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
    const std::size_t n = columns;
    const std::size_t maskSize = (n + 7) / 8;

    // Size first, so that a row too large is refused before anything is written.
    // A short row holds the fixed and variable columns among its first n: as
    // the table's layout keeps columns in order, its fixed area is the start
    // of the table's.
    std::size_t varBytes = 0;
    int fixedSize = 0;
    int varCount = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const ColumnLayout& c = table.columns[i];
        if (c.fixed) {
            fixedSize += fixedLength(c.fileType);
            continue;
        }
        ++varCount;
        if (encoded[i].isNull)
            continue;
        if (c.longValue)
            varBytes +=
                kMemoFieldSize + (encoded[i].bytes.size() <= kMaxInlineMemo ? encoded[i].bytes.size() : 0);
        else
            varBytes += encoded[i].bytes.size();
    }
    // Readers look for the variable columns' offsets when the table has any,
    // so a short row keeps them even when it holds none of those columns.
    const std::size_t trailer = table.varCount > 0 ? 2 + 2 * std::size_t(varCount) + 2 : 0;
    const std::size_t size = 2 + std::size_t(fixedSize) + varBytes + trailer + maskSize;
    if (size > std::size_t(kMaxRowBytes))
        throw WriteError(QStringLiteral("Table %1, row %2: the row takes %3 bytes; a row can take at most %4 "
                                        "(memo values longer than %5 bytes not counted).")
                             .arg(quoted(table.name))
                             .arg(rowCount + 1)
                             .arg(size)
                             .arg(kMaxRowBytes)
                             .arg(kMaxInlineMemo));

    std::vector<std::uint8_t>& out = rowBytes;
    out.clear();
    append16(out, std::uint16_t(n));
    out.insert(out.end(), row.begin(), row.begin() + fixedSize);  // the fixed area
    offsets.clear();
    for (std::size_t i = 0; i < n; ++i) {
        const ColumnLayout& c = table.columns[i];
        if (c.fixed)
            continue;
        offsets.push_back(std::uint16_t(out.size()));
        const EncodedCell& e = encoded[i];
        if (e.isNull)
            continue;
        if (!c.longValue) {
            out.insert(out.end(), e.bytes.begin(), e.bytes.end());
            continue;
        }
        std::uint8_t field[kMemoFieldSize] = {};
        const auto length = std::uint32_t(e.bytes.size());
        if (e.bytes.size() <= kMaxInlineMemo) {
            put32(field, length | kMemoInline);
            out.insert(out.end(), field, field + kMemoFieldSize);
            out.insert(out.end(), e.bytes.begin(), e.bytes.end());
        } else {
            std::uint32_t flags = 0;
            const std::uint32_t pointer = storeLongValue(e.bytes, flags);
            put32(field, length | flags);
            put32(field + 4, pointer);
            out.insert(out.end(), field, field + kMemoFieldSize);
        }
    }
    if (table.varCount > 0) {
        append16(out, std::uint16_t(out.size()));  // end of the variable data
        for (auto it = offsets.rbegin(); it != offsets.rend(); ++it)
            append16(out, *it);
        append16(out, std::uint16_t(varCount));
    }
    std::size_t maskStart = out.size();
    out.resize(out.size() + maskSize, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const ColumnLayout& c = table.columns[i];
        const bool set =
            c.fileType == kTypeBoolean && !c.calculated ? encoded[i].boolean : !encoded[i].isNull;
        if (set)
            out[maskStart + i / 8] |= std::uint8_t(1u << (i % 8));
    }

    if (!moved) {
        if (!dataPage.fits(out.size()))
            startPage(dataPage);
        const int slot = dataPage.add(out.data(), out.size());
        ++rowCount;
        return {dataPage.number(), slot};
    }
    // The home slot keeps the row's bytes with the pointer over their start,
    // as Access leaves the old bytes behind.
    homeBytes.assign(out.begin(), out.end());
    if (homeBytes.size() < kRowPointerSize)
        homeBytes.resize(kRowPointerSize, 0);
    if (!dataPage.fits(homeBytes.size()))
        startPage(dataPage);
    if (!movedPage.fits(out.size()) || movedPage.number() < dataPage.number())
        startPage(movedPage);
    const int slot = movedPage.add(out.data(), out.size(), kRowMovedHere);
    put32(homeBytes.data(), pageRow(movedPage.number(), slot));
    dataPage.add(homeBytes.data(), homeBytes.size(), kRowMovedAway);
    ++rowCount;
    return {movedPage.number(), slot};
}

void Writer::Impl::closeTable() {
    if (dataPage.open())
        dataPage.flush(file);
    if (movedPage.open())
        movedPage.flush(file);
    const std::uint32_t usage = writeUsageMap(dataPages);
    const std::uint32_t freeSpace = writeUsageMap(PageSet{});
    writeTableDefinition(file, tableDefPage, tableDefinitionBody(table, rowCount, usage, freeSpace));
    tableOpen = false;
}

// Page 0: the version, the code page, the sort order, the creation date and
// the password, with its region from 0x18 obscured as Access does it.
void Writer::Impl::writeHeader() {
    PageBuffer page{};
    static const char signature[] = "Standard Jet DB";
    page[1] = 0x01;
    std::memcpy(&page[4], signature, sizeof signature);
    page[0x14] = 0x01;  // Jet 4
    // Values found in this region of every Jet 4 file Access writes.
    static const std::uint8_t fixedRegion[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00,
                                               0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
                                               0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
    std::memcpy(&page[0x18], fixedRegion, sizeof fixedRegion);
    put16(&page[0x3C], 1252);  // code page
    put32(&page[0x3E], 0);     // database key: pages are not encoded
    put32(&page[0x6E], kGeneralSortOrder);
    putDouble(&page[0x72], options.created.days);
    put32(&page[0x98], 0x0654);
    std::memcpy(&page[0x9C], "4.0", 4);

    QByteArray bytes(reinterpret_cast<const char*>(page.data()), kPageSize);
    jet::Rc4Apply(kHeaderKey, std::span(reinterpret_cast<std::uint8_t*>(bytes.data()) + kHeaderObscuredOffset,
                                        std::size_t(kHeaderObscuredLength)));
    // Access masks even an empty password, so it is always written.
    jet::WritePassword(bytes, options.password);
    std::memcpy(page.data(), bytes.constData(), kPageSize);
    file.write(0, page);
}

// Page 1: the database's map of free pages (those past the end of the file).
void Writer::Impl::writeGlobalMap() {
    RowPage page;
    const std::uint8_t self[4] = {0x01, 0x00, 0x00, 0x00};
    page.reset(1, self);
    std::vector<std::uint8_t> freePages(kMapRowSize, 0);
    const std::uint32_t used = file.count();
    for (std::uint32_t p = used; p < kInlineMapPages; ++p)
        freePages[5 + p / 8] |= std::uint8_t(1u << (p % 8));
    page.add(freePages.data(), freePages.size());
    const std::vector<std::uint8_t> empty(kMapRowSize, 0);
    page.add(empty.data(), empty.size());
    page.flush(file);
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
    d->table = std::move(t);
    d->tableDefPage = d->file.allocate(tableDefinitionPages(d->table));
    put32(d->owner, d->tableDefPage);
    d->rowCount = 0;
    d->dataPages = PageSet{};
    d->tableOpen = true;
    d->tables.push_back({std::int32_t(d->tableDefPage), kTablesContainer, d->table.name, kCatalogueTable, 0,
                         tableProperties(d->table)});
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
    d->table = catalogueLayout();
    d->tableDefPage = kCataloguePage;
    put32(d->owner, kCataloguePage);
    d->rowCount = 0;
    d->dataPages = PageSet{};
    d->tableOpen = true;

    std::vector<CatalogueEntry> entries = {
        {kTablesContainer,
         kCatalogueRoot,
         QStringLiteral("Tables"),
         kCatalogueContainer,
         kSystemObjectFlag,
         {}},
        {kDatabasesContainer,
         kCatalogueRoot,
         QStringLiteral("Databases"),
         kCatalogueContainer,
         kSystemObjectFlag,
         {}},
        {kRelationshipsContainer,
         kCatalogueRoot,
         QStringLiteral("Relationships"),
         kCatalogueContainer,
         kSystemObjectFlag,
         {}},
        {std::int32_t(kCataloguePage),
         kTablesContainer,
         QStringLiteral("MSysObjects"),
         kCatalogueTable,
         kSystemObjectFlag,
         {}},
    };
    const DateTime created = d->options.created;
    auto addEntry = [&](const CatalogueEntry& entry) {
        const std::array<Cell, 17> cells = {std::int64_t(entry.id),
                                            std::int64_t(entry.parentId),
                                            entry.name,
                                            std::int64_t(entry.type),
                                            created,
                                            created,
                                            std::monostate{},
                                            std::int64_t(entry.flags)};
        d->encodeRow(cells, cells.size());
        if (!entry.properties.empty())
            d->encoded[kLvPropColumn] = {false, false, entry.properties};
        d->placeRow(cells.size(), false);
    };
    for (const auto& entry : entries)
        addEntry(entry);
    for (const auto& entry : d->tables)
        addEntry(entry);
    d->closeTable();

    if (d->lvalPage.open())
        d->lvalPage.flush(d->file);
    if (d->mapPage.open())
        d->mapPage.flush(d->file);
    d->writeGlobalMap();
    d->writeHeader();
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
