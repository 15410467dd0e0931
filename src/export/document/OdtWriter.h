#pragma once

#include "DocumentWriter.h"

namespace qm {

// Writes an OpenDocument text document (.odt): a ZIP package whose first entry
// is the stored mimetype, then the manifest, meta.xml, styles.xml (Calibri
// 11 pt, no spacing between paragraphs, the page of the user's locale with
// one-inch margins, as in .docx files) and content.xml, deflated.
//
// One <text:p> per line of the text (DocumentText.h says how the text is
// carried over): <text:line-break/> for a line break inside a value,
// <text:tab/> for a tab, and <text:s/> wherever OpenDocument would otherwise
// collapse or drop blanks (leading, trailing and repeated ones), so every blank
// survives. Streams: content.xml is built and compressed as the text is read.
class OdtWriter : public DocumentWriter {
  public:
    void write(const DocumentContent& content, QIODevice& device) const override;
};

}  // namespace qm
