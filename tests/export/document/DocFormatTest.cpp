// Word 97-2003 documents read back by antiword, catdoc and wvWare, and by a
// reader of [MS-DOC] written in Python (read_document.py docfile) that also
// checks the structure Word relies on: FIB, piece table, property pages,
// stylesheet, section table. LibreOffice reads them in LibreOfficeTest.cpp.

#include "FormatTestSupport.h"
#include "common/TestSupport.h"
#include "export/document/DocWriter.h"
#include "shell/Failure.h"
#include "shell/TextMarks.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace qm {
namespace {

using namespace test;

struct Sample {
    const char* name;
    Lines lines;
};

void PrintTo(const Sample& sample, std::ostream* out) {
    *out << sample.name;
}

Lines concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class DocReaders : public ::testing::TestWithParam<Sample> {
  protected:
    QString write(const Lines& lines) {
        const QString path = dir_.filePath(QStringLiteral("sample.doc"));
        WriteDocument(lines, DocumentFormat::Doc, path);
        return path;
    }
    QTemporaryDir dir_;
};

// Every reader gives the document text. antiword drops blanks and tabs at the end of
// a line and catdoc drops empty lines; both show a line break inside a
// paragraph as a new line. None of the three shows characters beyond the
// Basic Multilingual Plane (the samples have none; AstralCharacters below).
TEST_P(DocReaders, EveryReaderGivesTheText) {
    const Lines& lines = GetParam().lines;
    const QString path = write(lines);
    const QStringList expected = ExpectedParagraphs(lines);

    const QJsonObject structure = ReadBack(QStringLiteral("docfile"), path);
    EXPECT_EQ(Strings(structure[QStringLiteral("problems")]), QStringList());
    EXPECT_EQ(Strings(structure[QStringLiteral("paragraphs")]), expected);
    EXPECT_EQ(Strings(ReadBack(QStringLiteral("wvware"), path)[QStringLiteral("paragraphs")]), expected);
    EXPECT_EQ(Strings(ReadBack(QStringLiteral("antiword"), path)[QStringLiteral("lines")]),
              AsAntiwordLines(expected));
    EXPECT_EQ(Strings(ReadBack(QStringLiteral("catdoc"), path)[QStringLiteral("lines")]),
              AsCatdocLines(expected));
}

INSTANTIATE_TEST_SUITE_P(Samples, DocReaders,
                         ::testing::Values(Sample{"Edges", EdgeLines()}, Sample{"Memo", MemoLines()},
                                           Sample{"ManyRecords", ManyLines(4000)},
                                           Sample{"Everything",
                                                  concat({EdgeLines(), MemoLines(), EdgeLines()})},
                                           Sample{"NoRecords", {}}, Sample{"OneEmptyLine", {""}},
                                           Sample{"OnlyNonLatin", {"Дмитрий", "東京"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DocFormat, AstralCharacters) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("astral.doc"));
    const Lines lines = concat({AstralLines(), EdgeLines()});
    WriteDocument(lines, DocumentFormat::Doc, path);
    const QJsonObject structure = ReadBack(QStringLiteral("docfile"), path);
    EXPECT_EQ(Strings(structure[QStringLiteral("problems")]), QStringList());
    EXPECT_EQ(Strings(structure[QStringLiteral("paragraphs")]), ExpectedParagraphs(lines));
}

// Latin-1 text is stored 8-bit and other text as UTF-16, each piece on whole
// sectors; scattered non-Latin letters do not cut the text into pieces.
TEST(DocFormat, PiecesFollowTheScripts) {
    struct Case {
        const char* name;
        Lines lines;
        int minPieces, maxPieces, minNarrow, maxNarrow;
    };
    Lines latin(3000, "Müller, café crème, 12 Main Street, 1974-09-21");
    Lines scattered;
    for (int i = 0; i < 3000; ++i)
        scattered.push_back(i % 5 == 0 ? "Łukasz " + std::to_string(i) : "Smith " + std::to_string(i));
    const Case cases[] = {
        {"Latin1", latin, 1, 1, 1, 1},           {"NonLatin", Lines(2000, "Дмитрий Ωmega 東京"), 1, 1, 0, 0},
        {"Scattered", scattered, 1, 1, 0, 0},    {"LongStretches", ManyLines(3000), 3, 1000, 2, 1000},
        {"Memo", MemoLines(), 3, 1000, 2, 1000},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".doc"));
        WriteDocument(c.lines, DocumentFormat::Doc, path);
        const QJsonObject structure = ReadBack(QStringLiteral("docfile"), path);
        EXPECT_EQ(Strings(structure[QStringLiteral("problems")]), QStringList());
        EXPECT_EQ(Strings(structure[QStringLiteral("paragraphs")]), ExpectedParagraphs(c.lines));
        const int pieces = structure[QStringLiteral("pieces")].toInt();
        const int narrow = structure[QStringLiteral("narrow")].toInt();
        EXPECT_GE(pieces, c.minPieces);
        EXPECT_LE(pieces, c.maxPieces);
        EXPECT_GE(narrow, c.minNarrow);
        EXPECT_LE(narrow, c.maxNarrow);
    }
}

