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
#include <QJsonArray>
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

std::string linked(const std::string& target, const std::string& text) {
    std::string out;
    marks::AppendLinkStart(out, target);
    out += text;
    marks::AppendLinkEnd(out);
    return out;
}

std::string emphasised(unsigned bits, const std::string& text) {
    std::string out;
    marks::AppendEmphasis(out, bits);
    out += text;
    marks::AppendEmphasis(out, 0);
    return out;
}

std::string withoutMarks(std::string_view line) {
    std::string text;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t mark = marks::MarkLength(line.substr(i));
        text += mark > 0 ? std::string_view() : line.substr(i, 1);
        i += std::max<std::size_t>(mark, 1);
    }
    return text;
}

// Links are HYPERLINK fields and emphasis the runs' properties, read back
// from the field table and the character pages; wvWare shows the links as
// links, antiword the text alone (catdoc, which shows a field's instruction
// as text, is left out).
TEST(DocFormat, LinksAndEmphasis) {
    struct Case {
        const char* name;
        Rows rows;  // one cell each: lines
        QJsonArray links;
        QJsonArray looks;
    };
    const std::string quoted = "http://example.com/a?q=\"x\"&b=\\";
    Rows many;
    QJsonArray manyLinks, manyLooks;
    for (int i = 0; i < 3000; ++i) {
        const std::string n = std::to_string(i);
        const std::string shown = i % 2 ? "Łukasz " + n : "site " + n;
        many.push_back({n + "," + linked("http://example.com/" + n, shown) + "," + emphasised(i % 7 + 1, n)});
        manyLinks.append(
            QJsonArray{QString::fromStdString("http://example.com/" + n), QString::fromStdString(shown)});
        manyLooks.append(QJsonArray{QString::fromStdString(shown), QStringLiteral("uc")});
        const unsigned bits = static_cast<unsigned>(i % 7 + 1);
        manyLooks.append(QJsonArray{QString::fromStdString(n), QString::fromLatin1(bits & 1 ? "b" : "") +
                                                                   QString::fromLatin1(bits & 2 ? "i" : "") +
                                                                   QString::fromLatin1(bits & 4 ? "u" : "")});
    }
    const Case cases[] = {
        {"Link",
         {{"see " + linked(quoted, "the site") + " now"}, {"plain"}},
         {QJsonArray{QString::fromStdString(quoted), QStringLiteral("the site")}},
         {QJsonArray{QStringLiteral("the site"), QStringLiteral("uc")}}},
        {"Emphasis",
         {{emphasised(marks::kBold, "Hi") + " there " + emphasised(marks::kItalic, "it") + "\r\n" +
           emphasised(marks::kUnderline, "u") + emphasised(marks::kAllEmphasis, "all")}},
         {},
         {QJsonArray{QStringLiteral("Hi"), QStringLiteral("b")},
          QJsonArray{QStringLiteral("it"), QStringLiteral("i")},
          QJsonArray{QStringLiteral("u"), QStringLiteral("u")},
          QJsonArray{QStringLiteral("all"), QStringLiteral("biu")}}},
        {"BoldNonLatinLink",
         {{emphasised(marks::kBold, "Ωmega " + linked("http://пример.рф/путь", "Дмитрий") + " end")}},
         {QJsonArray{QStringLiteral("http://пример.рф/путь"), QStringLiteral("Дмитрий")}},
         {QJsonArray{QStringLiteral("Ωmega "), QStringLiteral("b")},
          QJsonArray{QStringLiteral("Дмитрий"), QStringLiteral("buc")},
          QJsonArray{QStringLiteral(" end"), QStringLiteral("b")}}},
        {"LinkInCell",
         {{"Name", "Web"}, {"Anna", linked("mailto:a@example.com", "a@example.com")}, {"Bo", "none"}},
         {QJsonArray{QStringLiteral("mailto:a@example.com"), QStringLiteral("a@example.com")}},
         {QJsonArray{QStringLiteral("a@example.com"), QStringLiteral("uc")}}},
        {"ManyPages", many, manyLinks, manyLooks},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".doc"));
        const bool table = c.rows.front().size() > 1;
        Lines lines, plain;
        for (const Lines& row : c.rows) {
            lines.push_back(row.front());
            plain.push_back(withoutMarks(row.front()));
        }
        if (table)
            WriteTable(c.rows, DocumentFormat::Doc, path);
        else
            WriteDocument(lines, DocumentFormat::Doc, path);
        const QJsonObject structure = ReadBack(QStringLiteral("docfile"), path);
        EXPECT_EQ(Strings(structure[QStringLiteral("problems")]), QStringList());
        EXPECT_EQ(structure[QStringLiteral("links")].toArray(), c.links);
        EXPECT_EQ(structure[QStringLiteral("looks")].toArray(), c.looks);
        if (table)
            continue;
        EXPECT_EQ(Strings(structure[QStringLiteral("paragraphs")]), ExpectedParagraphs(plain));
        EXPECT_EQ(Strings(ReadBack(QStringLiteral("antiword"), path)[QStringLiteral("lines")]),
                  AsAntiwordLines(ExpectedParagraphs(plain)));
        // wvWare writes a link as an HTML anchor, where the links come in
        // order; it ends an address at a quote, escaped or not.
        QStringList anchored = ExpectedParagraphs(plain);
        qsizetype paragraph = 0, from = 0;
        bool quotes = false;
        for (const QJsonValue& link : c.links) {
            quotes = quotes || link[0].toString().contains(QLatin1Char('"'));
            const QString shown = link[1].toString();
            const QString anchor = QStringLiteral("<a href=\"%1\">%2</a>").arg(link[0].toString(), shown);
            while (paragraph < anchored.size() && anchored[paragraph].indexOf(shown, from) < 0) {
                ++paragraph;
                from = 0;
            }
            ASSERT_LT(paragraph, anchored.size());
            const qsizetype at = anchored[paragraph].indexOf(shown, from);
            anchored[paragraph].replace(at, shown.size(), anchor);
            from = at + anchor.size();
        }
        if (!quotes) {
            EXPECT_EQ(Strings(ReadBack(QStringLiteral("wvware"), path)[QStringLiteral("paragraphs")]),
                      anchored);
        }
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
