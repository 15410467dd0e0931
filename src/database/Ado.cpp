#include "database/Ado.h"

#include "database/ConnectionString.h"
#include "database/DatabaseMessages.h"
#include "database/MdbSupport.h"
#include "database/QueryText.h"
#include "database/RowSources.h"
#include "database/TableReader.h"

namespace qm {

std::uint64_t DatabaseDecryptions() {
    return DatabaseFilesDecrypted();
}

// What a record set reads from: a table cursor or rows in memory.
struct Recordset::Impl {
    virtual ~Impl() = default;
    virtual bool isEOF() const = 0;
    virtual void moveNext() = 0;
    virtual int fieldCount() const = 0;
    virtual QString fieldName(int position) const = 0;
    virtual Value value(int position) = 0;
    virtual void appendText(int position, std::string& out, bool marked) = 0;
    virtual long long recordCount() = 0;
    virtual long long placeholders() const { return 0; }
    virtual std::shared_ptr<RowSource> dataSource() = 0;

    void checkPosition(int position) const {
        if (position < 0 || position >= fieldCount())
            throw DatabaseError(dbmessages::kItemNotFound);
    }
};

namespace {

class TableRecordset final : public Recordset::Impl {
  public:
    explicit TableRecordset(TableSelection selection)
        : selection_(std::move(selection)), cursor_(selection_.state, selection_.table) {
        eof_ = !cursor_.next();
    }

    bool isEOF() const override { return eof_; }
    void moveNext() override {
        if (eof_)
            throw DatabaseError(dbmessages::kNoCurrentRecord);
        eof_ = !cursor_.next();
    }
    int fieldCount() const override { return static_cast<int>(selection_.columns.size()); }
    QString fieldName(int position) const override {
        checkPosition(position);
        return cursor_.column(column(position)).name;
    }
    Value value(int position) override {
        checkPosition(position);
        if (eof_)
            throw DatabaseError(dbmessages::kNoCurrentRecord);
        return selection_.value(cursor_, column(position));
    }
    void appendText(int position, std::string& out, bool marked) override {
        checkPosition(position);
        if (eof_)
            throw DatabaseError(dbmessages::kNoCurrentRecord);
        const int c = column(position);
        if (const ShownColumn* shown = selection_.shown ? selection_.shown->of(c) : nullptr)
            shown->appendShown(cursor_, c, out, marked);
        else
            cursor_.appendText(c, out);
    }
    long long recordCount() override {
        if (!count_)
            count_ = CountRows(selection_.state, selection_.table);
        return *count_;
    }
    long long placeholders() const override { return cursor_.placeholders(); }
    std::shared_ptr<RowSource> dataSource() override { return std::make_shared<TableRowSource>(selection_); }

  private:
    int column(int position) const { return selection_.columns[static_cast<std::size_t>(position)]; }

    TableSelection selection_;
    TableCursor cursor_;
    bool eof_ = true;
    std::optional<long long> count_;
};

class MemoryRecordset final : public Recordset::Impl {
  public:
    MemoryRecordset(QStringList names, std::vector<std::vector<Value>> rows)
        : names_(std::move(names)), rows_(std::move(rows)) {}

    bool isEOF() const override { return current_ >= rows_.size(); }
    void moveNext() override {
        if (isEOF())
            throw DatabaseError(dbmessages::kNoCurrentRecord);
        ++current_;
    }
    int fieldCount() const override { return static_cast<int>(names_.size()); }
    QString fieldName(int position) const override {
        checkPosition(position);
        return names_.at(position);
    }
    Value value(int position) override {
        checkPosition(position);
        if (isEOF())
            throw DatabaseError(dbmessages::kNoCurrentRecord);
        return rows_[current_][static_cast<std::size_t>(position)];
    }
    void appendText(int position, std::string& out, bool) override { value(position).appendText(out); }
    long long recordCount() override { return static_cast<long long>(rows_.size()); }
    std::shared_ptr<RowSource> dataSource() override {
        return std::make_shared<MemoryRowSource>(names_, rows_);
    }

