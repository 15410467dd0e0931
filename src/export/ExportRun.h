#pragma once

#include "database/ConnectionString.h"
#include "export/document/WordAutomation.h"
#include "shell/ErrorReport.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

namespace qm {

// What an export reads, each item at the moment the step that needs it runs:
// the wizard's boxes, or the command line's options.
class ExportInputs : public DatabaseLocation {
  public:
    virtual QString selectedTable() const = 0;
    // Back-quoted field names joined by ", " (see BuildSelectedFields).
    virtual QString selectedFields() const = 0;
    virtual QString outputPath() const = 0;
    // Read at the start of every line, so a change takes effect from the next line on.
    virtual QString separator() const = 0;
    virtual bool headerLine() const = 0;
    // Lines: a paragraph per record, the values joined by the separator.
    // Table: one table, a row per record and a cell per value; the separator
    // is not used and the header line becomes a header row. Read once, when
    // the export starts.
    virtual DocumentLayout layout() const { return DocumentLayout::Lines; }
    // The values as the table stores them instead of what Access shows
    // (Recordset::ShowStoredValues). Read once, when the records are opened.
    virtual bool storedValues() const { return false; }
};

// When a long export pauses to report its progress and let a window repaint
// and take input.
class ExportPacing {
  public:
    virtual ~ExportPacing() = default;
    // Asked before each record is read: true when the export should pause now.
    virtual bool pauseNow() = 0;
};

// The program's pacing: a pause whenever kPauseIntervalMs of reading have passed
// since the last one, so a window stays responsive however fast or slow the
// records come. The first question starts the clock.
class TimedPacing : public ExportPacing {
  public:
    static constexpr qint64 kPauseIntervalMs = 25;
    bool pauseNow() override;

  private:
    QElapsedTimer sincePause_;
};

// Told about progress while the records are read, at each pause of the pacing.
class ExportObserver {
  public:
    virtual ~ExportObserver() = default;
    virtual void progress(long long recordsDone, long long recordCount) {
        (void)recordsDone;
        (void)recordCount;
    }
    virtual void keepResponsive() {}
    // Once every record is read: how many values could not be decoded and
    // went into the document as placeholders.
    virtual void placeholders(long long count) { (void)count; }
    // When to pause; nullptr for the program's TimedPacing.
    virtual ExportPacing* pacing() { return nullptr; }
};

// "`a`, `b`": each name between back-quotes, joined by a comma and a space.
QString BuildSelectedFields(const QStringList& fieldNames);

// Removes the trailing separator from a line: the last separatorLength bytes,
// unless the line is shorter.
void RemoveTrailingSeparator(std::string& line, std::size_t separatorLength);

// The export behind "Finish": lines 112 to 188 of the finish procedure, whose
// other lines (the "Exit" test, the pointer, the caption) belong to the page.
// Reads the chosen fields of every record into a spooled document text, then
// has the engine store it. Every failure is reported through proc with its
// line. When the database could not be read completely no document is written
// at all, so an existing file is never replaced by an empty one. Returns true
// only when the document was saved.
bool RunExport(Procedure& proc, const ExportInputs& inputs, WordProvider& word,
               ExportObserver* observer = nullptr);

}  // namespace qm
