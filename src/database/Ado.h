#pragma once

// The connection and record-set objects the program reads Access databases
// through, over libmdb. They offer the operations of the classic data-access
// objects that the wizard's procedures use, with the same argument values.

#include "DatabaseMessages.h"
#include "Value.h"
#include "shell/Failure.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace qm {

// Argument values, named as the data-access library names them.
inline constexpr int adModeRead = 1;
inline constexpr int adModeReadWrite = 3;
inline constexpr int adUseClient = 3;
inline constexpr int adSchemaTables = 20;
inline constexpr int adOpenDynamic = 2;
inline constexpr int adOpenStatic = 3;
inline constexpr int adLockOptimistic = 3;

struct ConnectionState;  // shared by a connection and the record sets opened on it
class DatabaseSession;

// Rows of an open record set, for the preview grid: random access by row
// number, fetched on demand, so showing a table costs no memory in proportion
// to its size.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual long long rowCount() const = 0;
    // Values of rows [first, first + count) in order; fewer at the end of the table.
    virtual std::vector<std::vector<Value>> rows(long long first, int count) = 0;
};

// How often an encrypted database file was read and decrypted in this
// process. A session keeps the image of the one opened last (DatabaseSession.h),
// so one pass through the wizard decrypts a file once.
std::uint64_t DatabaseDecryptions();

// A connection to one database file. The file is only ever read, whatever
// Mode says. A connection and the record sets opened on it are meant for one
// thread at a time; separate connections are independent.
class Connection {
  public:
    Connection();  // a new, closed connection
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void setMode(int mode);
    int mode() const;
    // Opens the database the connection string names, sharing what session
    // kept of an earlier open (DatabaseSession.h). Throws DatabaseError.
    void Open(const QString& connectionString, DatabaseSession* session = nullptr);
    void setCursorLocation(int location);
    int cursorLocation() const;
    bool isOpen() const;
    void Close();

    // adSchemaTables: one row per catalogue object with "TABLE_NAME" and "TABLE_TYPE".
    std::unique_ptr<class Recordset> OpenSchema(int schema);

    std::shared_ptr<ConnectionState> state() const { return state_; }

  private:
    std::shared_ptr<ConnectionState> state_;
    int mode_ = 0;
    int cursorLocation_ = 2;
};

class Recordset {
  public:
    Recordset();  // a new, closed record set
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Accepts exactly the two query shapes the program sends:
    //   SELECT * FROM [Table];          SELECT `a`, `b` FROM `Table`
    // Anything else, an unknown table or an unknown field fails with DatabaseError.
    // Opens on the first row. The record set keeps the connection alive.
    void Open(const QString& source, Connection& activeConnection, int cursorType, int lockType);
    // Before Open: values as the table stores them (a lookup's key, a
    // hyperlink's stored form, rich text's markup) instead of what Access
    // shows in the table's datasheet, which is the default.
    void ShowStoredValues(bool stored);
    bool isOpen() const;
    bool isEOF() const;
    void MoveNext();
    void Close();

    int fieldCount() const;
    QString fieldName(int position) const;
    Value value(int position) const;
    Value value(const QString& fieldName) const;
    // Appends the text form of the value at the position, with Null as "" (the
    // fast path of the export loop).
    void appendText(int position, std::string& out) const;
    // The same with the marks of what a document shows beyond the text
    // (shell/TextMarks.h): a hyperlink's link, rich text's bold, italic and
    // underline.
    void appendMarkedText(int position, std::string& out) const;
    long long RecordCount() const;
    // Values read so far that could not be decoded (a damaged value, a
    // calculated column of unknown result type, unreadable hidden tables)
    // and were given as placeholders such as "[Calculated value]".
    long long Placeholders() const;

    // The rows for a data-bound grid. Independent of this object's cursor.
    std::shared_ptr<RowSource> DataSource();

    // Internal: lets the connection hand a prepared schema record set over.
    struct Impl;
    explicit Recordset(std::unique_ptr<Impl> impl);

  private:
    std::unique_ptr<Impl> impl_;
    bool storedValues_ = false;
};

}  // namespace qm
