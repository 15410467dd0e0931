// The real Qt message boxes and file dialogs, answered by a timer so nothing
// blocks; and the keyring store where no keyring can be reached.

#include "QtPrinting.h"
#include "common/TestSupport.h"
#include "pages/KeychainSecretStore.h"
#include "pages/QtDialogs.h"
#include "pages/StartUp.h"

#include <sys/stat.h>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

namespace {

// Calls inspect with the modal dialog once it shows.
void whenModalShows(std::function<void(QWidget*)> inspect) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, inspect] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            inspect(modal);
        }
    });
    poll->start(10);
}

TEST(QtMessageBoxes, ShowTheTextWithOneOkButtonUnderTheApplicationTitle) {
    qm::SetApplicationTitle();
    qm::QtMessageBoxes boxes;
    QString title, text;
    int buttons = -1;
    QMessageBox::Icon icon = QMessageBox::Critical;
    whenModalShows([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        box->button(QMessageBox::Ok)->click();
    });
    static_cast<qm::MessageBoxes&>(boxes).message(QStringLiteral("first\r\n\r\nsecond"));
    EXPECT_EQ(title, QStringLiteral("Quillmerge"));
    EXPECT_EQ(text, QStringLiteral("first\n\nsecond"));
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, 1);
}

TEST(QtMessageBoxes, TheErrorReportIsAWarningTitledApplicationError) {
    qm::QtMessageBoxes boxes;
    qm::MessageBoxErrorSink sink(boxes);
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenModalShows([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->reject();  // the close control counts as OK
    });
    sink.show(qm::ErrorReport{QStringLiteral("Not a valid password."),
                              QStringLiteral("Form1.PushButton3_Click"), 100});
    EXPECT_EQ(title, QStringLiteral("Application Error"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_TRUE(text.startsWith(QStringLiteral(
        "Not a valid password.\nin Tabquill2021/08/31.Form1.PushButton3_Click at line 100\n\n")))
        << text.toStdString();
}

class QtFileDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QFile file(dir.filePath(QStringLiteral("existing.doc")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QTemporaryDir dir;
    qm::QtFileDialogs dialogs;
};

TEST_F(QtFileDialogs, CancelGivesNoName) {
    QString title;
    QStringList filters;
    whenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        dialog->reject();
    });
    qm::FileDialogRequest request;
    request.title = QStringLiteral("Select Access Database");
    request.nameFilters = {QStringLiteral("Microsoft Database (*.mdb *.accdb)")};
    EXPECT_EQ(dialogs.choose(request), QString());
    EXPECT_EQ(title, QStringLiteral("Select Access Database"));
    EXPECT_EQ(filters, request.nameFilters);
}

TEST_F(QtFileDialogs, SaveStartsOnTheLastChoiceAndReplacesWithoutAsking) {
    QString proposed;
    bool confirms = true;
    whenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        proposed = dialog->selectedFiles().value(0);
        confirms = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        static_cast<QDialog*>(dialog)->accept();
    });
    qm::FileDialogRequest request;
    request.mode = qm::FileDialogRequest::Mode::Save;
    request.fileName = dir.filePath(QStringLiteral("existing.doc"));
    EXPECT_EQ(dialogs.choose(request), dir.filePath(QStringLiteral("existing.doc")));
    EXPECT_EQ(proposed, dir.filePath(QStringLiteral("existing.doc")));
    EXPECT_FALSE(confirms);
}

// Opening takes existing files only: a typed name of a missing one gets the
// dialog's own "File not found." and the dialog stays open.
TEST_F(QtFileDialogs, OpenRefusesTheNameOfAMissingFile) {
    bool refused = false;
    whenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(dir.filePath(QStringLiteral("missing.mdb")));  // as if typed
        auto* answer = new QTimer(dialog);
        QObject::connect(answer, &QTimer::timeout, [&refused, answer] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                answer->stop();
                refused = true;
                box->button(QMessageBox::Ok)->click();
            }
        });
        answer->start(10);
        static_cast<QDialog*>(dialog)->accept();
        if (dialog->isVisible())
            dialog->reject();
    });
    qm::FileDialogRequest request;
    request.fileName = dir.filePath(QStringLiteral("existing.doc"));
    EXPECT_EQ(dialogs.choose(request), QString());
    EXPECT_TRUE(refused);
}

TEST(Keyring, WithNoSessionBusItGivesUpAfterTheFirstAskAndThePasswordStaysOwnerOnly) {
    // The test runs without a session bus (see CMakeLists.txt).
    QTemporaryDir dir;
    qm::KeychainSecretStore keyring(QStringLiteral("Quillmerge test"));
    const QString file = dir.filePath(QStringLiteral("Fennick.conf"));
    {
        qm::SettingsStore store(file, &keyring);
        EXPECT_EQ(store.ReadSetting(QStringLiteral("Password")), QString());
        EXPECT_FALSE(keyring.reachable()) << "a missing keyring is asked once, not again for the write";
        EXPECT_TRUE(store.WriteSetting(QStringLiteral("Password"), QStringLiteral("kept safe")));
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    qm::SettingsStore nextRun(file, &keyring);
    EXPECT_EQ(nextRun.ReadSetting(QStringLiteral("Password")), QStringLiteral("kept safe"));
}

}  // namespace
