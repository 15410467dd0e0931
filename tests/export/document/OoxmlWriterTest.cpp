#include "DocumentTestSupport.h"
#include "common/RunProcess.h"
#include "common/TestSupport.h"
#include "export/document/OoxmlWriter.h"
#include "export/document/ParallelDeflate.h"
#include "shell/Failure.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

namespace qm {
namespace {

using namespace std::string_literals;
using test::inspectDocx;
using test::strings;

// Lines with everything the text of a record can hold.
const std::vector<std::string> kAwkwardLines = {
    "Name,Price",
    "",
    "   leading and trailing blanks   ",
    "a\tb\t\tc\t",
    "\t",
    "XML specials & < > \" ' ]]> &amp;",
    "non-ASCII: \xC3\xA4\xC3\xB6\xC3\xBC \xC3\x9F \xE4\xB8\xAD\xE6\x96\x87 \xE2\x82\xAC",
    "outside the BMP: \xF0\x9F\x98\x80 \xF0\x9D\x84\x9E",
    "value with\r\nits own CR LF,next value",
    "lone\nLF and lone\rCR",
    "ends in CR\r",
    "\nstarts with LF",
    "controls \x01\x02\x0B\x0C\x1F and NUL \0 end"s,
    "not characters \xEF\xBF\xBE \xEF\xBF\xBF",
    "invalid \xC3 lead, \xFF byte, \xED\xA0\x80 surrogate, \xC0\xAF overlong, \xF4\x90\x80\x80 too big",
    "cut at the end \xE2\x82",
    "noncharacter allowed by XML \xEF\xB7\x90 and DEL \x7F",
};

QByteArray writeToBuffer(const DocumentContent& content, const OoxmlWriter::Options& options = {}) {
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    OoxmlWriter(options).write(content, buffer);
    return buffer.data();
}

QString saveBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

DocumentContent contentOf(const TextSpool& spool) {
    DocumentContent content;
    content.texts.push_back(spool.snapshot());
    content.created = QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58), Qt::UTC);
    content.modified = QDateTime(QDate(2024, 3, 1), QTime(8, 0, 1), Qt::UTC);
    return content;
}

