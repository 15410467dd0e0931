#include "DocumentTestSupport.h"

#include "common/ReadDocx.h"

#include <sys/resource.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryFile>
#include <csignal>

namespace qm::test {

QJsonObject inspectDocx(const QString& path, const std::vector<std::string>& lines,
                        const QString& extractTo) {
    QStringList options{QStringLiteral("--package")};
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
        options << QStringLiteral("--lines") << linesFile.fileName();
    }
    if (!extractTo.isEmpty())
        options << QStringLiteral("--extract") << extractTo;
    const auto docx = ReadDocx(path, options);
    return docx ? docx->answer : QJsonObject{};
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
