#include "database/ShownValues.h"

#include "database/ColumnProperties.h"
#include "database/DatabaseMessages.h"
#include "database/MdbSupport.h"
#include "database/SelectStatements.h"
#include "database/TableReader.h"
#include "database/TextDecoding.h"
#include "shell/TextMarks.h"

#include <QRegularExpression>
#include <algorithm>
#include <functional>
#include <unordered_map>

namespace qm {

// ---- Hyperlinks -----------------------------------------------------------------

HyperlinkParts SplitHyperlink(std::string_view stored) {
    const std::size_t first = stored.find('#');
    if (first == std::string_view::npos)
        return {std::string(stored), std::string()};
    const std::string_view display = stored.substr(0, first);
    std::string_view rest = stored.substr(first + 1);
    const std::size_t second = rest.find('#');
    const std::string_view address = rest.substr(0, second);
    std::string_view sub;
    if (second != std::string_view::npos) {
        rest = rest.substr(second + 1);
        sub = rest.substr(0, rest.find('#'));
    }
    HyperlinkParts parts;
    parts.target = std::string(address);
    if (!sub.empty()) {
        parts.target += '#';
        parts.target += sub;
    }
    if (!display.empty()) {
        parts.shown = std::string(display);
    } else {
        // Access shows an e-mail address without its scheme.
        constexpr std::string_view kMailto = "mailto:";
        std::string_view shown = address.empty() ? sub : address;
        if (shown.size() >= kMailto.size() &&
            QString::fromUtf8(shown.data(), qsizetype(kMailto.size()))
                    .compare(QLatin1String("mailto:"), Qt::CaseInsensitive) == 0)
            shown.remove_prefix(kMailto.size());
        parts.shown = std::string(shown);
    }
    return parts;
}

// ---- Rich text --------------------------------------------------------------------

namespace {

// The character an entity names; nothing for an entity nobody knows.
std::optional<QString> entity(QStringView name) {
    static const std::pair<const char*, char16_t> named[] = {
        {"amp", u'&'}, {"lt", u'<'}, {"gt", u'>'}, {"quot", u'"'}, {"apos", u'\''}, {"nbsp", u'\u00A0'}};
    for (const auto& [text, c] : named) {
        if (name == QLatin1StringView(text))
            return QString(QChar(c));
    }
    if (name.startsWith(QLatin1Char('#'))) {
        bool ok = false;
        const bool hex = name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
        const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
            const char32_t c = code;
            return QString::fromUcs4(&c, 1);
        }
    }
    return std::nullopt;
}

}  // namespace

namespace {

// While rich text is taken apart, a change of emphasis is held in the text as
// one of the noncharacters U+FDD0 to U+FDD7 (U+FDD0 plus the bits), which
// Unicode keeps for a program's own use; they become marks at the end.
constexpr char16_t kEmphasisHeld = 0xFDD0;

bool isHeldEmphasis(QChar c) {
    return c.unicode() >= kEmphasisHeld && c.unicode() <= kEmphasisHeld + marks::kAllEmphasis;
}

// What a tag does to the emphasis: the bit it opens or closes, 0 for none.
unsigned emphasisOf(const QString& name) {
    if (name == QLatin1String("b") || name == QLatin1String("strong"))
        return marks::kBold;
    if (name == QLatin1String("i") || name == QLatin1String("em"))
        return marks::kItalic;
    if (name == QLatin1String("u"))
        return marks::kUnderline;
    return 0;
}

std::string withMarks(const QString& text) {
    std::string out;
    out.reserve(std::size_t(text.size()) + 8);
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isHeldEmphasis(text[i]))
            continue;
        out += QStringView(text).mid(from, i - from).toUtf8().toStdString();
        if (i < text.size())
            marks::AppendEmphasis(out, text[i].unicode() - kEmphasisHeld);
        from = i + 1;
    }
    return out;
}

}  // namespace

