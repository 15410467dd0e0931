// Database passwords of every length Jet 4 allows and beyond, non-ASCII ones,
// and ones that look like connection-string syntax. The rule for a typed
// password longer than the 20 characters Jet 4 keeps: it is compared whole, so
// it never opens a database (cutting it to 20 would let wrong passwords in).

#include "ReliabilitySupport.h"
#include "database/Ado.h"
#include "database/ConnectionString.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace qm::reliability;

namespace {

QByteArray describedWithPassword(const QString& password) {
    QJsonObject description{
        {QStringLiteral("tables"),
         QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("T")},
                                {QStringLiteral("columns"),
                                 QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("Id")},
                                                        {QStringLiteral("type"), QStringLiteral("long")}}}},
                                {QStringLiteral("rows"), QJsonArray{QJsonArray{42}}}}}}};
    if (!password.isEmpty())
        description.insert(QStringLiteral("password"), password);
    return QJsonDocument(description).toJson();
}

}  // namespace

TEST(Passwords, EveryLengthJetKeepsOpensWithItselfAndWithNothingElse) {
    QTemporaryDir dir;
    const QString twenty = QStringLiteral("abcdefghijklmnopqrst");
    const QStringList passwords = {
        QStringLiteral("x"),
        QStringLiteral("fourteen chars"),
        twenty,
        QString::fromUtf16(
            u"P\u00e4ssw\u00f6rd \u6771\u4eac \u00df\u00e9\u00f1\u00fc\u20ac\u00a7\u00b5\u00f8"),
        QString::fromUtf16(u"\U0001F600\U0001F601\U0001F602\U0001F603\U0001F604"
                           u"\U0001F605\U0001F606\U0001F607\U0001F608\U0001F609"),
        QStringLiteral("=starts with equals"),
        QStringLiteral("\"quoted; with semi"),
        QStringLiteral("' single"),
        QStringLiteral(" blanks around "),
    };
    const QString output = dir.filePath(QStringLiteral("out.docx"));
    for (const QString& password : passwords) {
        SCOPED_TRACE(password.toStdString());
        ASSERT_LE(password.size(), 20);
        const QString database = dir.filePath(QStringLiteral("locked.mdb"));
        makeDatabase(database, describedWithPassword(password));
        const QStringList exportArguments{database, QStringLiteral("--table"), QStringLiteral("T"),
                                          QStringLiteral("--output"), output};

        const Outcome right = runExport(exportArguments, ExportEnvironment(password));
        ASSERT_TRUE(right.exited(0)) << right.err.toStdString();
        EXPECT_EQ(DocxParagraphs(output), (QStringList{QStringLiteral("Id"), QStringLiteral("42")}));
        QFile::remove(output);

        const QStringList wrongOnes{QString(), password.chopped(1), password + QLatin1Char('x'),
                                    password.toUpper() == password ? password.toLower() : password.toUpper(),
                                    (password + password + password).left(40)};
        for (const QString& wrong : wrongOnes) {
            if (wrong == password)
                continue;
            const Outcome refused = runExport(exportArguments, ExportEnvironment(wrong));
            EXPECT_TRUE(refused.exited(1)) << wrong.toStdString();
            EXPECT_TRUE(IsOneLineMessage(refused.err, {QStringLiteral("Not a valid password.")}));
            EXPECT_FALSE(QFile::exists(output));
            // Neither the typed nor the stored password is ever shown.
            for (const QString& secret : {wrong, password}) {
                if (secret.size() > 2) {
                    EXPECT_FALSE(refused.err.contains(secret.toUtf8()));
                    EXPECT_FALSE(refused.out.contains(secret.toUtf8()));
                }
            }
        }
    }
}

TEST(Passwords, LongerThanJetKeepsIsRefusedByTheWriterAndNeverMatches) {
    QTemporaryDir dir;
    const QString forty = QStringLiteral("0123456789").repeated(4);
    EXPECT_THROW(makeDatabase(dir.filePath(QStringLiteral("long.mdb")), describedWithPassword(forty)),
                 qm::Failure);
    // Its first 20 characters are the stored password: the whole typed text is still wrong.
    const QString database = dir.filePath(QStringLiteral("twenty.mdb"));
    makeDatabase(database, describedWithPassword(forty.left(20)));
    const Outcome outcome = runExport({database, QStringLiteral("--list-tables")}, ExportEnvironment(forty));
    EXPECT_TRUE(outcome.exited(1));
    EXPECT_TRUE(IsOneLineMessage(outcome.err, {QStringLiteral("Not a valid password.")}));
    // A database without a password opens whatever is typed, as Jet does.
    const QString open = dir.filePath(QStringLiteral("open.mdb"));
    makeDatabase(open, describedWithPassword(QString()));
    EXPECT_TRUE(runExport({open, QStringLiteral("--list-tables")}, ExportEnvironment(forty)).exited(0));
}

TEST(Passwords, PathsAndPasswordsSurviveTheConnectionString) {
    // Found by fuzzing: a value starting with '=' ran into its keyword ("==" is
    // an escaped '='), so such a path or password could not be opened.
    const QStringList values = {
        QStringLiteral("=x.mdb"),
        QStringLiteral("=="),
        QStringLiteral("a;b"),
        QStringLiteral("\"q\""),
        QStringLiteral("'q"),
        QStringLiteral(" lead"),
        QStringLiteral("trail "),
        QStringLiteral("k=v;Provider=x"),
        QString(),
        QString::fromUtf16(u"\u00e4\U0001F600"),
    };
    for (const QString& path : values) {
        for (const QString& password : values) {
            SCOPED_TRACE(path.toStdString() + " / " + password.toStdString());
            const QString text = qm::BuildConnectionString(path, password);
            const qm::ConnectionProperties parsed = qm::ParseConnectionString(text);
            EXPECT_EQ(parsed.dataSource, path) << text.toStdString();
            EXPECT_EQ(parsed.password, password) << text.toStdString();
        }
    }
}

TEST(Passwords, TheEnvironmentsCopyIsWipedOnceRead) {
    QTemporaryDir dir, out;
    const QString password = QStringLiteral("visible-in-environ");
    const QString database = dir.filePath(QStringLiteral("locked.mdb"));
    makeDatabase(database, R"({"password": "visible-in-environ", "tables": [{"name": "T",
        "columns": [{"name": "Id", "type": "long"}], "rows": [[1]]}]})");
    // What any process of the same user can read while the export runs,
    // looked at when the program, its database open, creates its document.
    QByteArray environment;
    ExportOptions options;
    options.environment.insert(QStringLiteral("QUILLMERGE_PASSWORD"), password);
    stopAtOpenUnder(options, out.path(), [&](pid_t pid) {
        EXPECT_TRUE(holdsFileUnder(pid, database));
        environment = readBytes(QStringLiteral("/proc/%1/environ").arg(pid));
    });
    const Outcome outcome = runExport({database, QStringLiteral("--table"), QStringLiteral("T"),
                                       QStringLiteral("--output"), out.filePath(QStringLiteral("out.docx"))},
                                      options);
    ASSERT_TRUE(outcome.exited(0)) << outcome.err.toStdString();
    ASSERT_TRUE(environment.contains("PATH=")) << "the export was never stopped to be looked at";
    EXPECT_FALSE(environment.contains(password.toUtf8()));
}
