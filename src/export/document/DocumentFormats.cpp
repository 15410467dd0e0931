#include "DocumentFormats.h"

#include "DocWriter.h"
#include "OdtWriter.h"
#include "OoxmlWriter.h"
#include "RtfWriter.h"
#include "TextWriter.h"

#include <QFileInfo>

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

}  // namespace qm