void expectParagraphsAsExpected(const QJsonObject& answer, std::size_t lineCount) {
    const auto paragraphs = strings(answer[QStringLiteral("paragraphs")]);
    const auto expected = strings(answer[QStringLiteral("expected")]);
    ASSERT_EQ(expected.size(), lineCount);
    ASSERT_EQ(paragraphs.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(paragraphs[i].toStdString(), expected[i].toStdString()) << "line " << i;
}

struct WriterCase {
    const char* name;
    std::size_t memoryLimit;
    int threads;
    int level;
};

void PrintTo(const WriterCase& param, std::ostream* out) {
    *out << param.name;
}

class OoxmlText : public ::testing::TestWithParam<WriterCase> {};

// Every line comes back as one paragraph, read by python-docx, whatever the
// spool mode, the number of threads or the compression level.
TEST_P(OoxmlText, EveryLineReadsBackAsItsParagraph) {
    TextSpool spool(GetParam().memoryLimit);
    test::appendAll(spool, kAwkwardLines);
    OoxmlWriter::Options options;
    options.threads = GetParam().threads;
    options.level = GetParam().level;
    QTemporaryDir dir;
    const QString path =
        saveBytes(dir, QStringLiteral("awkward.docx"), writeToBuffer(contentOf(spool), options));
    expectParagraphsAsExpected(inspectDocx(path, kAwkwardLines), kAwkwardLines.size());
}

INSTANTIATE_TEST_SUITE_P(Variants, OoxmlText,
                         ::testing::Values(WriterCase{"InMemoryOneThread", TextSpool::kDefaultMemoryLimit, 1,
                                                      1},
                                           WriterCase{"InFileTwoThreads", 0, 2, 1},
                                           WriterCase{"LevelSix", TextSpool::kDefaultMemoryLimit, 2, 6}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OoxmlWriter, PackageIsWhatWordExpects) {
    TextSpool spool;
    test::appendAll(spool, kAwkwardLines);
    QTemporaryDir dir;
    const QString path = saveBytes(dir, QStringLiteral("package.docx"), writeToBuffer(contentOf(spool)));
    const QString parts = dir.filePath(QStringLiteral("parts"));
    const QJsonObject answer = inspectDocx(path, {}, parts);

    const QJsonArray entries = answer[QStringLiteral("entries")].toArray();
    ASSERT_FALSE(entries.isEmpty());
    std::vector<QString> names;
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const QString name = entry[QStringLiteral("name")].toString();
        names.push_back(name);
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(entry[QStringLiteral("compress_type")].toInt(), 8);  // deflated
        EXPECT_EQ(entry[QStringLiteral("central_extra")].toString(), QString()) << "no ZIP64 extra field";
        EXPECT_EQ(entry[QStringLiteral("local_extra")].toString(), QString()) << "no ZIP64 extra field";
        EXPECT_EQ(entry[QStringLiteral("extract_version")].toInt(), 20);
    }
    EXPECT_EQ(names.front(), QStringLiteral("[Content_Types].xml"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<QString>{"[Content_Types].xml", "_rels/.rels", "docProps/app.xml",
                                           "docProps/core.xml", "word/_rels/document.xml.rels",
                                           "word/document.xml", "word/settings.xml", "word/styles.xml"}));
    EXPECT_FALSE(answer[QStringLiteral("zip64_end")].toBool());
    EXPECT_TRUE(answer[QStringLiteral("bad_crc")].isNull());

    EXPECT_EQ(answer[QStringLiteral("compat_mode")].toString(), QStringLiteral("15"));
    EXPECT_FALSE(answer[QStringLiteral("default_font")].toString().isEmpty());
    EXPECT_EQ(answer[QStringLiteral("spacing_after")].toString(), QStringLiteral("0"));
    EXPECT_EQ(answer[QStringLiteral("created")].toString(), QStringLiteral("2024-02-29T23:59:58"));
    EXPECT_EQ(answer[QStringLiteral("modified")].toString(), QStringLiteral("2024-03-01T08:00:01"));

    // Info-ZIP checks every CRC and the joined deflate stream on its own.
    const test::ProcessResult unzip = test::RunProcess(QStringLiteral("unzip"), {QStringLiteral("-t"), path});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.out.toStdString() << unzip.err.toStdString();
    // Every part is well-formed XML, the document part with the awkward text too.
    QDirIterator it(parts, {QStringLiteral("*.xml"), QStringLiteral("*.rels")}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    int checked = 0;
    while (it.hasNext()) {
        const QString part = it.next();
        const test::ProcessResult xmllint =
            test::RunProcess(QStringLiteral("xmllint"), {QStringLiteral("--noout"), part});
        EXPECT_EQ(xmllint.exitCode, 0) << part.toStdString() << ": " << xmllint.err.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, 8);
}

TEST(OoxmlWriter, EmptyTextGivesOneEmptyParagraph) {
    TextSpool spool;
    QTemporaryDir dir;
    const QString path = saveBytes(dir, QStringLiteral("empty.docx"), writeToBuffer(contentOf(spool)));
    const QJsonObject answer = inspectDocx(path);
    EXPECT_EQ(strings(answer[QStringLiteral("paragraphs")]), std::vector<QString>{QString()});
    EXPECT_TRUE(answer[QStringLiteral("bad_crc")].isNull());
}

TEST(OoxmlWriter, LargeTextFromTheSpoolFile) {
    TextSpool spool(256 * 1024);
    std::vector<std::string> lines;
    constexpr int kLines = 200000;
    lines.reserve(kLines);
    for (int i = 0; i < kLines; ++i)
        lines.push_back(std::to_string(i) + ",Name " + std::to_string(i * 7919 % 100003) +
                        ",Stra\xC3\x9F"
                        "e " +
                        std::to_string(i % 977) + ",12." + std::to_string(i % 100) +
                        (i % 1000 == 0 ? "\tx&y" : ""));
    test::appendAll(spool, lines);
    ASSERT_TRUE(spool.spilledToFile());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.docx"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        OoxmlWriter().write(contentOf(spool), file);
    }
    const QJsonObject answer = inspectDocx(path, lines);
    expectParagraphsAsExpected(answer, lines.size());
    EXPECT_TRUE(answer[QStringLiteral("bad_crc")].isNull());
}

// The same text gives the same bytes however many threads compress it: the
// blocks are joined in order.
TEST(OoxmlWriter, OutputDoesNotDependOnThreads) {
    TextSpool spool;
    for (int i = 0; i < 60000; ++i)
        spool.appendLine("line " + std::to_string(i) + "\t" + std::to_string(std::int64_t{i} * i));
    const DocumentContent content = contentOf(spool);
    OoxmlWriter::Options one;
    one.threads = 1;
    OoxmlWriter::Options three;
    three.threads = 3;
    const QByteArray reference = writeToBuffer(content, one);
    EXPECT_GT(reference.size(), 0);
    EXPECT_TRUE(writeToBuffer(content, three) == reference);
}

// However many threads are asked for, at most four compress (each keeps two
// blocks of a megabyte), and the stream is the same.
TEST(ParallelDeflater, ThreadsAreBoundedAndAFailedSubmitHandsNoWorkersBlockBack) {
    std::string input;
    for (int i = 0; i < 300000; ++i)
        input += "record " + std::to_string(i) + "\n";
    const auto compress = [&](int threads) {
        std::string out;
        ParallelDeflater deflater(1, threads, [&](std::string_view piece) { out.append(piece); });
        EXPECT_LE(deflater.threads(), ParallelDeflater::kMaxThreads);
        for (std::size_t at = 0; at < input.size(); at += ParallelDeflater::kBlockSize) {
            deflater.block().append(input, at, ParallelDeflater::kBlockSize);
            deflater.submit();
        }
        deflater.finish();
        return out;
    };
    EXPECT_EQ(compress(64), compress(1));

    // A writer that fails: the block just submitted belongs to a worker, so
    // the deflater refuses to hand it back for more text.
    ParallelDeflater failing(1, 2, [](std::string_view) { throw Failure(QStringLiteral("disk full")); });
    bool failed = false;
    for (int i = 0; i < 8 && !failed; ++i) {
        try {
            failing.block().append(input, 0, ParallelDeflater::kBlockSize);
            failing.submit();
        } catch (const Failure& failure) {
            failed = true;
            EXPECT_EQ(failure.description(), QStringLiteral("disk full"));
        }
    }
    ASSERT_TRUE(failed);
    EXPECT_THROW(failing.block(), Failure);
}

// A document part too big for 32-bit sizes (here: over a lowered limit) is
// written again with ZIP64 sizes, or with them from the start on a device that
// cannot be emptied; both read back whole.
TEST(OoxmlWriter, BigDocumentPartGetsZip64Sizes) {
    TextSpool spool;
    std::vector<std::string> lines;
    for (int i = 0; i < 5000; ++i)
        lines.push_back("line " + std::to_string(i));
    test::appendAll(spool, lines);
    OoxmlWriter::Options options;
    options.zip64Threshold = 20000;
    QTemporaryDir dir;

    const QString restarted =
        saveBytes(dir, QStringLiteral("restarted.docx"), writeToBuffer(contentOf(spool), options));
    QBuffer target;
    target.open(QIODevice::ReadWrite);
    test::FailingDevice unlimited(target, std::numeric_limits<qint64>::max());
    OoxmlWriter(options).write(contentOf(spool), unlimited);
    const QString upFront = saveBytes(dir, QStringLiteral("upfront.docx"), target.data());

    for (const QString& path : {restarted, upFront}) {
        SCOPED_TRACE(path.toStdString());
        const QJsonObject answer = inspectDocx(path, lines);
        expectParagraphsAsExpected(answer, lines.size());
        for (const QJsonValue& value : answer[QStringLiteral("entries")].toArray()) {
            const QJsonObject entry = value.toObject();
            const bool documentPart =
                entry[QStringLiteral("name")].toString() == QStringLiteral("word/document.xml");
            EXPECT_EQ(entry[QStringLiteral("local_extra")].toString().startsWith(QStringLiteral("0100")),
                      documentPart);
        }
    }
}

// A device that fails part way makes the writer fail with the device's reason,
// wherever that happens: in a small part, in the document part, at the end.
TEST(OoxmlWriter, FailingDeviceFailsTheWrite) {
    TextSpool spool;
    for (int i = 0; i < 100000; ++i)
        spool.appendLine("record " + std::to_string(i) + ", with some text to compress");
    const DocumentContent content = contentOf(spool);
    const qint64 full = writeToBuffer(content).size();
    for (const qint64 budget :
         {qint64{0}, qint64{10}, qint64{700}, qint64{5000}, full / 2, full - 30, full - 1}) {
        SCOPED_TRACE(budget);
        QBuffer target;
        target.open(QIODevice::ReadWrite);
        test::FailingDevice device(target, budget);
        try {
            OoxmlWriter().write(content, device);
            ADD_FAILURE() << "the write succeeded";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.description(), QStringLiteral("No space left on device"));
        }
    }
}

}  // namespace
}  // namespace qm
