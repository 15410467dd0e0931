#include "DocumentTestSupport.h"

#include "common/TestSupport.h"

#include <sys/resource.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryFile>
#include <csignal>

namespace qm::test {

int runProgram(const QString& program, const QStringList& arguments, QString* output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output != nullptr)
        *output = QString::fromUtf8(process.readAll());
    return process.exitCode();
}

QJsonObject inspectDocx(const QString& path, const std::vector<std::string>& lines,
                        const QString& extractTo) {
    QStringList arguments{QStringLiteral(QM_DOCX_INSPECTOR), path};
    QTemporaryFile linesFile;
    if (!lines.empty()) {
        QJsonArray hex;
        for (const std::string& line : lines)
            hex.append(QString::fromLatin1(QByteArray::fromStdString(line).toHex()));
        if (!linesFile.open()) {
            ADD_FAILURE() << "cannot create the lines file";
            return {};
        }
        linesFile.write(QJsonDocument(hex).toJson(QJsonDocument::Compact));
        linesFile.flush();
        arguments << QStringLiteral("--lines") << linesFile.fileName();
    }
    if (!extractTo.isEmpty())
        arguments << QStringLiteral("--extract") << extractTo;
    QProcess process;
    process.start(systemPython(), arguments);
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << "the document readers failed on " << path.toStdString() << ":\n"
                      << process.readAllStandardError().toStdString();
        return {};
    }
    QJsonParseError error;
    const QJsonDocument answer = QJsonDocument::fromJson(process.readAllStandardOutput(), &error);
    if (!answer.isObject())
        ADD_FAILURE() << "unreadable answer from the document readers: " << error.errorString().toStdString();
    return answer.object();
}

std::vector<QString> strings(const QJsonValue& array) {
    std::vector<QString> result;
    for (const QJsonValue& value : array.toArray())
        result.push_back(value.toString());
    return result;
}

void limitFileSize(std::uint64_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
}

void appendAll(TextSpool& spool, const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        spool.appendLine(line);
}

}  // namespace qm::test

// minizip keeps the central directory header of an entry whose local header
// could not be written (a full disk at that moment) and never frees it: about
// a hundred bytes per failed save, inside the library. Sanitizer builds would
// otherwise fail the failing-device tests on it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:zipOpenNewFileInZip4_64\n";
}