std::string RichTextAsText(std::string_view html, bool marked) {
    QString text = QString::fromUtf8(html.data(), qsizetype(html.size()));
    for (QChar& c : text) {
        if (isHeldEmphasis(c))
            c = QChar(QChar::ReplacementCharacter);  // not ours to keep
    }
    QStringList lines;
    QString line;
    bool blank = false;       // a run of white space waits to be written as one blank
    int open[3] = {0, 0, 0};  // how many b, i and u tags are open
    unsigned shown = 0;       // the emphasis the text so far ends with
    const auto emphasize = [&] {
        const unsigned bits = (open[0] > 0 ? marks::kBold : 0) | (open[1] > 0 ? marks::kItalic : 0) |
                              (open[2] > 0 ? marks::kUnderline : 0);
        if (marked && bits != shown)
            line += QChar(char16_t(kEmphasisHeld + bits));
        shown = marked ? bits : 0;
    };
    const auto endLine = [&](bool always) {
        if (always || !line.isEmpty())
            lines.append(line);
        line.clear();
        blank = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('<')) {
            const qsizetype close = text.indexOf(QLatin1Char('>'), i + 1);
            const QString tag = close < 0 ? QString() : text.mid(i + 1, close - i - 1).trimmed().toLower();
            static const QRegularExpression kTag(QStringLiteral("^/?[a-z][a-z0-9]*(\\s[^<]*)?/?$"));
            if (close >= 0 && kTag.match(tag).hasMatch()) {
                const QString name = tag.mid(tag.startsWith(QLatin1Char('/')) ? 1 : 0)
                                         .section(QLatin1Char(' '), 0, 0)
                                         .remove(QLatin1Char('/'));
                if (const unsigned bit = emphasisOf(name); bit != 0 && !tag.endsWith(QLatin1Char('/'))) {
                    int& count = open[bit == marks::kBold ? 0 : bit == marks::kItalic ? 1 : 2];
                    count = std::max(0, count + (tag.startsWith(QLatin1Char('/')) ? -1 : 1));
                } else if (name == QLatin1String("br"))
                    endLine(true);
                else if (name == QLatin1String("div") || name == QLatin1String("p") ||
                         name == QLatin1String("li"))
                    endLine(false);
                i = close;
                continue;
            }
        } else if (c == QLatin1Char('&')) {
            const qsizetype semicolon = text.indexOf(QLatin1Char(';'), i + 1);
            if (semicolon > i && semicolon - i <= 12) {
                if (const std::optional<QString> decoded =
                        entity(QStringView(text).mid(i + 1, semicolon - i - 1))) {
                    if (blank && !line.isEmpty())
                        line += QLatin1Char(' ');
                    blank = false;
                    emphasize();
                    line += *decoded;
                    i = semicolon;
                    continue;
                }
            }
        } else if (c.isSpace()) {
            blank = true;
            continue;
        }
        if (blank && !line.isEmpty())
            line += QLatin1Char(' ');
        blank = false;
        emphasize();
        line += c;
    }
    endLine(false);
    if (shown != 0) {
        if (lines.isEmpty())
            lines.append(QString());
        lines.last() += QChar(kEmphasisHeld);
    }
    const QString joined = lines.join(QStringLiteral("\r\n"));
    return marked ? withMarks(joined) : joined.toStdString();
}

// ---- Lookups ----------------------------------------------------------------------