std::string marked(const std::string& text, unsigned bits, const std::string& target = {}) {
    std::string out;
    marks::AppendEmphasis(out, bits);
    const bool link = !target.empty() && marks::AppendLinkStart(out, target);
    out += text;
    if (link)
        marks::AppendLinkEnd(out);
    marks::AppendEmphasis(out, 0);
    return out;
}

// Links are HYPERLINK fields and emphasis the runs' properties, read back
// from the field table and the character pages ("address|text", and
// "text|flags": b, i, u, c for colour); wvWare shows the links as links,
// antiword the text alone (catdoc shows a field's instruction as text).
TEST(DocFormat, LinksAndEmphasis) {
    struct Case {
        const char* name;
        Rows rows;  // one cell each: lines
        QStringList plain, links, looks;
    };
    const std::string quoted = "http://example.com/a?q=\"x\"&b=\\";
    Case many{"ManyPages", {}, {}, {}, {}};
    for (int i = 0; i < 3000; ++i) {
        const std::string n = std::to_string(i), shown = (i % 2 ? "Łukasz " : "site ") + n;
        const unsigned bits = static_cast<unsigned>(i % 7 + 1);
        many.rows.push_back({n + "," + marked(shown, 0, "http://example.com/" + n) + "," + marked(n, bits)});
        many.plain << QString::fromStdString(n + "," + shown + "," + n);
        many.links << QString::fromStdString("http://example.com/" + n + "|" + shown);
        many.looks << QString::fromStdString(shown + "|uc")
                   << QString::fromStdString(n + "|" + (bits & 1 ? "b" : "") + (bits & 2 ? "i" : "") +
                                             (bits & 4 ? "u" : ""));
    }
    const Case cases[] = {
        {"Link",
         {{"see " + marked("the site", 0, quoted) + " now"}, {"plain"}},
         {"see the site now", "plain"},
         {QString::fromStdString(quoted) + "|the site"},
         {"the site|uc"}},
        {"Emphasis",
         {{marked("Hi", marks::kBold) + " there " + marked("it", marks::kItalic) + "\r\n" +
           marked("u", marks::kUnderline) + marked("all", marks::kAllEmphasis)}},
         {"Hi there it\nuall"},
         {},
         {"Hi|b", "it|i", "u|u", "all|biu"}},
        {"BoldNonLatinLink",
         {{marked("Ωmega ", marks::kBold) + marked("Дмитрий", marks::kBold, "http://пример.рф/путь") +
           marked(" end", marks::kBold)}},
         {"Ωmega Дмитрий end"},
         {"http://пример.рф/путь|Дмитрий"},
         {"Ωmega |b", "Дмитрий|buc", " end|b"}},
        {"LinkInCell",
         {{"Name", "Web"}, {"Anna", marked("a@example.com", 0, "mailto:a@example.com")}},
         {},
         {"mailto:a@example.com|a@example.com"},
         {"a@example.com|uc"}},
        many,
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".doc"));
        Lines lines;
        for (const Lines& row : c.rows)
            lines.push_back(row.front());
        if (c.plain.isEmpty())
            WriteTable(c.rows, DocumentFormat::Doc, path);
        else
            WriteDocument(lines, DocumentFormat::Doc, path);
        const QJsonObject structure = ReadBack(QStringLiteral("docfile"), path);
        EXPECT_EQ(Strings(structure[QStringLiteral("problems")]), QStringList());
        EXPECT_EQ(Strings(structure[QStringLiteral("links")]), c.links);
        EXPECT_EQ(Strings(structure[QStringLiteral("looks")]), c.looks);
        if (c.plain.isEmpty())
            continue;
        EXPECT_EQ(Strings(structure[QStringLiteral("paragraphs")]), c.plain);
        EXPECT_EQ(Strings(ReadBack(QStringLiteral("antiword"), path)[QStringLiteral("lines")]),
                  AsAntiwordLines(c.plain));
        static const QRegularExpression anchor(QStringLiteral("<a href=\"[^\"]*\">|</a>"));
        QStringList wvware = Strings(ReadBack(QStringLiteral("wvware"), path)[QStringLiteral("paragraphs")]);
        EXPECT_EQ(wvware.join(QString()).count(QStringLiteral("<a href=\"")), c.links.size());
        EXPECT_EQ(wvware.replaceInStrings(anchor, QString()), c.plain);
    }
}

