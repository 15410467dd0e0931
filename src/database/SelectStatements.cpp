#include "database/SelectStatements.h"

#include "database/DatabaseMessages.h"
#include "database/MdbSupport.h"
#include "database/TableReader.h"

namespace qm {

namespace {

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Where the keyword stands as a word of its own outside quotes, brackets
// and parentheses, from `from` on; -1 when nowhere.
qsizetype findKeyword(QStringView text, QStringView keyword, qsizetype from = 0) {
    QChar quote;
    bool bracket = false;
    int parentheses = 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;  // a doubled quote closes and reopens
            continue;
        }
        if (bracket) {
            bracket = c != QLatin1Char(']');
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\''))
            quote = c;
        else if (c == QLatin1Char('['))
            bracket = true;
        else if (c == QLatin1Char('('))
            ++parentheses;
        else if (c == QLatin1Char(')'))
            --parentheses;
        else if (parentheses == 0 && text.mid(i).startsWith(keyword, Qt::CaseInsensitive) &&
                 (i == 0 || !isWordChar(text[i - 1])) &&
                 (i + keyword.size() >= text.size() || !isWordChar(text[i + keyword.size()])))
            return i;
    }
    return -1;
}

// A name as written: [with brackets] or a plain identifier; nothing else.
std::optional<QString> nameOf(QStringView text) {
    text = text.trimmed();
    if (text.size() >= 2 && text.front() == QLatin1Char('[') && text.back() == QLatin1Char(']') &&
        !text.mid(1, text.size() - 2).contains(QLatin1Char(']')))
        return text.mid(1, text.size() - 2).toString();
    if (text.isEmpty())
        return std::nullopt;
    for (const QChar c : text) {
        if (!isWordChar(c))
            return std::nullopt;
    }
    return text.toString();
}

// "source", "source alias" or "source AS alias".
bool readSource(QStringView text, SelectStatement& statement) {
    text = text.trimmed();
    const qsizetype as = findKeyword(text, u"AS");
    QStringView source = text;
    QStringView alias;
    if (as >= 0) {
        source = text.left(as);
        alias = text.mid(as + 2);
    } else if (!text.startsWith(QLatin1Char('['))) {
        const qsizetype blank = text.indexOf(QLatin1Char(' '));
        if (blank >= 0) {
            source = text.left(blank);
            alias = text.mid(blank + 1);
        }
    } else {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        source = text.left(close + 1);
        alias = text.mid(close + 1);
    }
    const std::optional<QString> sourceName = nameOf(source);
    if (!sourceName)
        return false;
    statement.source = *sourceName;
    if (!alias.trimmed().isEmpty()) {
        const std::optional<QString> aliasName = nameOf(alias);
        if (!aliasName)
            return false;
        statement.alias = *aliasName;
    }
    return true;
}

// One column of the SELECT list: "expression" or "expression AS name".
bool readColumn(const QString& item, std::size_t index, SelectStatement& statement) {
    qsizetype as = -1;
    for (qsizetype at = findKeyword(item, u"AS"); at >= 0; at = findKeyword(item, u"AS", at + 2))
        as = at;
    std::optional<Expression> expression = Expression::parse(as >= 0 ? QStringView(item).left(as) : item);
    if (!expression)
        return false;
    QString name = expression->plainColumn();
    if (as >= 0) {
        const std::optional<QString> given = nameOf(QStringView(item).mid(as + 2));
        if (!given)
            return false;
        name = *given;
    }
    if (name.isEmpty())
        name = QStringLiteral("Expr%1").arg(1000 + index);
    statement.columns.push_back({std::move(*expression), name});
    return true;
}

bool readColumns(QStringView list, SelectStatement& statement) {
    if (list.trimmed() == QLatin1String("*")) {
        statement.allColumns = true;
        return true;
    }
    const QStringList items = SplitOutsideQuotes(list, QLatin1Char(','));
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!readColumn(items[i], std::size_t(i), statement))
            return false;
    }
    return !statement.columns.empty();
}

}  // namespace

std::optional<SelectStatement> ParseSelectStatement(QStringView text) {
    text = text.trimmed();
    while (text.endsWith(QLatin1Char(';')))
        text = text.chopped(1).trimmed();
    if (findKeyword(text, u"SELECT") != 0)
        return std::nullopt;
    qsizetype at = 6;  // after SELECT
    while (at < text.size() && text[at].isSpace())
        ++at;
    // DISTINCT and DISTINCTROW change no key's shown value.
    for (const QStringView modifier : {QStringView(u"DISTINCTROW"), QStringView(u"DISTINCT")}) {
        if (findKeyword(text, modifier, at) == at) {
            at += modifier.size();
            break;
        }
    }
    const qsizetype from = findKeyword(text, u"FROM", at);
    if (from < 0)
        return std::nullopt;
    // Anything but one source, a WHERE and an ORDER BY is another shape.
    for (const char16_t* other : {u"JOIN", u"UNION", u"GROUP", u"HAVING", u"TOP", u"PIVOT", u"TRANSFORM",
                                  u"PARAMETERS", u"INTO", u"IN", u"SELECT"}) {
        const qsizetype found = findKeyword(text, other, at);
        if (found >= 0)
            return std::nullopt;
    }
    const qsizetype where = findKeyword(text, u"WHERE", from);
    const qsizetype order = findKeyword(text, u"ORDER", from);
    if (order >= 0 && findKeyword(text, u"BY", order) < 0)
        return std::nullopt;
    const qsizetype sourceEnd = where >= 0 ? where : order >= 0 ? order : text.size();
    const QStringView source = text.mid(from + 4, sourceEnd - from - 4);
    if (SplitOutsideQuotes(source, QLatin1Char(',')).size() > 1)  // several sources
        return std::nullopt;

    SelectStatement statement;
    if (!readColumns(text.mid(at, from - at), statement) || !readSource(source, statement))
        return std::nullopt;
    if (where >= 0) {
        const qsizetype whereEnd = order >= 0 ? order : text.size();
        statement.where = Expression::parse(text.mid(where + 5, whereEnd - where - 5));
        if (!statement.where)
            return std::nullopt;
    }
    return statement;
}