namespace {

// Row sources refer to queries that refer to queries: a chain this long is a
// circle, or hostile.
constexpr int kMaxSourceDepth = 8;
// Display controls that show a lookup: list box and combo box.
constexpr std::int64_t kListBox = 110;
constexpr std::int64_t kComboBox = 111;

// The text a key is matched by: text ignoring case, as Access compares it;
// numbers and the rest by their text form. Nothing for Null.
std::optional<std::string> keyOf(const Value& value) {
    if (value.isNull())
        return std::nullopt;
    if (value.type() == Value::Type::Text || value.type() == Value::Type::Memo)
        return QString::fromStdString(value.bytes()).toCaseFolded().toStdString();
    return value.toText();
}

// Rows of a row source, one after another.
class SourceRows {
  public:
    virtual ~SourceRows() = default;
    virtual const QStringList& names() const = 0;
    // Says which columns the rows must give; the others may be Null.
    virtual void want(const std::vector<bool>& columns) = 0;
    // Calls row() for each row; throws DatabaseError when the source is damaged.
    virtual void forEach(const std::function<void(const std::vector<Value>&)>& row) = 0;
};

class TableRows final : public SourceRows {
  public:
    TableRows(const std::shared_ptr<ConnectionState>& state, const CatalogObject& table)
        : cursor_(state, table, ComplexColumns::Ignore) {
        for (int i = 0; i < cursor_.columnCount(); ++i)
            names_.append(cursor_.column(i).name);
        wanted_.assign(std::size_t(names_.size()), true);
    }
    const QStringList& names() const override { return names_; }
    void want(const std::vector<bool>& columns) override { wanted_ = columns; }
    void forEach(const std::function<void(const std::vector<Value>&)>& row) override {
        std::vector<Value> values(wanted_.size());
        while (cursor_.next()) {
            for (std::size_t i = 0; i < wanted_.size(); ++i)
                values[i] = wanted_[i] ? cursor_.value(static_cast<int>(i)) : Value();
            row(values);
        }
    }

  private:
    TableCursor cursor_;
    QStringList names_;
    std::vector<bool> wanted_;
};

// The columns of a SELECT over another source's rows.
class SelectedRows final : public SourceRows {
  public:
    // Nothing when a reference names no column of the source.
    static std::unique_ptr<SelectedRows> over(SelectStatement statement, std::unique_ptr<SourceRows> source) {
        auto rows = std::unique_ptr<SelectedRows>(new SelectedRows(std::move(statement), std::move(source)));
        return rows->bind() ? std::move(rows) : nullptr;
    }
    const QStringList& names() const override { return names_; }
    void want(const std::vector<bool>& columns) override {
        wanted_ = columns;
        std::vector<bool> inner(std::size_t(source_->names().size()), false);
        const auto mark = [&](const std::vector<std::size_t>& bound) {
            for (const std::size_t column : bound)
                inner[column] = true;
        };
        if (statement_.allColumns)
            inner = columns;
        for (std::size_t i = 0; i < statement_.columns.size(); ++i) {
            if (i < columns.size() && columns[i])
                mark(bound_[i]);
        }
        if (statement_.where)
            mark(whereBound_);
        source_->want(inner);
    }
    void forEach(const std::function<void(const std::vector<Value>&)>& row) override {
        std::vector<Value> values(std::size_t(names_.size()));
        source_->forEach([&](const std::vector<Value>& in) {
            if (statement_.where && !passes(*statement_.where, whereBound_, in))
                return;
            if (statement_.allColumns) {
                row(in);
                return;
            }
            for (std::size_t i = 0; i < statement_.columns.size(); ++i) {
                if (!wanted_.empty() && !wanted_[i]) {
                    values[i] = Value();
                    continue;
                }
                const std::optional<Value> v = evaluate(statement_.columns[i].expression, bound_[i], in);
                // A value the rules do not cover: the row source is not read for certain.
                if (!v)
                    throw DatabaseError(QStringLiteral("The row source cannot be evaluated."));
                values[i] = *v;
            }
            row(values);
        });
    }

  private:
    SelectedRows(SelectStatement statement, std::unique_ptr<SourceRows> source)
        : statement_(std::move(statement)), source_(std::move(source)) {}

    // Each reference to the index of a source column; false for one that names none.
    bool bindReferences(const Expression& expression, std::vector<std::size_t>& bound) const {
        for (const Expression::Reference& reference : expression.references()) {
            if (!reference.qualifier.isEmpty() &&
                reference.qualifier.compare(statement_.source, Qt::CaseInsensitive) != 0 &&
                reference.qualifier.compare(statement_.alias, Qt::CaseInsensitive) != 0)
                return false;
            qsizetype found = -1;
            for (qsizetype i = 0; i < source_->names().size() && found < 0; ++i) {
                if (source_->names()[i].compare(reference.column, Qt::CaseInsensitive) == 0)
                    found = i;
            }
            if (found < 0)
                return false;
            bound.push_back(std::size_t(found));
        }
        return true;
    }