// Past the offset where the format can no longer start an 8-bit piece, text
// goes on as UTF-16; past the offsets it can address at all, the save fails
// and says why instead of writing a damaged document. The limits are lowered
// here; in real use they are 512 MiB, 1 GiB and 2 GiB.
TEST(DocFormat, LimitsOfTheFormat) {
    QTemporaryDir dir;
    const Lines lines = ManyLines(3000);
    {
        DocWriter::Options options;
        options.narrowPieceLimit = 64 * 1024;
        const QString path = dir.filePath(QStringLiteral("late.doc"));
        TextSpool spool;
        for (const std::string& line : lines)
            spool.appendLine(line);
        DocumentContent content;
        content.texts.push_back(spool.snapshot());
        SaveAtomically(path, [&](QIODevice& device) { DocWriter(options).write(content, device); });
        const QJsonObject structure = ReadBack(QStringLiteral("docfile"), path);
        EXPECT_EQ(Strings(structure[QStringLiteral("problems")]), QStringList());
        EXPECT_EQ(Strings(structure[QStringLiteral("paragraphs")]), ExpectedParagraphs(lines));
        EXPECT_EQ(Strings(ReadBack(QStringLiteral("wvware"), path)[QStringLiteral("paragraphs")]),
                  ExpectedParagraphs(lines));
    }
    const auto tooLarge = [&](DocWriter::Options options, const char* name) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        TextSpool spool;
        for (const std::string& line : lines)
            spool.appendLine(line);
        DocumentContent content;
        content.texts.push_back(spool.snapshot());
        try {
            SaveAtomically(path, [&](QIODevice& device) { DocWriter(options).write(content, device); });
            ADD_FAILURE() << name << " was written";
        } catch (const Failure& failure) {
            EXPECT_TRUE(
                failure.description().contains(QStringLiteral("too large for the Word 97-2003 format")))
                << failure.description().toStdString();
        }
        EXPECT_FALSE(QFile::exists(path));
    };
    DocWriter::Options small;
    small.maxStreamBytes = 100 * 1024;
    tooLarge(small, "stream.doc");
    DocWriter::Options wide;
    wide.widePieceLimit = 64 * 1024;
    tooLarge(wide, "wide.doc");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("late.doc")});
}

}  // namespace
}  // namespace qm
