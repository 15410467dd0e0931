#pragma once

#include "DocumentWriter.h"

namespace qm {

// Writes a Rich Text Format document: one paragraph (\par) per line of the
// text (DocumentText.h says how the text is carried over), \line for a line
// break inside a value, \tab for a tab, and every character outside ASCII as a
// \uN escape followed by its fallback \'hh (two for a character beyond the
// Basic Multilingual Plane), so the file itself is plain ASCII. Calibri 11 pt, the page of the user's locale
// with one-inch margins, as in .docx files. Streams: the text goes out as it is read.
class RtfWriter : public DocumentWriter {
  public:
    void write(const DocumentContent& content, QIODevice& device) const override;
};

}  // namespace qm
