// The wizard's window closed, or a termination signal sent, while "Finish"
// runs: the program ends at once, as it was designed to, and leaves neither a
// temporary file nor a changed document. The wizard runs in a child process with the program's real end
// (which exits the process), on the offscreen platform.

#include "ReliabilitySupport.h"
#include "common/RecordPacing.h"
#include "export/document/NativeWord.h"
#include "pages/Form1.h"
#include "pages/Form2.h"
#include "pages/Form3.h"
#include "pages/Form4.h"
#include "pages/PageSupport.h"
#include "pages/QtDialogs.h"
#include "pages/Wizard.h"
#include "shell/Settings.h"
#include "shell/TerminationRequests.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace qm::reliability;

namespace {

const QByteArray kPrevious = "the previous document";

// Answers nothing: every box and dialog is a failure of this test.
class Unattended : public qm::MessageBoxes, public qm::FileDialogs {
  public:
    void message(const QString& text, qm::MessageIcon, const QString&) override {
        std::fprintf(stderr, "unexpected message: %s\n", text.toLocal8Bit().constData());
        ::_exit(4);
    }
    QString choose(const qm::FileDialogRequest&) override { ::_exit(5); }
};

// How the wizard is stopped: its window closed, or a signal sent to it.
struct Interruption {
    const char* name;
    int signal;  // 0: the window is closed
};

// The child: page 1 to page 4 for the table, then "Finish"; at the export's
// first pause (after a thousand records) the window is closed, or the signal
// sent. The program handles the signals as its main() does. Exit status 0
// comes from the program's own end; 3 means the export finished regardless.
[[noreturn]] void runWizardAndInterrupt(const QString& database, const QString& output, const QString& home,
                                        int reportFd, Interruption interruption) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "wizard";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    qm::SettingsStore settings(home + QStringLiteral("/Fennick.conf"));
    Unattended unattended;
    qm::NativeWordProvider word;
    qm::ImmediateProgramEnd program;
    qm::test::RecordPacing pacing(1000);
    qm::Wizard wizard({settings, unattended, unattended, word, program, home, QString(), &pacing});
    const qm::TerminationRequests terminations([&program](int) { program.End(); });
    wizard.Start();
    wizard.form1().Text1->setText(database);
    wizard.form1().PushButton3->click();
    qm::SetListIndex(*wizard.form2().List1, 0);
    wizard.form2().PushButton3->click();
    wizard.form3().PushButton6->click();  // ">>": every field
    wizard.form3().PushButton3->click();
    wizard.form4().Text1->setText(output);

    // Runs whenever the window takes input; the signal is heard at the pause after.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (wizard.form4().isExporting()) {
            closer.stop();
            (void)::write(reportFd, "interrupting the export\n", 24);
            if (interruption.signal)
                ::raise(interruption.signal);
            else
                wizard.window().close();
        }
    });
    closer.start(0);
    wizard.form4().PushButton4->click();  // "Finish"
    ::_exit(3);
}

}  // namespace

class WizardInterruption : public testing::TestWithParam<Interruption> {};

TEST_P(WizardInterruption, DuringAnExportLeavesNothingBehind) {
    QTemporaryDir dir, home, temporary;
    const QString database = dir.filePath(QStringLiteral("large.mdb"));
    makeDatabase(database, R"({"tables": [{"name": "Orders",
        "columns": [{"name": "Id", "type": "long"}, {"name": "CustomerName", "type": "text", "size": 40},
                    {"name": "Note", "type": "memo"}],
        "generate": {"count": 200000, "seed": 5}}]})");
    const QString out = dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    const QString document = out + QStringLiteral("/doc.docx");
    writeBytes(document, kPrevious);

    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    // A fork rather than RunProcess: the child runs this test's own wizard code, not a program.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(report[0]);
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));
        // Qt's own runtime folder would otherwise go to TMPDIR.
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
        runWizardAndInterrupt(database, document, home.path(), report[1], GetParam());
    }
    ::close(report[1]);
    char said[64] = {};
    const ssize_t got = ::read(report[0], said, sizeof said - 1);
    ::close(report[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: the export finished before the interruption";
    EXPECT_GT(got, 0);
    EXPECT_EQ(entriesOf(out), QStringList{QStringLiteral("doc.docx")});
    EXPECT_EQ(readBytes(document), kPrevious);
    EXPECT_EQ(entriesOf(temporary.path()), QStringList{});
}

INSTANTIATE_TEST_SUITE_P(ByWindowAndSignal, WizardInterruption,
                         testing::Values(Interruption{"WindowClosed", 0}, Interruption{"SIGTERM", SIGTERM},
                                         Interruption{"SIGINT", SIGINT}, Interruption{"SIGHUP", SIGHUP}),
                         [](const testing::TestParamInfo<Interruption>& info) { return info.param.name; });
