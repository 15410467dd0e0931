#pragma once

// What a document shows of a line of an export (README, "What the document
// holds", "Document formats"); tests/e2e/e2e_support.py states it for Python.

#include <QString>

namespace qm::test {

// The paragraph of a line: a line break inside a value (CR LF, a lone CR or a
// lone LF) is one line break within the paragraph, "\n"; tabs and every blank
// are kept; what a document cannot hold is U+FFFD: C0 controls other than tab
// and the line breaks, U+FFFE and U+FFFF, a surrogate without its pair, and
// invalid UTF-8 (already U+FFFD in a QString made from it).
inline QString ShownInParagraph(const QString& line) {
    QString shown;
    shown.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char16_t c = line[i].unicode();
        if (c == u'\r' || c == u'\n') {
            shown += QLatin1Char('\n');
            if (c == u'\r' && i + 1 < line.size() && line[i + 1] == u'\n')
                ++i;
        } else if (QChar::isHighSurrogate(c) && i + 1 < line.size() && line[i + 1].isLowSurrogate()) {
            shown += line.mid(i, 2);
            ++i;
        } else if ((c < 0x20 && c != u'\t') || c == 0xFFFE || c == 0xFFFF || QChar::isSurrogate(c)) {
            shown += QChar(0xFFFD);
        } else {
            shown += QChar(c);
        }
    }
    return shown;
}

}  // namespace qm::test
