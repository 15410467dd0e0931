#pragma once

#include "TextSpool.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QIODevice;

namespace qm {

// What a document holds when it is saved.
struct DocumentContent {
    std::vector<TextSnapshot> texts;  // the typed texts, one after another
    // Table: the texts are the rows of one table (TextSpool::appendRow), and
    // headerRow says whether the first one is a header row, repeated at the
    // top of every page (DocumentTable.h).
    DocumentLayout layout = DocumentLayout::Lines;
    bool headerRow = false;
    QDateTime created;   // when the document was added
    QDateTime modified;  // when it is saved
};

// Writes a document in one file format. Writers write to a device so a save
// can go through a temporary file and tests can hand them a failing one.
class DocumentWriter {
  public:
    virtual ~DocumentWriter() = default;
    // The device is open for writing, empty and at its start. Throws
    // qm::Failure whose description is the reason (e.g. the device's error).
    virtual void write(const DocumentContent& content, QIODevice& device) const = 0;
};

// What the caller of a save may add around it: begin() comes before anything
// is written, mayCommit() when the new file is complete and about to replace
// the old one (false: it is thrown away, and the save fails with the reason
// given), end(committed) when the save is over, however it ended.
class SaveGuard {
  public:
    virtual ~SaveGuard() = default;
    virtual void begin() = 0;
    virtual bool mayCommit(QString& reason) = 0;
    virtual void end(bool committed) = 0;
};

// Saves atomically: write gets a new temporary file beside path, which
// replaces path only when write returned and everything reached the disk. On
// any failure the previous file at path (if any) is untouched, no temporary
// file is left, and qm::Failure says "Could not save '<path>': <reason>".
// guard, when given, is asked before the new file replaces the old one.
void SaveAtomically(const QString& path, const std::function<void(QIODevice& device)>& write,
                    SaveGuard* guard = nullptr);

}  // namespace qm