  private:
    QStringList names_;
    std::vector<std::vector<Value>> rows_;
    std::size_t current_ = 0;
};

// The tables schema: one row per table, system table, link or view, in the
// catalogue's order, with the columns of the OLE DB TABLES rowset.
std::unique_ptr<Recordset::Impl> tablesSchema(const ConnectionState& state) {
    const QStringList names{
        QStringLiteral("TABLE_CATALOG"), QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME"),
        QStringLiteral("TABLE_TYPE"),    QStringLiteral("TABLE_GUID"),   QStringLiteral("DESCRIPTION"),
        QStringLiteral("TABLE_PROPID"),  QStringLiteral("DATE_CREATED"), QStringLiteral("DATE_MODIFIED")};
    std::vector<std::vector<Value>> rows;
    for (const CatalogObject& object : state.catalog) {
        const QString type = object.tableType();
        if (type.isEmpty())
            continue;
        auto date = [](bool known, double value) {
            return known ? Value::real(Value::Type::DateTime, value) : Value::null();
        };
        rows.push_back({Value::null(), Value::null(), Value::fromQString(object.name),
                        Value::fromQString(type), Value::null(), Value::null(), Value::null(),
                        date(object.createdKnown, object.created),
                        date(object.updatedKnown, object.updated)});
    }
    return std::make_unique<MemoryRecordset>(names, std::move(rows));
}

}  // namespace

// ---- Connection -------------------------------------------------------------

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::setMode(int mode) {
    if (isOpen())
        throw DatabaseError(dbmessages::kObjectOpen);
    mode_ = mode;
}

int Connection::mode() const {
    return mode_;
}

void Connection::Open(const QString& connectionString, DatabaseSession* session) {
    if (isOpen())
        throw DatabaseError(dbmessages::kObjectOpen);
    const ConnectionProperties properties = ParseConnectionString(connectionString);
    // The mode is remembered for callers, but the file is only ever read.
    state_ =
        OpenDatabase(OpenRequest{properties.dataSource, properties.password, properties.isAce()}, session);
}

void Connection::setCursorLocation(int location) {
    cursorLocation_ = location;
}

int Connection::cursorLocation() const {
    return cursorLocation_;
}

bool Connection::isOpen() const {
    return state_ != nullptr;
}

void Connection::Close() {
    if (!isOpen())
        throw DatabaseError(dbmessages::kObjectClosed);
    // Record sets still open keep their own share of the database.
    state_.reset();
}

std::unique_ptr<Recordset> Connection::OpenSchema(int schema) {
    if (!isOpen())
        throw DatabaseError(dbmessages::kObjectClosed);
    if (schema != adSchemaTables)
        throw DatabaseError(dbmessages::kSchemaNotSupported);
    return std::make_unique<Recordset>(tablesSchema(*state_));
}

// ---- Recordset --------------------------------------------------------------

Recordset::Recordset() = default;
Recordset::Recordset(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Recordset::~Recordset() = default;

void Recordset::Open(const QString& source, Connection& activeConnection, int cursorType, int lockType) {
    (void)cursorType;  // every cursor here can count its rows and read them in order
    (void)lockType;    // nothing is ever written
    if (impl_)
        throw DatabaseError(dbmessages::kObjectOpen);
    const std::shared_ptr<ConnectionState> state = activeConnection.state();
    if (!state)
        throw DatabaseError(dbmessages::kNoConnection);

    const SelectQuery query = ParseSelectQuery(source);
    const CatalogObject* object = state->findObject(query.table);
    if (!object)
        throw DatabaseError(dbmessages::unknownTable(query.table));
    if (object->type == 5)
        throw DatabaseError(dbmessages::notATable(object->name));
    if (object->type != 1)
        throw DatabaseError(dbmessages::linkedTable(object->name));

    TableSelection selection{state, *object, {}, nullptr};
    {
        // The column list comes from the table definition.
        TableCursor definition(state, *object);
        if (query.allFields) {
            for (int i = 0; i < definition.columnCount(); ++i)
                selection.columns.push_back(i);
        } else {
            for (const QString& field : query.fields) {
                const int column = definition.findColumn(field);
                if (column < 0)
                    throw DatabaseError(dbmessages::unknownField(field, object->name));
                selection.columns.push_back(column);
            }
        }
        if (!storedValues_)
            selection.shown = ReadShownColumns(state, *object, definition, selection.columns);
    }
    impl_ = std::make_unique<TableRecordset>(std::move(selection));
}

bool Recordset::isOpen() const {
    return impl_ != nullptr;
}

void Recordset::ShowStoredValues(bool stored) {
    storedValues_ = stored;
}

namespace {
template <class Pointer>
auto& openImpl(const Pointer& impl) {
    if (!impl)
        throw DatabaseError(dbmessages::kObjectClosed);
    return *impl;
}
}  // namespace

bool Recordset::isEOF() const {
    return openImpl(impl_).isEOF();
}

void Recordset::MoveNext() {
    openImpl(impl_).moveNext();
}

void Recordset::Close() {
    if (!impl_)
        throw DatabaseError(dbmessages::kObjectClosed);
    impl_.reset();
}

int Recordset::fieldCount() const {
    return openImpl(impl_).fieldCount();
}

QString Recordset::fieldName(int position) const {
    return openImpl(impl_).fieldName(position);
}

Value Recordset::value(int position) const {
    return openImpl(impl_).value(position);
}

Value Recordset::value(const QString& fieldName) const {
    Impl& impl = openImpl(impl_);
    for (int i = 0; i < impl.fieldCount(); ++i) {
        if (impl.fieldName(i).compare(fieldName, Qt::CaseInsensitive) == 0)
            return impl.value(i);
    }
    throw DatabaseError(dbmessages::kItemNotFound);
}

void Recordset::appendText(int position, std::string& out) const {
    openImpl(impl_).appendText(position, out, false);
}

void Recordset::appendMarkedText(int position, std::string& out) const {
    openImpl(impl_).appendText(position, out, true);
}

long long Recordset::RecordCount() const {
    return openImpl(impl_).recordCount();
}

long long Recordset::Placeholders() const {
    return openImpl(impl_).placeholders();
}

std::shared_ptr<RowSource> Recordset::DataSource() {
    return openImpl(impl_).dataSource();
}

}  // namespace qm
