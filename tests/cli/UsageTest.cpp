// quillmerge-export's command line itself: what it accepts, what it refuses
// with exit status 2, and what --help tells; and the wizard's usage errors.

#include "CliSupport.h"

#include <QFile>
#include <QRegularExpression>

using namespace qm::clitest;

namespace {

const QByteArray kDatabase = R"({"tables": [
    {"name": "People", "columns": [{"name": "Id", "type": "long"}, {"name": "Name", "type": "text"}],
     "rows": [[1, "Ann"]]}]})";

}  // namespace

TEST(ExportUsage, UsageErrorsExitWithTwoAndWriteNothing) {
    QTemporaryDir dir;
    const QString db = makeDatabase(dir, QStringLiteral("people"), kDatabase);
    ASSERT_FALSE(db.isEmpty());
    const QString out = dir.filePath(QStringLiteral("out.docx"));
    struct Case {
        const char* what;
        QStringList arguments;
        const char* mentions;  // a word the message must contain, or nullptr
    };
    const Case cases[] = {
        {"no arguments", {}, "DATABASE"},
        {"database only", {db}, "--table"},
        {"no database",
         {QStringLiteral("--table"), QStringLiteral("People"), QStringLiteral("--output"), out},
         "DATABASE"},
        {"two databases",
         {db, db, QStringLiteral("--table"), QStringLiteral("People"), QStringLiteral("--output"), out},
         "DATABASE"},
        {"--list-tables and --table",
         {db, QStringLiteral("--list-tables"), QStringLiteral("--table"), QStringLiteral("People")},
         "--list-tables"},
        {"--list-tables and --output",
         {db, QStringLiteral("--list-tables"), QStringLiteral("--output"), out},
         "--list-tables"},
        {"--list-tables and --field",
         {db, QStringLiteral("--list-tables"), QStringLiteral("--field"), QStringLiteral("Id")},
         "--list-tables"},
        {"missing --output", {db, QStringLiteral("--table"), QStringLiteral("People")}, "--output"},
        {"--table without its value",
         {db, QStringLiteral("--output"), out, QStringLiteral("--table")},
         "table"},
        {"unknown option",
         {db, QStringLiteral("--table"), QStringLiteral("People"), QStringLiteral("--output"), out,
          QStringLiteral("--colour")},
         "colour"},
        // The password never comes from the command line, where other users could read it.
        {"--password",
         {db, QStringLiteral("--password"), QStringLiteral("secret"), QStringLiteral("--list-tables")},
         "password"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult r = runExport(c.arguments);
        EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        const QString firstLine = QString::fromUtf8(r.err).section(QLatin1Char('\n'), 0, 0);
        EXPECT_TRUE(firstLine.startsWith(QStringLiteral("quillmerge-export: "))) << r.err.toStdString();
        if (c.mentions) {
            EXPECT_TRUE(firstLine.contains(QLatin1String(c.mentions))) << r.err.toStdString();
        }
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST(ExportUsage, HelpDescribesEveryOptionAndTheEnvironment) {
    const RunResult r = runExport({QStringLiteral("--help")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    const QString help = QString::fromUtf8(r.out);
    for (const char* option :
         {"--list-tables", "--table", "--field", "--separator", "--no-header", "--output", "--password-file",
          "--help", "--version", "QUILLMERGE_PASSWORD", "DATABASE"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << "help does not mention " << option;
    // Whatever option README.md's command-line section teaches must be
    // explained by --help as well (other sections name options of other tools).
    QFile readme(QStringLiteral(QM_SOURCE_DIR "/README.md"));
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString whole = QString::fromUtf8(readme.readAll());
    const qsizetype from = whole.indexOf(QStringLiteral("\n## Command line"));
    ASSERT_GE(from, 0);
    const QString manual = whole.mid(from, whole.indexOf(QStringLiteral("\n## "), from + 1) - from);
    const QRegularExpression optionPattern(QStringLiteral("(?<![\\w-])--[a-z][a-z-]*[a-z]"));
    int documented = 0;
    for (auto it = optionPattern.globalMatch(manual); it.hasNext(); ++documented) {
        const QString option = it.next().captured();
        EXPECT_TRUE(help.contains(option))
            << "README.md mentions " << option.toStdString() << ", --help does not";
    }
    EXPECT_GE(documented, 7);
    // Scripts rely on the exit statuses, so they are documented too.
    EXPECT_TRUE(help.contains(QLatin1String("exit status"), Qt::CaseInsensitive));
}

TEST(ExportUsage, VersionGoesToStandardOutput) {
    const RunResult r = runExport({QStringLiteral("--version")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("quillmerge-export ")) << r.out.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
}

// The wizard refuses what it does not know as the export does, before any
// window (and, should it start after all, in a home of its own).
TEST(WizardUsage, AnUnknownOptionExitsWithTwo) {
    QTemporaryDir home;
    qm::test::ProcessOptions options;
    options.environment = ExportEnvironment();
    options.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    options.environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    options.environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                               QStringLiteral("unix:path=/nonexistent"));
    const RunResult r =
        qm::test::RunProcess(QStringLiteral(QM_WIZARD_PATH), {QStringLiteral("--unknown-option")}, options);
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("quillmerge: ") && r.err.contains("unknown-option")) << r.err.toStdString();
}