    bool bind() {
        if (statement_.allColumns) {
            names_ = source_->names();
        } else {
            for (const SelectStatement::Column& column : statement_.columns) {
                bound_.emplace_back();
                if (!bindReferences(column.expression, bound_.back()))
                    return false;
                names_.append(column.name);
            }
        }
        return !statement_.where || bindReferences(*statement_.where, whereBound_);
    }

    static std::optional<Value> evaluate(const Expression& expression, const std::vector<std::size_t>& bound,
                                         const std::vector<Value>& in) {
        return expression.evaluate([&](std::size_t reference) { return in[bound[reference]]; });
    }

    bool passes(const Expression& where, const std::vector<std::size_t>& bound,
                const std::vector<Value>& in) {
        const std::optional<Value> v = evaluate(where, bound, in);
        const std::optional<bool> holds = v ? ConditionHolds(*v) : std::nullopt;
        if (!holds)
            throw DatabaseError(QStringLiteral("The row source's condition cannot be evaluated."));
        return *holds;
    }

    SelectStatement statement_;
    std::unique_ptr<SourceRows> source_;
    QStringList names_;
    std::vector<std::vector<std::size_t>> bound_;  // per column, its references' source columns
    std::vector<std::size_t> whereBound_;
    std::vector<bool> wanted_;
};

struct Resolver {
    std::shared_ptr<ConnectionState> state;
    const jet::CodePageDecoder* jet3Text = nullptr;

    // The rows of a table or a saved query of that name; nothing when it is
    // neither, or another shape.
    std::unique_ptr<SourceRows> named(const QString& name, int depth) const {
        const CatalogObject* object = state->findObject(name);
        if (!object || depth > kMaxSourceDepth)
            return nullptr;
        if (object->isLocalTable())
            return std::make_unique<TableRows>(state, *object);
        if (object->type != 5)  // a query
            return nullptr;
        std::optional<SelectStatement> statement = ReadSavedQuery(state, *object, jet3Text);
        return statement ? selected(std::move(*statement), depth) : nullptr;
    }

    std::unique_ptr<SourceRows> selected(SelectStatement statement, int depth) const {
        std::unique_ptr<SourceRows> source = named(statement.source, depth + 1);
        if (!source)
            return nullptr;
        return SelectedRows::over(std::move(statement), std::move(source));
    }
};

// The map from key to shown text of a lookup's row source.
using ShownByKey = std::unordered_map<std::string, std::string>;

class LookupColumn final : public ShownColumn {
  public:
    explicit LookupColumn(ShownByKey shown) : shown_(std::move(shown)) {}

    Value shown(TableCursor& cursor, int column) const override {
        if (const std::string* text = single(cursor, column))
            return Value::text(Value::Type::Text, *text);
        return multipleOrStored(cursor, column);
    }

    void appendShown(TableCursor& cursor, int column, std::string& out, bool) const override {
        if (const std::string* text = single(cursor, column))
            out += *text;
        else
            multipleOrStored(cursor, column).appendText(out);
    }

  private:
    // The shown text of a single key that the row source has; nullptr for
    // anything else (a list, Null, a key it lacks).
    const std::string* single(TableCursor& cursor, int column) const {
        if (cursor.column(column).type == kComplex)
            return nullptr;
        const std::optional<std::string> key = keyOf(cursor.value(column));
        const auto found = key ? shown_.find(*key) : shown_.end();
        return found == shown_.end() ? nullptr : &found->second;
    }

    Value multipleOrStored(TableCursor& cursor, int column) const {
        if (std::optional<std::vector<Value>> elements = cursor.listValues(column)) {
            std::string text;
            for (std::size_t i = 0; i < elements->size(); ++i) {
                if (i)
                    text += "; ";
                text += shownText((*elements)[i]);
            }
            return Value::text(Value::Type::MultiValue, std::move(text));
        }
        return cursor.value(column);
    }

    std::string shownText(const Value& stored) const {
        const std::optional<std::string> key = keyOf(stored);
        const auto found = key ? shown_.find(*key) : shown_.end();
        return found == shown_.end() ? stored.toText() : found->second;
    }