namespace {

// Rows of MSysQueries, by their Attribute.
enum QueryAttribute : int {
    kQueryType = 1,
    kQueryParameter = 2,
    kQueryFlags = 3,
    kQueryRemoteDatabase = 4,
    kQueryInput = 5,
    kQueryColumn = 6,
    kQueryJoin = 7,
    kQueryWhere = 8,
    kQueryGroupBy = 9,
    kQueryHaving = 10,
    kQueryOrderBy = 11,
};
constexpr std::int64_t kSelectQuery = 0;
// Flags of a select that change which rows it gives.
constexpr std::int64_t kTopFlag = 0x10;
constexpr std::int64_t kPercentFlag = 0x20;

struct QueryRow {
    int attribute = 0;
    QString expression;
    std::int64_t flag = 0;
    QString name1;
    QString name2;
};

std::vector<QueryRow> queryRows(const std::shared_ptr<ConnectionState>& state, const CatalogObject& query) {
    std::vector<QueryRow> rows;
    const CatalogObject* queries = state->findObject(QStringLiteral("MSysQueries"));
    if (!queries || !queries->isLocalTable())
        return rows;
    TableCursor cursor(state, *queries, ComplexColumns::Ignore);
    const int attribute = cursor.findColumn(QStringLiteral("Attribute"));
    const int expression = cursor.findColumn(QStringLiteral("Expression"));
    const int flag = cursor.findColumn(QStringLiteral("Flag"));
    const int name1 = cursor.findColumn(QStringLiteral("Name1"));
    const int name2 = cursor.findColumn(QStringLiteral("Name2"));
    const int objectId = cursor.findColumn(QStringLiteral("ObjectId"));
    if (attribute < 0 || expression < 0 || flag < 0 || name1 < 0 || name2 < 0 || objectId < 0)
        return rows;
    while (cursor.next()) {
        if (cursor.value(objectId).asInteger() != query.id)
            continue;
        rows.push_back({static_cast<int>(cursor.value(attribute).asInteger()),
                        cursor.value(expression).toQString(), cursor.value(flag).asInteger(),
                        cursor.value(name1).toQString(), cursor.value(name2).toQString()});
    }
    return rows;
}

}  // namespace

std::optional<SelectStatement> ReadSavedQuery(const std::shared_ptr<ConnectionState>& state,
                                              const CatalogObject& query,
                                              const jet::CodePageDecoder* jet3Text) {
    (void)jet3Text;  // the rows' text comes decoded by the cursor
    std::vector<QueryRow> rows;
    try {
        rows = queryRows(state, query);
    } catch (const DatabaseError&) {
        return std::nullopt;
    }
    SelectStatement statement;
    int inputs = 0;
    bool select = false;
    for (const QueryRow& row : rows) {
        switch (row.attribute) {
            case kQueryType:
                select = row.flag == kSelectQuery;
                break;
            case kQueryFlags:
                if (row.flag & (kTopFlag | kPercentFlag))
                    return std::nullopt;
                statement.allColumns = (row.flag & 0x01) != 0;
                break;
            case kQueryInput:
                if (++inputs > 1 || !row.expression.isEmpty() || row.name1.isEmpty())
                    return std::nullopt;
                statement.source = row.name1;
                statement.alias = row.name2;
                break;
            case kQueryColumn: {
                std::optional<Expression> expression = Expression::parse(row.expression);
                if (!expression)
                    return std::nullopt;
                QString name = row.name1.isEmpty() ? expression->plainColumn() : row.name1;
                if (name.isEmpty())
                    name = QStringLiteral("Expr%1").arg(1000 + statement.columns.size());
                statement.columns.push_back({std::move(*expression), name});
                break;
            }
            case kQueryWhere:
                statement.where = Expression::parse(row.expression);
                if (!statement.where)
                    return std::nullopt;
                break;
            case kQueryOrderBy:
                break;  // the order of the rows does not change what a key shows
            case kQueryParameter:
            case kQueryRemoteDatabase:
            case kQueryJoin:
            case kQueryGroupBy:
            case kQueryHaving:
                return std::nullopt;
            default:
                break;
        }
    }
    if (!select || inputs != 1 || (statement.columns.empty() && !statement.allColumns))
        return std::nullopt;
    return statement;
}

}  // namespace qm
