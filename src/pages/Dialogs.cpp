#include "Dialogs.h"

namespace qm {

bool CommonDialog::show(FileDialogRequest::Mode mode) {
    FileDialogRequest request;
    request.mode = mode;
    request.title = DialogTitle;
    request.nameFilters = QtNameFilters(Filter);
    request.fileName = FileName;
    const QString chosen = dialogs_.choose(request);
    if (chosen.isEmpty())
        return false;
    FileName = chosen;
    return true;
}

QStringList QtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (patterns.isEmpty())
            continue;
        // Qt reads the patterns from the parentheses at the end: replace the
        // ones the description shows by the real ones, separated by blanks.
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open >= 0 && description.endsWith(QLatin1Char(')')))
            description = description.left(open).trimmed();
        QStringList trimmed;
        for (const QString& pattern : patterns)
            trimmed << pattern.trimmed();
        result << (description.isEmpty() ? QString() : description + QLatin1Char(' ')) + QLatin1Char('(') +
                      trimmed.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return result;
}

QString DisplayText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

}  // namespace qm
