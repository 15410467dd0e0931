#include "DocumentWriter.h"

#include "DocWriter.h"
#include "OdtWriter.h"
#include "OoxmlWriter.h"
#include "RtfWriter.h"
#include "TextWriter.h"
#include "shell/Failure.h"

#include <QFileInfo>
#include <QSaveFile>

namespace qm {

namespace {

struct FormatName {
    DocumentFormat format;
    QLatin1String name;
};

constexpr FormatName kFormatNames[] = {
    {DocumentFormat::Docx, QLatin1String("docx")}, {DocumentFormat::Doc, QLatin1String("doc")},
    {DocumentFormat::Odt, QLatin1String("odt")},   {DocumentFormat::Rtf, QLatin1String("rtf")},
    {DocumentFormat::Txt, QLatin1String("txt")},
};

}  // namespace

DocumentFormat DocumentFormatForPath(const QString& path) {
    // The text after the last dot of the file name (not of a folder's name).
    const QString suffix = QFileInfo(path).suffix();
    return ParseDocumentFormat(suffix).value_or(DocumentFormat::Docx);
}

std::optional<DocumentFormat> ParseDocumentFormat(const QString& name) {
    const QStringView bare = name.startsWith(QLatin1Char('.')) ? QStringView(name).mid(1) : QStringView(name);
    for (const FormatName& entry : kFormatNames) {
        if (bare.compare(entry.name, Qt::CaseInsensitive) == 0)
            return entry.format;
    }
    return std::nullopt;
}

QString DocumentFormatName(DocumentFormat format) {
    for (const FormatName& entry : kFormatNames) {
        if (entry.format == format)
            return entry.name;
    }
    return QStringLiteral("docx");
}

std::unique_ptr<DocumentWriter> DocumentWriterFor(DocumentFormat format) {
    switch (format) {
        case DocumentFormat::Doc:
            return std::make_unique<DocWriter>();
        case DocumentFormat::Odt:
            return std::make_unique<OdtWriter>();
        case DocumentFormat::Rtf:
            return std::make_unique<RtfWriter>();
        case DocumentFormat::Txt:
            return std::make_unique<TextWriter>();
        case DocumentFormat::Docx:
            break;
    }
    return std::make_unique<OoxmlWriter>();
}

std::unique_ptr<DocumentWriter> DocumentWriterFor(const QString& path) {
    return DocumentWriterFor(DocumentFormatForPath(path));
}

namespace {

[[noreturn]] void failSave(const QString& path, const QString& reason, long number = 0) {
    throw Failure(QStringLiteral("Could not save '%1': %2").arg(path, reason), number);
}

}  // namespace

void SaveAtomically(const QString& path, const std::function<void(QIODevice& device)>& write) {
    if (path.isEmpty())
        failSave(path, QStringLiteral("No file name was given"));
    if (QFileInfo(path).isDir())
        failSave(path, QStringLiteral("It is a folder"));
    // QSaveFile writes to a new file with an unpredictable name beside the
    // target, syncs it and renames it over the target on commit; the default
    // refusal to write in place keeps that true for read-only folders.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        failSave(path, file.errorString());
    try {
        write(file);
    } catch (const Failure& failure) {
        file.cancelWriting();
        failSave(path, failure.description(), failure.number());
    }
    if (!file.commit())
        failSave(path, file.errorString());
}

}  // namespace qm
