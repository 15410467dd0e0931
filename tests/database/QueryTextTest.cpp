#include "database/Ado.h"
#include "database/QueryText.h"

#include <gtest/gtest.h>

using qm::DatabaseError;
using qm::ParseSelectQuery;

TEST(QueryText, ReadsBothShapesWithNamesVerbatim) {
    struct Case {
        QString text;
        QString table;
        bool all;
        QStringList fields;
    };
    const Case cases[] = {
        {QStringLiteral("SELECT * FROM [Orders];"), QStringLiteral("Orders"), true, {}},
        {QStringLiteral("SELECT * FROM [Order Details];"), QStringLiteral("Order Details"), true, {}},
        {QStringLiteral("SELECT * FROM [Umsätze];"), QStringLiteral("Umsätze"), true, {}},
        {QStringLiteral("SELECT * FROM [ a`b, c ];"), QStringLiteral(" a`b, c "), true, {}},
        {QStringLiteral("SELECT `A` FROM `Table1`"), QStringLiteral("Table1"), false, {QStringLiteral("A")}},
        {QStringLiteral("SELECT `Unit Price`, `Qty [x]`, `a, b` FROM `Order Details`"),
         QStringLiteral("Order Details"),
         false,
         {QStringLiteral("Unit Price"), QStringLiteral("Qty [x]"), QStringLiteral("a, b")}},
        {QStringLiteral("SELECT `x`, `x` FROM `T;`"),
         QStringLiteral("T;"),
         false,
         {QStringLiteral("x"), QStringLiteral("x")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const qm::SelectQuery query = ParseSelectQuery(c.text);
        EXPECT_EQ(query.table, c.table);
        EXPECT_EQ(query.allFields, c.all);
        EXPECT_EQ(query.fields, c.fields);
    }
}

TEST(QueryText, AnythingElseFailsWithAProviderStyleSyntaxError) {
    const QString invalid = QStringLiteral(
        "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
    const QString fromClause = QStringLiteral("Syntax error in FROM clause.");
    const QString select = QStringLiteral(
        "The SELECT statement includes a reserved word or an argument name that is misspelled or missing, or "
        "the "
        "punctuation is incorrect.");
    const std::pair<QString, QString> cases[] = {
        {QString(), invalid},
        {QStringLiteral("DROP TABLE [x];"), invalid},
        {QStringLiteral("select * from [x];"), invalid},
        {QStringLiteral(" SELECT * FROM [x];"), invalid},
        {QStringLiteral("SELECT * FROM [a]b];"), fromClause},  // a name holding ']' cannot be bracketed
        {QStringLiteral("SELECT * FROM [];"), fromClause},
        {QStringLiteral("SELECT * FROM [x]"), fromClause},
        {QStringLiteral("SELECT * FROM [x]; DROP TABLE [x];"), fromClause},
        {QStringLiteral("SELECT * FROM `x`"), select},
        {QStringLiteral("SELECT  FROM `x`"), select},  // no field chosen
        {QStringLiteral("SELECT `` FROM `x`"), select},
        {QStringLiteral("SELECT `a`,`b` FROM `x`"), select},
        {QStringLiteral("SELECT `a` FROM x"), select},
        {QStringLiteral("SELECT `a` FROM ``"), fromClause},
        {QStringLiteral("SELECT `a` FROM `x"), fromClause},
        {QStringLiteral("SELECT `a` FROM `x` WHERE 1"), fromClause},
        {QStringLiteral("SELECT `a` FROM `x`;"), fromClause},
        {QStringLiteral("SELECT `a"), select},
        {QStringLiteral("SELECT `a` FROM `b` FROM `c`"), fromClause},  // a name cannot hold '`'
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text.toStdString());
        try {
            ParseSelectQuery(text);
            ADD_FAILURE() << "accepted";
        } catch (const DatabaseError& error) {
            EXPECT_EQ(error.description(), message);
        }
    }
}
