#pragma once

// Writes Access databases in the Jet 4 (.mdb) format from a schema and rows
// given in code: the test files and the sample database of the project.
//
// Tables are written one after the other and their rows are streamed to the
// device page by page, so memory stays the same whatever the row count. The
// catalogue (MSysObjects) and the header page are written by finish().
//
//     jetwriter::Writer writer(file, options);
//     writer.beginTable(table);
//     writer.addRow(cells);          // as often as needed
//     writer.endTable();
//     writer.finish();
//
// What is written: user tables with the column types of the Column type below,
// Nulls, long text (memo) values on long-value pages, a database password in
// the header, calculated columns with the column properties that describe
// them. No indexes, no relationships, no other properties. On request, rows in
// the two layouts that edits in Access leave behind (see RowLayout).

#include "shell/Failure.h"

#include <QIODevice>
#include <QString>
#include <QStringView>
#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace qm::jetwriter {

// Access's names for the column types ("Text", "Memo", "Number (Byte)", ...).
enum class ColumnType { Text, Memo, Byte, Integer, Long, Single, Double, Currency, DateTime, Boolean, Guid };

// What makes a column calculated (Access 2010 and later): each row stores
// the result Access worked out for it, wrapped, and the column's properties
// record the result type and the expression. The column entry keeps a type
// code of its own (Column::type), which need not be the result's: Access
// leaves it so when an expression's result type changes.
struct Calculation {
    ColumnType result = ColumnType::Double;
    QString expression;
    // The ResultType property: the result's own type code unless another is
    // given (a type nobody knows, say), none at all when recorded is false;
    // the values stay the result type's.
    bool recorded = true;
    std::optional<int> recordedType = std::nullopt;
};

// A lookup as the Lookup Wizard leaves one (a combo box): the column stores
// a key and shows a column of its row source. Written as the column's
// properties; the values stay the stored keys.
struct Lookup {
    QString rowSourceType = QStringLiteral("Table/Query");  // or "Value List"
    QString rowSource;
    int boundColumn = 1;
    int columnCount = 1;
    QString columnWidths;  // as Access writes it ("0;1440"); empty: none written
};

struct Column {
    QString name;
    ColumnType type = ColumnType::Text;
    // Text (or a calculated Text result): the most characters a value may
    // hold, 1 to 255. Ignored otherwise.
    int size = 255;
    // Whether the column accepts Null. Yes/No columns never do, as in Access;
    // calculated columns always may (an expression can give Null).
    bool nullable = true;
    std::optional<Calculation> calculated = std::nullopt;
    std::optional<Lookup> lookup = std::nullopt;
    // A memo of hyperlinks (the column entry's hyperlink flag), or of rich
    // text (TextFormat 1). The values are stored as given.
    bool hyperlink = false;
    bool richText = false;
};

// The type of the column's values: a calculated column's result type, the
// column's type otherwise. An empty text is stored as an empty result, which
// readers give as Null.
inline ColumnType ValueType(const Column& column) {
    return column.calculated ? column.calculated->result : column.type;
}

struct Table {
    QString name;
    std::vector<Column> columns;
};

// A Currency value as Access keeps it: a count of ten-thousandths.
struct Currency {
    std::int64_t tenThousandths = 0;
    friend bool operator==(const Currency&, const Currency&) = default;
};

// A Date/Time value as Access keeps it: days since 1899-12-30; the fraction is
// the time of day, also for days before 1899-12-30 (-1.25 is 1899-12-29 06:00).
struct DateTime {
    double days = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// A Replication ID: the 16 bytes in stored order (the first three groups of
// its text form little-endian, as in Windows GUIDs).
struct Guid {
    std::array<std::uint8_t, 16> bytes{};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// One value of a row. std::monostate is Null. Integers suit Byte, Integer,
// Long (range-checked) and, as whole units, Currency; doubles suit Single,
// Double, Currency and Date/Time (as raw days).
using Cell = std::variant<std::monostate, bool, std::int64_t, double, Currency, DateTime, QString, Guid>;

// A schema or value the format cannot hold, or a device that fails. The
// description names the table, column and row (counted from 1) concerned.
class WriteError : public Failure {
  public:
    using Failure::Failure;
};

struct Options {
    // The database password; "" for none. Jet 4 keeps at most 20 characters.
    QString password;
    // Creation date kept in the header. Fixed by default so that the same
    // input always gives the same bytes.
    DateTime created{45292.0};  // 2024-01-01 00:00
};

// Limits of the format that callers may want to check against.
inline constexpr int kPageSize = 4096;
inline constexpr int kMaxNameLength = 64;      // characters of a table or column name
inline constexpr int kMaxColumns = 255;        // columns of one table
inline constexpr int kMaxTextSize = 255;       // characters of a Text column
inline constexpr int kMaxRowBytes = 4080;      // one row on one data page
inline constexpr int kMaxPasswordLength = 20;  // characters of a Jet 4 password

// How one row is stored. The default is a row as Access writes a new one.
struct RowLayout {
    // The columns the row holds, counted from the first: fewer than the table
    // has gives a row written before the other columns were added to the
    // table, which readers give as Null (Yes/No columns as No). The cells of
    // the columns left out are neither stored nor checked. 0 means all.
    int columns = 0;
    // The row's data lies on a later data page of the table and its home slot
    // holds a pointer to it, as Access leaves a row that no longer fitted its
    // page after an edit. Readers give it at its home place.
    bool moved = false;
};

// Where a row's data was stored: the data page and the row's slot on it (the
// slot a moved row's pointer names, not its home slot).
struct RowLocation {
    std::uint32_t page = 0;
    int slot = 0;
    friend auto operator<=>(const RowLocation&, const RowLocation&) = default;
};

class Writer {
  public:
    // The device must be open for writing, seekable and empty; it stays owned
    // by the caller. Throws WriteError for a bad password.
    explicit Writer(QIODevice& device, Options options = {});
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Starts a table. Throws WriteError for a bad or duplicate name, no or too
    // many columns, a bad column definition, or a table already open.
    void beginTable(const Table& table);
    // Appends one row to the open table: one cell per column in schema order.
    // Throws WriteError naming the table, column and row for a value the
    // column cannot hold or a layout the table cannot have (a short row of
    // no column or of more columns than the table has); the row is then not
    // written and the table stays open.
    RowLocation addRow(std::span<const Cell> cells, RowLayout layout = {});
    // Closes the open table: writes its definition and page maps.
    void endTable();
    // Writes the catalogue, the page map of the file and the header page.
    // Nothing may be added afterwards.
    void finish();

    bool isFinished() const;

    // Pages the file holds so far (its size divided by kPageSize after finish()).
    std::uint32_t pageCount() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Writes a whole database file: creates a temporary file beside path, lets
// fill add the tables, finishes the database and renames the temporary file to
// path (finishing the writer first unless fill did). On any failure (fill throwing included) path is left as
// it was and the exception propagates; device failures are raised as WriteError.
void WriteFile(const QString& path, const Options& options, const std::function<void(Writer&)>& fill);

// The bytes Jet 4 stores for a text value: UTF-16LE, or, when allowed and
// shorter, the compressed form that starts with FF FE. Throws WriteError when
// the text cannot be stored unambiguously (it starts with U+FEFF and also holds
// a character whose low byte is zero).
std::vector<std::uint8_t> EncodeText(QStringView text, bool allowCompression);

}  // namespace qm::jetwriter
