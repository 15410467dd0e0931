// LibreOffice reads every format back (it converts each document to .docx,
// which python-docx reads): the one reader here that shows every character,
// blank, tab, empty paragraph and line break of .docx, .doc, .odt and .rtf
// files. The same tricky text through every writer must give the same text.
// Slow (LibreOffice takes seconds to start), so these tests carry the ctest
// label "slow"; they still run with the others.

#include "FormatTestSupport.h"
#include "common/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace qm {
namespace {

using namespace test;

Lines everything() {
    Lines all = EdgeLines();
    for (const Lines& part : {AstralLines(), MemoLines(), ManyLines(2000), EdgeLines()})
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class LibreOffice : public ::testing::TestWithParam<DocumentFormat> {};

TEST_P(LibreOffice, ReadsTheDocumentText) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.") + DocumentFormatName(GetParam()));
    const Lines lines = everything();
    WriteDocument(lines, GetParam(), path);
    const QStringList paragraphs =
        Strings(ReadBack(QStringLiteral("libreoffice"), path,
                         dir.filePath(QStringLiteral("work")))[QStringLiteral("paragraphs")]);
    EXPECT_EQ(paragraphs, ExpectedParagraphs(lines));
}

INSTANTIATE_TEST_SUITE_P(Formats, LibreOffice,
                         ::testing::Values(DocumentFormat::Docx, DocumentFormat::Doc, DocumentFormat::Odt,
                                           DocumentFormat::Rtf),
                         [](const auto& info) { return DocumentFormatName(info.param).toStdString(); });

// Links and emphasis (shell/TextMarks.h) as LibreOffice reads them: a link
// works (LibreOffice writes the address in its normal form), bold, italic
// and underline are where they were.
class LibreOfficeMarks : public ::testing::TestWithParam<DocumentFormat> {};

TEST_P(LibreOfficeMarks, KeepsLinksAndEmphasis) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("marks.") + DocumentFormatName(GetParam()));
    const Lines lines = {
        "Visit \xFE<http://example.com/a?b=1&c=2\xFE>Example & co\xFE/ now",
        "\xFE"
        "1Bold\xFE"
        "0 and \xFE"
        "2italic\xFE"
        "6 both\xFE"
        "0 \xFE"
        "4under\xFE"
        "0 plain",
        "\xFE<mailto:ann@example.com\xFE>ann@example.com\xFE/",
    };
    WriteDocument(lines, GetParam(), path);
    const QJsonObject marks =
        ReadBack(QStringLiteral("libreoffice-marks"), path, dir.filePath(QStringLiteral("work")));
    const auto links = marks[QStringLiteral("links")].toArray();
    ASSERT_EQ(links.size(), 2) << QJsonDocument(marks).toJson().toStdString();
    EXPECT_EQ(Strings(links[0]),
              (QStringList{QStringLiteral("Example & co"), QStringLiteral("http://example.com/a?b=1&c=2")}));
    EXPECT_EQ(Strings(links[1]),
              (QStringList{QStringLiteral("ann@example.com"), QStringLiteral("mailto:ann@example.com")}));
    EXPECT_EQ(Strings(marks[QStringLiteral("bold")]), QStringList{QStringLiteral("Bold")});
    EXPECT_EQ(Strings(marks[QStringLiteral("italic")]), QStringList{QStringLiteral("italic both")});
    // Links are underlined too, as Word's are.
    EXPECT_EQ(Strings(marks[QStringLiteral("underline")]),
              (QStringList{QStringLiteral("Example & co"), QStringLiteral(" both"), QStringLiteral("under"),
                           QStringLiteral("ann@example.com")}));
}

INSTANTIATE_TEST_SUITE_P(Formats, LibreOfficeMarks,
                         ::testing::Values(DocumentFormat::Docx, DocumentFormat::Doc, DocumentFormat::Odt,
                                           DocumentFormat::Rtf),
                         [](const auto& info) { return DocumentFormatName(info.param).toStdString(); });

// A text file has no paragraphs of its own: LibreOffice starts one at every
// CR LF, a value's own included. It reads a lone CR or LF, and control
// characters, its own way (a lone LF as a line break, a form feed as a page
// break), so records with those are left out here; TextFormatsTest.cpp
// compares them byte for byte.
TEST(LibreOfficeText, ReadsTheTextFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.txt"));
    static const QRegularExpression controls(QStringLiteral("[\\x00-\\x08\\x0A-\\x1F]"));
    Lines lines;
    for (const std::string& line : everything()) {
        QString text = QString::fromStdString(line);
        text.remove(QStringLiteral("\r\n"));
        if (!text.contains(controls))
            lines.push_back(line);
    }
    WriteDocument(lines, DocumentFormat::Txt, path);
    QStringList expected;
    for (const std::string& line : lines)
        expected += QString::fromStdString(line).split(QStringLiteral("\r\n"));
    const QStringList paragraphs =
        Strings(ReadBack(QStringLiteral("libreoffice"), path,
                         dir.filePath(QStringLiteral("work")))[QStringLiteral("paragraphs")]);
    EXPECT_EQ(paragraphs, expected);
}

}  // namespace
}  // namespace qm
