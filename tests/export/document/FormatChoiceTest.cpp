// Which format a document gets: from the extension of its name, compared
// without regard to case, or forced (quillmerge-export --format).

#include "FormatTestSupport.h"
#include "common/TestSupport.h"
#include "export/document/DocumentFormats.h"
#include "export/document/NativeWord.h"

#include <QTemporaryDir>
#include <optional>

namespace qm {
namespace {

using test::ContentsOf;

struct NameCase {
    const char* path;
    DocumentFormat format;
};

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.path;
}

class FormatForPath : public ::testing::TestWithParam<NameCase> {};

TEST_P(FormatForPath, FollowsTheExtension) {
    EXPECT_EQ(DocumentFormatForPath(QString::fromUtf8(GetParam().path)), GetParam().format);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FormatForPath,
    ::testing::Values(
        NameCase{"/data/output.doc", DocumentFormat::Doc}, NameCase{"OUTPUT.DOC", DocumentFormat::Doc},
        NameCase{"Report.Doc", DocumentFormat::Doc}, NameCase{"out.docx", DocumentFormat::Docx},
        NameCase{"OUT.DOCX", DocumentFormat::Docx}, NameCase{"letters.odt", DocumentFormat::Odt},
        NameCase{"LETTERS.ODT", DocumentFormat::Odt},
        NameCase{"/path with blanks/List.Rtf", DocumentFormat::Rtf},
        NameCase{"plain.txt", DocumentFormat::Txt}, NameCase{"PLAIN.TXT", DocumentFormat::Txt},
        NameCase{"report.doc.txt", DocumentFormat::Txt}, NameCase{"report.txt.doc", DocumentFormat::Doc},
        NameCase{"no-extension", DocumentFormat::Docx}, NameCase{"trailing-dot.", DocumentFormat::Docx},
        NameCase{"folder.doc/inside", DocumentFormat::Docx}, NameCase{"template.dot", DocumentFormat::Docx},
        NameCase{"notes.text", DocumentFormat::Docx}, NameCase{"sheet.xlsx", DocumentFormat::Docx},
        NameCase{"", DocumentFormat::Docx}));

TEST(ParseDocumentFormat, ReadsTheFiveNamesInAnyCase) {
    const std::pair<const char*, std::optional<DocumentFormat>> cases[] = {
        {"docx", DocumentFormat::Docx},
        {"DOC", DocumentFormat::Doc},
        {".doc", DocumentFormat::Doc},
        {"Odt", DocumentFormat::Odt},
        {"rtf", DocumentFormat::Rtf},
        {".TXT", DocumentFormat::Txt},
        {"", std::nullopt},
        {"word", std::nullopt},
        {"pdf", std::nullopt},
        {"doc ", std::nullopt},
        {".", std::nullopt},
        {"..doc", std::nullopt},
        {"d", std::nullopt},
    };
    for (const auto& [name, format] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ParseDocumentFormat(QString::fromLatin1(name)), format);
    }
    for (const DocumentFormat format : {DocumentFormat::Docx, DocumentFormat::Doc, DocumentFormat::Odt,
                                        DocumentFormat::Rtf, DocumentFormat::Txt})
        EXPECT_EQ(ParseDocumentFormat(DocumentFormatName(format)), format);
}

// What a file is, from its first bytes and, for a ZIP package, its entries.
QString kindOf(const QString& path) {
    const QByteArray bytes = ContentsOf(path);
    if (bytes.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return QStringLiteral("doc");
    if (bytes.startsWith("{\\rtf1"))
        return QStringLiteral("rtf");
    if (bytes.startsWith("PK\x03\x04")) {
        if (bytes.mid(30, 47) == "mimetypeapplication/vnd.oasis.opendocument.text")
            return QStringLiteral("odt");
        if (bytes.contains("word/document.xml"))
            return QStringLiteral("docx");
        return QStringLiteral("zip");
    }
    return bytes == "Name,Price\r\nTea,2.5\r\n" ? QStringLiteral("txt") : QStringLiteral("unknown");
}

// W1 to W7 as the export run calls them.
void exportWith(NativeWordProvider& provider, const QString& path) {
    TextSpool spool;
    spool.appendLine("Name,Price");
    spool.appendLine("Tea,2.5");
    auto word = provider.CreateApplication();
    word->setVisible(false);
    auto document = word->AddDocument();
    document->TypeText(spool);
    document->SaveAs(path);
    document->Close();
    word->Quit();
}

TEST(NativeWordFormat, TheEngineWritesWhatTheNameAsksFor) {
    QTemporaryDir dir;
    NativeWordProvider provider;
    const std::pair<const char*, const char*> cases[] = {
        {"output.doc", "doc"}, {"OUTPUT.DOC", "doc"}, {"out.docx", "docx"}, {"out.odt", "odt"},
        {"out.RTF", "rtf"},    {"out.txt", "txt"},    {"out", "docx"},      {"out.pdf", "docx"},
    };
    for (const auto& [name, kind] : cases) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        exportWith(provider, path);
        EXPECT_EQ(kindOf(path), QLatin1String(kind));
    }
}

TEST(NativeWordFormat, AForcedFormatWinsOverTheName) {
    QTemporaryDir dir;
    const std::pair<DocumentFormat, const char*> cases[] = {
        {DocumentFormat::Doc, "doc"}, {DocumentFormat::Docx, "docx"}, {DocumentFormat::Odt, "odt"},
        {DocumentFormat::Rtf, "rtf"}, {DocumentFormat::Txt, "txt"},
    };
    for (const auto& [format, kind] : cases) {
        SCOPED_TRACE(kind);
        NativeWordProvider provider(format);
        for (const char* name : {"forced.doc", "forced.docx", "forced.txt", "forced"}) {
            const QString path = dir.filePath(QString::fromLatin1(name));
            exportWith(provider, path);
            EXPECT_EQ(kindOf(path), QLatin1String(kind)) << name;
        }
    }
}

}  // namespace
}  // namespace qm
