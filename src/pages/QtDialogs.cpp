#include "QtDialogs.h"

#include "pages/StartUp.h"

#include <unistd.h>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>
#include <utility>

namespace qm {

void QtMessageBoxes::message(const QString& text, MessageIcon icon, const QString& title) {
    QMessageBox box(owner_ ? owner_() : nullptr);
    box.setWindowTitle(title.isEmpty() ? ApplicationTitle() : title);
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayText(text));
    box.setIcon(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

QString QtFileDialogs::choose(const FileDialogRequest& request) {
    QFileDialog dialog(owner_ ? owner_() : nullptr, request.title);
    dialog.setWindowModality(Qt::WindowModal);
    const bool save = request.mode == FileDialogRequest::Mode::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The designed dialog never asked before replacing a file; neither does this one.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, save);
    dialog.setNameFilters(request.nameFilters);
    if (!request.fileName.isEmpty()) {
        const QFileInfo proposed(request.fileName);
        if (proposed.dir().exists())
            dialog.setDirectory(proposed.dir());
        dialog.selectFile(proposed.fileName());
    }
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void ImmediateProgramEnd::End() {
    if (auto step = std::exchange(lastStep_, nullptr))
        step();
    std::fflush(nullptr);
    ::_exit(0);
}

}  // namespace qm
