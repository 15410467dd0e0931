// OpenDocument, RTF and plain text documents read back: .odt by a reader of
// the package written in Python (read_document.py odtfile, which also checks
// the package: mimetype first and stored, well-formed XML) and by pandoc; .rtf
// by pandoc and by a look at the file itself; .txt byte for byte and by
// Python's strict UTF-8 decoder. LibreOffice reads all three in
// LibreOfficeTest.cpp.

#include "FormatTestSupport.h"
#include "common/TestSupport.h"

#include <QTemporaryDir>

namespace qm {
namespace {

using namespace test;

Lines concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Sample {
    const char* name;
    Lines lines;
};

void PrintTo(const Sample& sample, std::ostream* out) {
    *out << sample.name;
}

const auto kSamples = ::testing::Values(Sample{"Edges", concat({EdgeLines(), AstralLines()})},
                                        Sample{"Memo", MemoLines()}, Sample{"ManyRecords", ManyLines(3000)},
                                        Sample{"NoRecords", {}}, Sample{"EmptyLines", {"", "", ""}});

class OdtReaders : public ::testing::TestWithParam<Sample> {};

// pandoc collapses blanks and tabs and drops blanks at either end of a
// paragraph (its document model has no such thing as a run of blanks); the
// package reader applies OpenDocument's own white-space rules and sees every
// blank, tab and empty paragraph.
TEST_P(OdtReaders, EveryReaderGivesTheText) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.odt"));
    WriteDocument(GetParam().lines, DocumentFormat::Odt, path);
    const QStringList expected = ExpectedParagraphs(GetParam().lines);
    const QJsonObject package = ReadBack(QStringLiteral("odtfile"), path);
    EXPECT_EQ(Strings(package[QStringLiteral("problems")]), QStringList());
    EXPECT_EQ(Strings(package[QStringLiteral("paragraphs")]), expected);
    EXPECT_EQ(
        AsPandocParagraphs(Strings(ReadBack(QStringLiteral("pandoc"), path)[QStringLiteral("paragraphs")])),
        AsPandocParagraphs(expected));
}

INSTANTIATE_TEST_SUITE_P(Samples, OdtReaders, kSamples,
                         [](const auto& info) { return std::string(info.param.name); });

class RtfReaders : public ::testing::TestWithParam<Sample> {};

// pandoc's RTF reader, besides its white-space model, shows each half of a
// surrogate pair as U+FFFD.
TEST_P(RtfReaders, PandocGivesTheTextAndTheFileIsPlainAscii) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.rtf"));
    WriteDocument(GetParam().lines, DocumentFormat::Rtf, path);
    const QStringList expected = ExpectedParagraphs(GetParam().lines);
    EXPECT_EQ(
        AsPandocParagraphs(Strings(ReadBack(QStringLiteral("pandoc"), path)[QStringLiteral("paragraphs")])),
        AsPandocParagraphs(WithSplitSurrogates(expected)));

    const QByteArray rtf = ContentsOf(path);
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi"));
    int depth = 0;
    bool balanced = true;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        EXPECT_TRUE(c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F)) << "byte " << int(c) << " at " << i;
        if (c == '\\') {
            ++i;  // an escaped character or the start of a control word
        } else if (c == '{') {
            ++depth;
        } else if (c == '}') {
            balanced = balanced && --depth >= 0;
        }
        if (HasFailure())
            break;
    }
    EXPECT_TRUE(balanced && depth == 0) << "unbalanced braces";
    // One paragraph mark between paragraphs, none after the last.
    EXPECT_EQ(rtf.count("\\par\r\n"), expected.size() - 1);
}

INSTANTIATE_TEST_SUITE_P(Samples, RtfReaders, kSamples,
                         [](const auto& info) { return std::string(info.param.name); });

class TxtFile : public ::testing::TestWithParam<Sample> {};

// The text file is the document text, byte for byte: a value's own line breaks
// and control characters as typed, CR LF after every line, no byte order mark.
TEST_P(TxtFile, IsTheDocumentTextExactly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.txt"));
    WriteDocument(GetParam().lines, DocumentFormat::Txt, path);
    QByteArray expected;
    for (const std::string& line : GetParam().lines)
        expected += QByteArray::fromStdString(line) + "\r\n";
    EXPECT_EQ(ContentsOf(path), expected);
    QStringList lines;
    for (const std::string& line : GetParam().lines)
        lines += QString::fromStdString(line).split(QStringLiteral("\r\n"));
    EXPECT_EQ(Strings(ReadBack(QStringLiteral("text"), path)[QStringLiteral("lines")]), lines);
}

INSTANTIATE_TEST_SUITE_P(Samples, TxtFile, kSamples,
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qm
