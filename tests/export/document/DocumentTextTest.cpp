// The reading of the spool's stored form that every non-XML-package writer
// shares: what becomes a paragraph, a line break, a tab or U+FFFD, however
// the stored text is cut into pieces.

#include "export/document/DocumentText.h"
#include "export/document/TextSpool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

// Writes the events as text: characters as UTF-8, "|" a paragraph end, "/" a
// line break, ">" a tab, "?" U+FFFD, "[target:" and "]" a link, "{bits}" a
// change of emphasis.
struct Recorder {
    void linkStart(std::string_view target) { events += "[" + std::string(target) + ":"; }
    void linkEnd() { events += "]"; }
    void emphasis(unsigned bits) { events += "{" + std::to_string(bits) + "}"; }
    std::string events;
    void ascii(std::string_view run) { events.append(run); }
    void character(char32_t c, std::string_view) {
        if (c == 0xFFFD) {
            events += '?';
            return;
        }
        char bytes[4];
        int n = 0;
        if (c < 0x800) {
            bytes[n++] = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            bytes[n++] = static_cast<char>(0xE0 | (c >> 12));
            bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            bytes[n++] = static_cast<char>(0xF0 | (c >> 18));
            bytes[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        bytes[n++] = static_cast<char>(0x80 | (c & 0x3F));
        events.append(bytes, static_cast<std::size_t>(n));
    }
    void tab() { events += '>'; }
    void lineBreak() { events += '/'; }
    void paragraphEnd() { events += '|'; }
};

std::string storedForm(const std::vector<std::string>& lines) {
    TextSpool spool;
    for (const std::string& line : lines)
        spool.appendLine(line);
    std::string stored;
    spool.snapshot().readStored([&](std::string_view chunk) { stored.append(chunk); });
    return stored;
}

std::string read(const std::vector<std::string_view>& pieces) {
    Recorder recorder;
    StoredTextReader<Recorder> reader(recorder);
    for (const std::string_view piece : pieces)
        reader.feed(piece);
    reader.finish();
    return recorder.events;
}

struct Case {
    const char* name;
    std::vector<std::string> lines;  // appended to a spool
    const char* events;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class StoredText : public ::testing::TestWithParam<Case> {};

// Fed whole, byte by byte, and cut at every place into two pieces, the text
// gives the same events: a piece boundary inside CR LF, an escape or a UTF-8
// sequence must not change what it is.
TEST_P(StoredText, GivesTheSameEventsHoweverItIsCut) {
    const std::string stored = storedForm(GetParam().lines);
    const std::string expected = GetParam().events;
    EXPECT_EQ(read({stored}), expected);
    std::vector<std::string_view> bytes;
    for (std::size_t i = 0; i < stored.size(); ++i)
        bytes.push_back(std::string_view(stored).substr(i, 1));
    EXPECT_EQ(read(bytes), expected) << "byte by byte";
    for (std::size_t cut = 1; cut < stored.size(); ++cut) {
        const std::string_view whole(stored);
        ASSERT_EQ(read({whole.substr(0, cut), whole.substr(cut)}), expected) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StoredText,
    ::testing::Values(
        Case{"Empty", {}, "|"}, Case{"OneEmptyLine", {""}, "|"}, Case{"Lines", {"a", "", "bc"}, "a||bc|"},
        Case{"BlanksAndTabs", {"  a\t b  "}, "  a> b  |"},
        Case{"ValueCrLfIsALineBreak", {"a\r\nb", "c"}, "a/b|c|"},
        Case{"LoneCrAndLfAreLineBreaks", {"a\rb\nc"}, "a/b/c|"},
        Case{"CrBeforeTheLineEnd", {"a\r", "b"}, "a/|b|"}, Case{"LfAfterTheLineEnd", {"a", "\nb"}, "a|/b|"},
        Case{"NonAscii", {"Müller Ωmega 東京 😀"}, "Müller Ωmega 東京 😀|"},
        Case{"ControlsBecomeReplacements",
             {std::string("a\x01\x07\x0C\x1F", 5) + std::string(1, '\0') + "b"},
             "a?????b|"},
        Case{"DeleteIsKept",
             {"a\x7F"
              "b"},
             "a\x7F"
             "b|"},
        Case{"NoncharactersBecomeReplacements",
             {"a\xEF\xBF\xBE\xEF\xBF\xBF"
              "b"},
             "a??b|"},
        Case{"ByteFFBecomesOneReplacement",
             {"a\xFF"
              "b",
              "\xFF"},
             "a?b|?|"},
        Case{"TruncatedSequenceIsOneReplacement",
             {"a\xE2\x82"
              "b"},
             "a?b|"},
        Case{"SurrogateIsInvalid", {"\xED\xA0\x80"}, "???|"},
        Case{"OverlongIsInvalid",
             {"\xC0\xAF"
              "x"},
             "??x|"},
        Case{"TruncatedAtTheEndOfTheText", {"a\xF0\x9F\x98"}, "a?|"},
        // Marks (shell/TextMarks.h), as the database layer writes them.
        Case{
            "LinkAroundItsText", {"a\xFE<http://x.org/?q=\"1\"\xFE>b\xFE/c"}, "a[http://x.org/?q=\"1\":b]c|"},
        Case{"EmphasisEndsWithItsParagraph",
             {"\xFE"
              "3bold\r\nnext",
              "plain"},
             "{3}bold/next{0}|plain|"},
        Case{
            "AnOpenLinkEndsBeforeTheNextAndAtTheLineEnd", {"\xFE<u\xFE>t\xFE<v\xFE>w", "n"}, "[u:t][v:w]|n|"},
        Case{"RepeatedEmphasisIsNoChange",
             {"\xFE"
              "1a\xFE"
              "1b\xFE"
              "0c"},
             "{1}ab{0}c|"},
        Case{"StrayMarkBytesAreInvalid",
             {"a\xFE"
              "b",
              "\xFE<no end", "\xFE<bad\ttarget\xFE>x", "\xFE<not\xCCutf-8\xFE>x"},
             "a?b|?<no end|?<bad>target?>x|?<not?utf-8?>x|"}),
    [](const auto& info) { return std::string(info.param.name); });

// Text that does not end in a line end (possible only through the stored
// form) still ends its last paragraph.
TEST(StoredTextEnd, TextWithoutFinalLineEndEndsItsParagraph) {
    EXPECT_EQ(read({"a\r\nb"}), "a|b|");
    EXPECT_EQ(read({"a\r"}), "a/|");
    EXPECT_EQ(read({std::string_view("a\xFF", 2)}), "a?|");
}

TEST(StoredTextEnd, CountsParagraphs) {
    Recorder recorder;
    StoredTextReader<Recorder> reader(recorder);
    reader.feed("a\r\n\r\nb\xFF\n\r\n");
    reader.finish();
    EXPECT_EQ(reader.paragraphCount(), 3u);
}

}  // namespace
}  // namespace qm