    ShownByKey shown_;
};

class HyperlinkColumn final : public ShownColumn {
  public:
    Value shown(TableCursor& cursor, int column) const override {
        Value stored = cursor.value(column);
        if (stored.isNull() || stored.type() != Value::Type::Memo)
            return stored;
        return Value::text(Value::Type::Memo, SplitHyperlink(stored.bytes()).shown);
    }

    // A link to the address (and sub-address) around the shown text; none
    // without an address, as a sub-address alone names a place in the
    // database.
    void appendShown(TableCursor& cursor, int column, std::string& out, bool marked) const override {
        const Value stored = cursor.value(column);
        if (stored.isNull() || stored.type() != Value::Type::Memo)
            return stored.appendText(out);
        const HyperlinkParts parts = SplitHyperlink(stored.bytes());
        const bool linked = marked && !parts.target.empty() && parts.target.front() != '#' &&
                            !parts.shown.empty() && marks::AppendLinkStart(out, parts.target);
        out += parts.shown;
        if (linked)
            marks::AppendLinkEnd(out);
    }
};

class RichTextColumn final : public ShownColumn {
  public:
    Value shown(TableCursor& cursor, int column) const override {
        Value stored = cursor.value(column);
        if (stored.isNull() || stored.type() != Value::Type::Memo)
            return stored;
        return Value::text(Value::Type::Memo, RichTextAsText(stored.bytes()));
    }

    void appendShown(TableCursor& cursor, int column, std::string& out, bool marked) const override {
        const Value stored = cursor.value(column);
        if (stored.isNull() || stored.type() != Value::Type::Memo)
            return stored.appendText(out);
        out += RichTextAsText(stored.bytes(), marked);
    }
};

// Which columns a lookup shows and binds: the first column whose width is
// not zero (the first when no widths are given), and BoundColumn (from 1).
struct LookupShape {
    std::size_t bound = 0;
    std::size_t shown = 0;
    std::size_t columns = 1;
};

std::optional<LookupShape> shapeOf(const PropertyBlock& block, const jet::CodePageDecoder* jet3Text) {
    LookupShape shape;
    const auto number = [&](const char* name, std::int64_t fallback) {
        const StoredProperty* p = block.find(QString::fromLatin1(name));
        return p ? p->integer().value_or(-1) : fallback;
    };
    const std::int64_t count = number("ColumnCount", 1);
    const std::int64_t bound = number("BoundColumn", 1);
    if (count < 1 || count > 255 || bound < 1 || bound > count)
        return std::nullopt;
    shape.columns = std::size_t(count);
    shape.bound = std::size_t(bound - 1);
    shape.shown = shape.columns;
    const StoredProperty* widths = block.find(QStringLiteral("ColumnWidths"));
    const QStringList given =
        widths ? widths->text(jet3Text).value_or(QString()).split(QLatin1Char(';')) : QStringList();
    for (std::size_t i = 0; i < shape.columns && shape.shown == shape.columns; ++i) {
        if (i >= std::size_t(given.size()) || given[qsizetype(i)].trimmed().isEmpty()) {
            shape.shown = i;  // no width given: the default, not zero
            break;
        }
        // A width with or without a unit ("0", "1440", "2.54cm", "1\"").
        static const QRegularExpression kNumber(QStringLiteral("^\\s*([0-9]*\\.?[0-9]*)"));
        const QString digits = kNumber.match(given[qsizetype(i)]).captured(1);
        bool ok = false;
        const double width = digits.toDouble(&ok);
        if (!ok)
            return std::nullopt;
        if (width != 0)
            shape.shown = i;
    }
    if (shape.shown >= shape.columns)
        return std::nullopt;
    return shape;
}

ShownByKey valueList(const QString& list, const LookupShape& shape) {
    const QStringList items = SplitOutsideQuotes(list, QLatin1Char(';'));
    ShownByKey shown;
    for (qsizetype row = 0; row + qsizetype(shape.columns) <= items.size(); row += qsizetype(shape.columns)) {
        const QString key = Unquoted(items[row + qsizetype(shape.bound)]);
        shown.emplace(key.toCaseFolded().toStdString(),
                      Unquoted(items[row + qsizetype(shape.shown)]).toStdString());
    }
    return shown;
}

std::optional<ShownByKey> tableOrQuery(const Resolver& resolver, const QString& source,
                                       const LookupShape& shape) {
    std::unique_ptr<SourceRows> rows;
    if (std::optional<SelectStatement> statement = ParseSelectStatement(source)) {
        rows = resolver.selected(std::move(*statement), 0);
    } else {
        const QString name = source.trimmed();
        const bool bracketed = name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']'));
        rows = resolver.named(bracketed ? name.mid(1, name.size() - 2) : name, 0);
    }
    if (!rows || std::size_t(rows->names().size()) <= std::max(shape.bound, shape.shown))
        return std::nullopt;
    std::vector<bool> wanted(std::size_t(rows->names().size()), false);
    wanted[shape.bound] = wanted[shape.shown] = true;
    rows->want(wanted);
    ShownByKey shown;
    rows->forEach([&](const std::vector<Value>& row) {
        if (const std::optional<std::string> key = keyOf(row[shape.bound]))
            shown.emplace(*key, row[shape.shown].toText());
    });
    return shown;
}

