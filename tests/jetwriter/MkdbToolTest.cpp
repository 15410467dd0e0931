// quillmerge-mkdb from the outside: exit codes, messages, and no half files.

#include "Readers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

qm::test::ProcessResult mkdb(const QStringList& arguments) {
    return qm::test::RunProcess(QStringLiteral(QM_MKDB_PATH), arguments);
}

QString writeText(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

TEST(MkdbTool, WritesTheDescribedDatabase) {
    QTemporaryDir dir;
    const QString description = writeText(dir, QStringLiteral("d.json"), R"({"tables": [
        {"name": "People", "columns": [{"name": "Name", "type": "text", "size": 20},
                                       {"name": "Born", "type": "datetime"},
                                       {"name": "Id", "type": "guid"}],
         "rows": [["Ann", "1850-02-01", "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"], [null, null, null]]},
        {"name": "Gen {n}", "repeat": 3, "columns": [{"name": "N", "type": "long"}],
         "generate": {"count": 2500, "seed": 1}}]})");
    const QString output = dir.filePath(QStringLiteral("out.mdb"));
    const auto r = mkdb({output, description});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("4 tables, 7502 rows"));
    EXPECT_EQ(qm::test::MdbTables(output), (QStringList{QStringLiteral("People"), QStringLiteral("Gen 1"),
                                                        QStringLiteral("Gen 2"), QStringLiteral("Gen 3")}));
    EXPECT_EQ(qm::test::MdbCount(output, QStringLiteral("Gen 3")), 2500);
}

TEST(MkdbTool, BadDescriptionsFailWithAMessageNamingThePlace) {
    struct Case {
        const char* what;
        QByteArray json;
        const char* message;
    };
    const Case cases[] = {
        {"not JSON", "{\"tables\": [\n  {\"name\": }]}", "not valid JSON (line 2, column"},
        {"no tables", "{}", "needs a \"tables\" list"},
        {"unknown key", R"({"tables": [], "pasword": "x"})", "unknown key \"pasword\""},
        {"unknown type", R"({"tables": [{"name": "T", "columns": [{"name": "C", "type": "txt"}]}]})",
         "Table \"T\", columns[0] (\"C\"): unknown type \"txt\""},
        {"wrong value",
         R"({"tables": [{"name": "T", "columns": [{"name": "A", "type": "long"}, {"name": "B", "type": "datetime"}],
                           "rows": [[1, "2000-01-01"], [2, "2000-13-01"]]}]})",
         "Table \"T\", column \"B\", row 2: expected a date"},
        {"value too long", R"({"tables": [{"name": "T", "columns": [{"name": "A", "type": "text", "size": 2}],
                             "rows": [["abc"]]}]})",
         "Table \"T\", column \"A\", row 1: the text has 3 characters"},
        {"short row",
         R"({"tables": [{"name": "T", "columns": [{"name": "A", "type": "long"}], "rows": [[]]}]})",
         "Table \"T\", row 1: 0 values for 1 columns"},
        {"repeat without {n}",
         R"({"tables": [{"name": "T", "repeat": 2, "columns": [{"name": "A", "type": "long"}]}]})",
         "needs {n} in its name"},
        {"long password", R"({"password": "123456789012345678901", "tables": []})", "at most 20"},
        {"moved row past the end",
         R"({"tables": [{"name": "T", "columns": [{"name": "A", "type": "long"}], "rows": [[1], [2]],
                           "layout": {"moved": [3]}}]})",
         "Table \"T\": \"layout\" \"moved\" row must be a whole number from 1 to 2"},
        {"short row of every column",
         R"({"tables": [{"name": "T", "columns": [{"name": "A", "type": "long"}, {"name": "B", "type": "long"}],
                           "rows": [[1, 2]], "layout": {"short": [[1, 2]]}}]})",
         "\"short\", row 1: the columns held must be a whole number from 1 to 1"},
        {"null boolean",
         R"({"tables": [{"name": "T", "columns": [{"name": "A", "type": "boolean"}], "rows": [[null]]}]})",
         "Table \"T\", column \"A\", row 1: a Yes/No column cannot hold Null"},
    };
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.mdb"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = mkdb({output, writeText(dir, QStringLiteral("bad.json"), c.json)});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_FALSE(QFile::exists(output)) << "a failed run left a file";
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("bad.json")});
}

TEST(MkdbTool, UsageErrorsExitWith2) {
    QTemporaryDir dir;
    const QString description = writeText(dir, QStringLiteral("d.json"), R"({"tables": []})");
    EXPECT_EQ(mkdb({}).exitCode, 2);
    EXPECT_EQ(mkdb({dir.filePath(QStringLiteral("a.mdb"))}).exitCode, 2);
    EXPECT_EQ(mkdb({QStringLiteral("--no-such-option"), dir.filePath(QStringLiteral("a.mdb")), description})
                  .exitCode,
              2);
    const auto missing =
        mkdb({dir.filePath(QStringLiteral("a.mdb")), dir.filePath(QStringLiteral("missing.json"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("cannot read")) << missing.err.toStdString();
    const auto help = mkdb({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("\"generate\"") && help.out.contains("\"layout\""))
        << "the description format is documented in --help";
}

TEST(MkdbTool, AFailedRunKeepsTheExistingOutput) {
    QTemporaryDir dir;
    const QString output = writeText(dir, QStringLiteral("keep.mdb"), "previous");
    const auto r =
        mkdb({output, writeText(dir, QStringLiteral("bad.json"),
                                R"({"tables": [{"name": "T", "columns": [{"name": "A", "type": "byte"}],
                                               "rows": [[1], [256]]}]})")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("column \"A\", row 2")) << r.err.toStdString();
    QFile kept(output);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("previous"));
}

}  // namespace
