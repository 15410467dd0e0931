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

}  // namespace qm
