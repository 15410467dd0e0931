#pragma once

// The document-engine operations the export run and the start-up check use,
// behind interfaces so tests can make any of them fail. NativeWord.h has the
// engine the program ships with.

#include "TextSpool.h"
#include "shell/Failure.h"

#include <QString>
#include <memory>

namespace qm {

class WordDocument {
  public:
    virtual ~WordDocument() = default;
    // Inserts the text at the selection, which in a new document is its start.
    virtual void TypeText(const TextSpool& text) = 0;
    // Inserts a table into the new document: a row per line of the spool
    // (TextSpool::appendRow), a cell per value; the first row is a header row,
    // repeated at the top of every page, when headerRow. Throws qm::Failure;
    // an engine that cannot make tables says so.
    virtual void TypeTable(const TextSpool& rows, bool headerRow) {
        (void)rows;
        (void)headerRow;
        throw Failure(QStringLiteral("This document engine cannot insert tables"));
    }
    // Stores the document under the path. Throws qm::Failure; a failed save
    // leaves any existing file at the path as it was.
    virtual void SaveAs(const QString& path) = 0;
    virtual void Close() = 0;
};

class WordApplication {
  public:
    virtual ~WordApplication() = default;
    virtual void setVisible(bool visible) = 0;
    // Documents.Add: a new, empty document.
    virtual std::unique_ptr<WordDocument> AddDocument() = 0;
    virtual void Quit() = 0;
};

// Creates application instances ("Word.Application"). Throws qm::Failure when
// the engine cannot start.
class WordProvider {
  public:
    virtual ~WordProvider() = default;
    virtual std::unique_ptr<WordApplication> CreateApplication() = 0;
};

}  // namespace qm