std::shared_ptr<const ShownColumn> lookup(const Resolver& resolver, const PropertyBlock& block) {
    const StoredProperty* control = block.find(QStringLiteral("DisplayControl"));
    const std::int64_t display = control ? control->integer().value_or(0) : 0;
    const StoredProperty* type = block.find(QStringLiteral("RowSourceType"));
    const StoredProperty* source = block.find(QStringLiteral("RowSource"));
    if ((display != kListBox && display != kComboBox) || !type || !source)
        return nullptr;
    const std::optional<LookupShape> shape = shapeOf(block, resolver.jet3Text);
    const QString kind = type->text(resolver.jet3Text).value_or(QString());
    const QString text = source->text(resolver.jet3Text).value_or(QString());
    if (!shape || text.trimmed().isEmpty())
        return nullptr;
    std::optional<ShownByKey> shown;
    if (kind.compare(QLatin1String("Value List"), Qt::CaseInsensitive) == 0) {
        shown = valueList(text, *shape);
    } else if (kind.compare(QLatin1String("Table/Query"), Qt::CaseInsensitive) == 0) {
        try {
            shown = tableOrQuery(resolver, text, *shape);
        } catch (const DatabaseError&) {
            shown.reset();  // a source that cannot be read shows the stored values
        }
    }
    return shown ? std::make_shared<LookupColumn>(std::move(*shown)) : nullptr;
}

constexpr std::int64_t kRichText = 1;

}  // namespace

std::shared_ptr<const ShownColumns> ReadShownColumns(const std::shared_ptr<ConnectionState>& state,
                                                     const CatalogObject& table, TableCursor& definition,
                                                     const std::vector<int>& wanted) {
    auto shown = std::make_shared<ShownColumns>();
    shown->columns.resize(std::size_t(definition.columnCount()));
    std::unique_ptr<jet::CodePageDecoder> jet3Text;
    if (state->header.format == jet::Format::Jet3)
        jet3Text = std::make_unique<jet::CodePageDecoder>(state->header.codePage);
    const ObjectProperties properties = ReadObjectProperties(state, table, jet3Text.get());
    const Resolver resolver{state, jet3Text.get()};
    for (const int column : wanted) {
        const ColumnInfo& info = definition.column(column);
        std::shared_ptr<const ShownColumn>& slot = shown->columns[std::size_t(column)];
        const PropertyBlock* block = properties.column(info.name);
        if (block)
            slot = lookup(resolver, *block);
        if (slot)
            continue;
        if (info.hyperlink) {
            slot = std::make_shared<HyperlinkColumn>();
        } else if (info.type == kMemo && block) {
            const StoredProperty* format = block->find(QStringLiteral("TextFormat"));
            if (format && format->integer() == kRichText)
                slot = std::make_shared<RichTextColumn>();
        }
    }
    return shown;
}

}  // namespace qm
