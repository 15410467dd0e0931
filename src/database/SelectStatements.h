#pragma once

// Internal to the database layer: the one shape of query a lookup's row
// source may have for the program to show what Access shows: columns (plain
// ones or expressions, Expressions.h) of one table or of one such query, with
// an optional WHERE on the same expressions. Written as SQL text
//
//   SELECT [DISTINCT | DISTINCTROW] column [AS name] {, column [AS name]}
//   FROM source [[AS] alias] [WHERE expression] [ORDER BY ...] [;]
//
// (names with or without brackets, columns with or without the source's
// name before them), or kept as a saved query in the rows of MSysQueries.
// Joins, unions, grouping, parameters, TOP and anything else are not this
// shape: the lookup then shows the stored value.

#include "database/Expressions.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace qm {

struct CatalogObject;
struct ConnectionState;
namespace jet {
class CodePageDecoder;
}

struct SelectStatement {
    struct Column {
        Expression expression;
        QString name;  // the AS name; the column's own name for a plain column
    };
    QString source;           // a table or a saved query
    QString alias;            // the source's AS name; empty for none
    bool allColumns = false;  // SELECT *
    std::vector<Column> columns;
    std::optional<Expression> where;
};

// The statement an SQL text holds; nothing for any other shape.
std::optional<SelectStatement> ParseSelectStatement(QStringView text);

// The statement a saved query keeps in MSysQueries; nothing for any other
// shape, or when its rows cannot be read.
std::optional<SelectStatement> ReadSavedQuery(const std::shared_ptr<ConnectionState>& state,
                                              const CatalogObject& query,
                                              const jet::CodePageDecoder* jet3Text);

}  // namespace qm
