#include "database/QueryText.h"

#include "database/DatabaseMessages.h"

namespace qm {

namespace {

const QString kSelect = QStringLiteral("SELECT ");
const QString kAllFromBracket = QStringLiteral("SELECT * FROM [");
const QString kBracketEnd = QStringLiteral("];");
const QString kFieldSeparator = QStringLiteral(", `");
const QString kFromQuoted = QStringLiteral(" FROM `");
constexpr QChar kBackQuote = QLatin1Char('`');

}  // namespace

SelectQuery ParseSelectQuery(const QString& text) {
    if (!text.startsWith(kSelect))
        throw DatabaseError(dbmessages::kInvalidStatement);

    SelectQuery query;
    if (text.startsWith(kAllFromBracket)) {
        if (!text.endsWith(kBracketEnd) || text.size() < kAllFromBracket.size() + kBracketEnd.size())
            throw DatabaseError(dbmessages::kSyntaxErrorInFrom);
        query.allFields = true;
        query.table =
            text.mid(kAllFromBracket.size(), text.size() - kAllFromBracket.size() - kBracketEnd.size());
        if (query.table.isEmpty() || query.table.contains(QLatin1Char(']')) ||
            query.table.contains(QLatin1Char('[')))
            throw DatabaseError(dbmessages::kSyntaxErrorInFrom);
        return query;
    }

    // SELECT `a`, `b` FROM `T`
    qsizetype at = kSelect.size();
    if (at >= text.size() || text.at(at) != kBackQuote)
        throw DatabaseError(dbmessages::kSelectSyntax);
    ++at;
    for (;;) {
        const qsizetype close = text.indexOf(kBackQuote, at);
        if (close < 0)
            throw DatabaseError(dbmessages::kSelectSyntax);
        const QString field = text.mid(at, close - at);
        if (field.isEmpty())
            throw DatabaseError(dbmessages::kSelectSyntax);
        query.fields.append(field);
        at = close + 1;
        if (QStringView(text).mid(at).startsWith(kFieldSeparator)) {
            at += kFieldSeparator.size();
            continue;
        }
        if (QStringView(text).mid(at).startsWith(kFromQuoted)) {
            at += kFromQuoted.size();
            break;
        }
        throw DatabaseError(dbmessages::kSelectSyntax);
    }
    const qsizetype close = text.indexOf(kBackQuote, at);
    if (close < 0 || close != text.size() - 1)
        throw DatabaseError(dbmessages::kSyntaxErrorInFrom);
    query.table = text.mid(at, close - at);
    if (query.table.isEmpty())
        throw DatabaseError(dbmessages::kSyntaxErrorInFrom);
    return query;
}

QString WholeTableQuery(const QString& table) {
    return QStringLiteral("SELECT * FROM [") + table + QStringLiteral("];");
}

QString SelectedFieldsQuery(const QString& selectedFields, const QString& table) {
    return QStringLiteral("SELECT ") + selectedFields + QStringLiteral(" FROM `") + table + QLatin1Char('`');
}

}  // namespace qm
