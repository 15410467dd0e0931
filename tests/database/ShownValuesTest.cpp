// What Access shows where it is not the stored value: the expressions and
// statements of lookups' row sources, hyperlinks and rich text, each from
// the rules alone (the corpus test checks real files).

#include "database/Expressions.h"
#include "database/SelectStatements.h"
#include "database/ShownValues.h"

#include <gtest/gtest.h>

using qm::Expression;
using qm::Value;

namespace {

// Evaluates over one row: [First Name] = "Ann", [Last Name] = "Lee",
// [Company] = Null, [Id] = 7, [Price] = 2.5.
std::string evaluated(const char* text) {
    const std::optional<Expression> e = Expression::parse(QString::fromUtf8(text));
    if (!e)
        return "<no parse>";
    const std::optional<Value> v = e->evaluate([&](std::size_t i) {
        const QString column = e->references()[i].column.toLower();
        if (column == QLatin1String("first name"))
            return Value::fromQString(QStringLiteral("Ann"));
        if (column == QLatin1String("last name"))
            return Value::fromQString(QStringLiteral("Lee"));
        if (column == QLatin1String("id"))
            return Value::integer(Value::Type::Long, 7);
        if (column == QLatin1String("price"))
            return Value::real(Value::Type::Double, 2.5);
        return Value();
    });
    if (!v)
        return "<no value>";
    return v->isNull() ? "<Null>" : v->toText();
}

}  // namespace

