#pragma once

// The formats the engine writes, and the one place where a format becomes its
// writer. Kept apart from DocumentWriter.h so that the writer interface does
// not pull in every writer.

#include "DocumentWriter.h"

#include <QString>
#include <memory>
#include <optional>

namespace qm {

// The document formats the engine writes.
enum class DocumentFormat {
    Docx,  // Office Open XML (WordprocessingML), OoxmlWriter.h
    Doc,   // Word 97-2003 binary, DocWriter.h
    Odt,   // OpenDocument text, OdtWriter.h
    Rtf,   // Rich Text Format, RtfWriter.h
    Txt,   // UTF-8 text with CR LF line ends, TextWriter.h
};

// The format a file name asks for, by its extension compared without regard to
// case: .doc, .odt, .rtf, .txt; .docx and every other name (none, or one this
// engine does not write) get Office Open XML.
DocumentFormat DocumentFormatForPath(const QString& path);

// The format named by a command-line value: "docx", "doc", "odt", "rtf" or
// "txt", in any case, with or without a leading dot. Nothing for other names.
std::optional<DocumentFormat> ParseDocumentFormat(const QString& name);

// The name ParseDocumentFormat reads, e.g. "doc".
QString DocumentFormatName(DocumentFormat format);

// The writer of a format; the one place where a format becomes a writer.
std::unique_ptr<DocumentWriter> DocumentWriterFor(DocumentFormat format);
// The writer for a file name: DocumentWriterFor(DocumentFormatForPath(path)).
std::unique_ptr<DocumentWriter> DocumentWriterFor(const QString& path);

}  // namespace qm
