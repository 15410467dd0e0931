#include "DocumentTestSupport.h"
#include "common/TestSupport.h"
#include "export/document/TextSpool.h"
#include "shell/Failure.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <iostream>

namespace qm {
namespace {

std::string joinedLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string storedForm(const TextSnapshot& snapshot) {
    std::string stored;
    snapshot.readStored([&](std::string_view chunk) { stored.append(chunk); });
    return stored;
}

// Lines that stress the stored form and the move to the file.
const std::vector<std::string> kAwkwardLines = {
    "",
    "plain, text",
    "value with\r\nits own line end",
    "\r\n",
    "lone\rCR and lone\nLF",
    std::string("bytes \xFF and \xFF\xFF of invalid UTF-8"),
    "ends in CR\r",
    "\nstarts with LF",
    std::string("\xFF\r\n\xFF"),
    std::string(3 * 1024 * 1024, 'x'),  // bigger than any buffer: goes straight to the file
    "after the big one",
};

// Lines with marks (shell/TextMarks.h), and their plain text, which has none.
const std::vector<std::pair<std::string, std::string>> kMarkedLines = {
    {"\xFE<http://a.b/?x=1\xFE>link\xFE/ text", "link text"},
    {"\xFE"
     "5bold\r\nline\xFE"
     "0",
     "bold\r\nline"},
    {"stray \xFE< and \xFE<no\xFE] stay", "stray \xFE< and \xFE<no\xFE] stay"},
};

struct SpoolCase {
    const char* name;
    std::size_t memoryLimit;
    bool spills;
};

void PrintTo(const SpoolCase& param, std::ostream* out) {
    *out << param.name;
}

class TextSpoolRoundTrip : public ::testing::TestWithParam<SpoolCase> {};

TEST_P(TextSpoolRoundTrip, GivesBackExactlyWhatWasAppended) {
    TextSpool spool(GetParam().memoryLimit);
    test::appendAll(spool, kAwkwardLines);
    std::string expected = joinedLines(kAwkwardLines);
    for (const auto& [marked, plain] : kMarkedLines) {
        spool.appendLine(marked);
        expected += plain + "\r\n";
    }

    EXPECT_EQ(spool.spilledToFile(), GetParam().spills);
    EXPECT_EQ(spool.lineCount(), kAwkwardLines.size() + kMarkedLines.size());
    EXPECT_EQ(spool.byteCount(), expected.size());
    EXPECT_TRUE(spool.toString() == expected);
    EXPECT_TRUE(spool.toString() == expected) << "a second read differs";
    const TextSnapshot snapshot = spool.snapshot();
    EXPECT_TRUE(snapshot.toString() == expected);
    EXPECT_EQ(snapshot.byteCount(), expected.size());

    // The stored form keeps a value's CR LF apart from line ends, and line ends
    // are exactly the appended ones.
    std::string stored = storedForm(snapshot);
    std::size_t lineEnds = 0;
    for (std::size_t at = stored.find("\r\n"); at != std::string::npos; at = stored.find("\r\n", at + 2))
        ++lineEnds;
    EXPECT_EQ(lineEnds, kAwkwardLines.size() + kMarkedLines.size());
}

INSTANTIATE_TEST_SUITE_P(MemoryLimits, TextSpoolRoundTrip,
                         ::testing::Values(SpoolCase{"FileFromTheStart", 0, true},
                                           SpoolCase{"SpillsOnTheWay", 40, true},
                                           SpoolCase{"AllInMemory", 64 * 1024 * 1024, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextSpool, SnapshotIgnoresLaterLinesAndOutlivesTheSpool) {
    for (const std::size_t limit : {std::size_t{0}, TextSpool::kDefaultMemoryLimit}) {
        SCOPED_TRACE(limit);
        auto spool = std::make_unique<TextSpool>(limit);
        spool->appendLine("first");
        spool->appendLine("second");
        const TextSnapshot snapshot = spool->snapshot();
        spool->appendLine("third");
        EXPECT_EQ(spool->toString(), "first\r\nsecond\r\nthird\r\n");
        spool.reset();
        EXPECT_EQ(snapshot.toString(), "first\r\nsecond\r\n");
        EXPECT_EQ(snapshot.lineCount(), 2u);
    }
}

TEST(TextSpool, LargeTextGoesThroughTheFile) {
    TextSpool spool(64 * 1024);
    constexpr int kLines = 200000;
    for (int i = 0; i < kLines; ++i)
        spool.appendLine("record " + std::to_string(i) + ",Müller,12.50,\tend");
    ASSERT_TRUE(spool.spilledToFile());
    EXPECT_EQ(spool.lineCount(), static_cast<std::uint64_t>(kLines));

    // Read back in chunks and check every line, without one big string.
    std::string pending;
    int next = 0;
    bool allMatch = true;
    spool.read([&](std::string_view chunk) {
        pending.append(chunk);
        std::size_t start = 0;
        for (std::size_t end = pending.find("\r\n"); end != std::string::npos;
             end = pending.find("\r\n", start)) {
            allMatch =
                allMatch && pending.compare(start, end - start,
                                            "record " + std::to_string(next) + ",Müller,12.50,\tend") == 0;
            ++next;
            start = end + 2;
        }
        pending.erase(0, start);
    });
    EXPECT_TRUE(allMatch);
    EXPECT_EQ(next, kLines);
    EXPECT_TRUE(pending.empty());
}

TEST(TextSpool, MissingTemporaryFolderFailsAndKeepsTheText) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.path() + QStringLiteral("/missing")));
    TextSpool spool(16);
    spool.appendLine("fits");
    try {
        spool.appendLine("this line does not fit in sixteen bytes");
        ADD_FAILURE() << "the spool grew without its temporary file";
    } catch (const Failure& failure) {
        EXPECT_TRUE(failure.description().contains(QStringLiteral("temporary file"))) << failure.what();
        EXPECT_TRUE(failure.description().contains(QStringLiteral("No such file or directory")))
            << failure.what();
    }
    if (saved.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", saved);
    EXPECT_EQ(spool.toString(), "fits\r\n");
    EXPECT_EQ(spool.lineCount(), 1u);
    spool.appendLine("later");  // works again once the folder is back
    EXPECT_EQ(spool.toString(), "fits\r\nlater\r\n");
}

// A full disk, made real with a file size limit in a child process: the
// failing append throws and leaves the spool as it was.
TEST(TextSpoolDeathTest, FullDiskThrowsAndLeavesTheSpoolWhole) {
    EXPECT_EXIT(
        {
            test::limitFileSize(4 * 1024 * 1024);
            TextSpool spool(0);
            const std::string line(1000, 'v');
            std::uint64_t appended = 0;
            try {
                for (;;) {
                    spool.appendLine(line);
                    ++appended;
                }
            } catch (const Failure& failure) {
                const bool named = failure.description().contains(QStringLiteral("File too large"));
                const bool whole =
                    spool.lineCount() == appended && spool.toString().size() == appended * 1002;
                std::cerr << (named ? "named " : "") << (whole ? "whole" : "") << std::endl;
                std::exit(named && whole ? 0 : 1);
            }
        },
        ::testing::ExitedWithCode(0), "named whole");
}

}  // namespace
}  // namespace qm