TEST(ShownValues, ExpressionsFollowAccessRules) {
    const std::pair<const char*, const char*> cases[] = {
        {"[Last Name] & \", \" & [First Name]", "Lee, Ann"},
        {"Contacts.[Last Name]", "Lee"},
        {"[Company] & \"x\"", "x"},       // & takes Null as empty text
        {"[Company] + \"x\"", "<Null>"},  // + gives Null
        {"[First Name] + ' ' + [Last Name]", "Ann Lee"},
        {"[Id] + 1", "8"},
        {"[Price] + [Id]", "9.5"},
        {"[Id] + \"abc\"", "<no value>"},  // no number: never a guess
        {"IIf(IsNull([Company]),[First Name],[Company])", "Ann"},
        {"IIf([Company],\"a\",\"b\")", "b"},  // Null takes the false branch
        {"iif(IsNull([Last Name]),IIf(IsNull([First Name]),[Company],[First Name]),"
         "IIf(IsNull([First Name]),[Last Name],[First Name] & \" \" & [Last Name]))",
         "Ann Lee"},
        {"Nz([Company],\"(none)\")", "(none)"},
        {"Nz([Company])", ""},
        {"UCase(Left$([Last Name],2)) & LCase(Mid([First Name],2))", "LEnn"},
        {"Right([First Name], 1) & Len([Last Name])", "n3"},
        {"Trim(\"  a b  \") & \"|\" & LTrim(\" a\") & RTrim(\"b \")", "a b|ab"},
        {"Mid([Last Name], 0)", "<no value>"},  // no character 0
        {"[Company] Is Null And Not [Id] = 8", "True"},
        {"[Company] = 1 Or [Id] > 3", "True"},     // Null Or True
        {"[Company] = 1 And [Id] > 3", "<Null>"},  // Null And True
        {"[First Name] = \"ann\"", "True"},        // text compares without case
        {"[Id] <> 7", "False"},
        {"\"it\"\"s\" & 'x'", "it\"sx"},
        // Outside the grammar.
        {"Format([Id], \"000\")", "<no parse>"},
        {"[Id] * 2", "<no parse>"},
        {"[Id] +", "<no parse>"},
        {"(((", "<no parse>"},
        {"[unclosed", "<no parse>"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(evaluated(text), expected) << text;
    // Nesting and length are bounded: hostile text neither crashes nor recurses without end.
    EXPECT_FALSE(Expression::parse(QString(100000, QLatin1Char('('))));
    QString chain = QStringLiteral("[a]");
    for (int i = 0; i < 5000; ++i)
        chain += QStringLiteral(" & [a]");
    EXPECT_FALSE(Expression::parse(chain));
}

TEST(ShownValues, RowSourceStatementsOfOneShapeOnly) {
    const auto statement = [](const char* text) { return qm::ParseSelectStatement(QString::fromUtf8(text)); };
    const auto lookup =
        statement("SELECT [Contacts].[ID], [Contacts].[Last Name] FROM Contacts ORDER BY [Last Name];");
    ASSERT_TRUE(lookup);
    EXPECT_EQ(lookup->source, QStringLiteral("Contacts"));
    ASSERT_EQ(lookup->columns.size(), 2u);
    EXPECT_EQ(lookup->columns[1].name, QStringLiteral("Last Name"));

    const auto named = statement(
        "select distinctrow Employees.EmployeeID, [LastName] & \", \" & [FirstName] AS Name "
        "FROM [Employees] AS e WHERE e.Active = True ORDER BY Employees.LastName");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->alias, QStringLiteral("e"));
    EXPECT_EQ(named->columns[1].name, QStringLiteral("Name"));
    EXPECT_TRUE(named->where.has_value());
    EXPECT_TRUE(statement("SELECT * FROM [Contacts Extended]"));
    EXPECT_TRUE(statement("SELECT [Key] FROM [Names, Places] WHERE [Key] > 20"));  // a comma in a name

    for (const char* other : {"SELECT a FROM t INNER JOIN u ON t.x = u.x", "SELECT a FROM t, u",
                              "SELECT a FROM t UNION SELECT b FROM u", "SELECT TOP 5 a FROM t",
                              "SELECT a, Count(b) FROM t GROUP BY a", "PARAMETERS p Text; SELECT a FROM t",
                              "SELECT a FROM t WHERE a IN (SELECT b FROM u)", "DELETE FROM t", "SELECT a"})
        EXPECT_FALSE(statement(other)) << other;
}

TEST(ShownValues, HyperlinksAndRichTextAsAccessShowsThem) {
    const std::tuple<const char*, const char*, const char*> links[] = {
        {"www.fabrikam.com#http://www.fabrikam.com#", "www.fabrikam.com", "http://www.fabrikam.com"},
        {"#http://northwindtraders.com#", "http://northwindtraders.com", "http://northwindtraders.com"},
        {"#mailto:ann@example.com#", "ann@example.com", "mailto:ann@example.com"},
        {"Notes#notes.doc#Chapter 2#tip", "Notes", "notes.doc#Chapter 2"},
        {"no link at all", "no link at all", ""},
    };
    for (const auto& [stored, shown, target] : links) {
        const qm::HyperlinkParts parts = qm::SplitHyperlink(stored);
        EXPECT_EQ(parts.shown, shown) << stored;
        EXPECT_EQ(parts.target, target) << stored;
    }
    // The text, and the text with its emphasis marks (shell/TextMarks.h) for
    // the documents.
    const std::tuple<const char*, const char*, const char*> rich[] = {
        {"<div><font color=red>Hello</font> <strong>world</strong></div><div>x &amp; y&nbsp;z</div>",
         "Hello world\r\nx & y\u00A0z",
         "Hello \xFE"
         "1world\r\n\xFE"
         "0x & y\u00A0z"},
        {"<div>a<br>b</div>\r\n<div></div><p>c&#233;&#x263A;</p>", "a\r\nb\r\nc\u00E9\u263A",
         "a\r\nb\r\nc\u00E9\u263A"},
        {"1 < 2 &unknown; <not closed", "1 < 2 &unknown; <not closed",
         "1 < 2 &unknown; <not closed"},  // what cannot be understood is text
        {"<b>b<i>bi<u>biu</b>iu</i>u</u> <em>i</em><b>", "bbibiuiuu i",
         "\xFE"
         "1b\xFE"
         "3bi\xFE"
         "7biu\xFE"
         "6iu\xFE"
         "4u \xFE"
         "2i\xFE"
         "0"},
        {"</b>x<b/>y<B>z", "xyz",
         "xy\xFE"
         "1z\xFE"
         "0"},  // stray ends and empty tags change nothing
        {"\uFDD1 kept out", "\uFFFD kept out", "\uFFFD kept out"},  // never taken for emphasis
    };
    for (const auto& [html, text, marked] : rich) {
        EXPECT_EQ(qm::RichTextAsText(html), text) << html;
        EXPECT_EQ(qm::RichTextAsText(html, true), marked) << html;
    }
}
