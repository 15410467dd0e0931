#pragma once

// The two query texts the program sends, and nothing else:
//   SELECT * FROM [Table];
//   SELECT `a`, `b` FROM `Table`
// Names are taken verbatim between their delimiters.

#include <QString>
#include <QStringList>

namespace qm {

struct SelectQuery {
    QString table;
    bool allFields = false;
    QStringList fields;  // when !allFields, in the order given
};

// Throws DatabaseError worded like the provider's syntax errors.
SelectQuery ParseSelectQuery(const QString& text);

// The preview's query of a whole table: "SELECT * FROM [Table];".
QString WholeTableQuery(const QString& table);

// The export's query: "SELECT " + fields + " FROM `Table`", fields already
// back-quoted and joined (see BuildSelectedFields). Nothing is escaped.
QString SelectedFieldsQuery(const QString& selectedFields, const QString& table);

}  // namespace qm
