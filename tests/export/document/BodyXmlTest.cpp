#include "export/document/BodyXml.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

std::string convertWhole(std::string_view stored) {
    BodyXmlBuilder builder;
    std::string xml;
    builder.feed(stored, xml);
    builder.finish(xml);
    return xml;
}

std::string convertInPieces(std::string_view stored, const std::vector<std::size_t>& cuts) {
    BodyXmlBuilder builder;
    std::string xml;
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        builder.feed(stored.substr(from, cut - from), xml);
        from = cut;
    }
    builder.feed(stored.substr(from), xml);
    builder.finish(xml);
    return xml;
}

// Stored texts whose meaning hangs on more than one byte: CR LF, the escape
// pairs, multi-byte and broken UTF-8, characters XML cannot hold.
using namespace std::string_view_literals;
constexpr std::string_view kTrickyTexts[] = {
    "a\r\nb\r\n"sv,
    "cr\rlf\nboth\r\n\r\n"sv,
    "value\xFF\nbreak\xFF\xFF\r\n"sv,
    "\xFF"sv,
    "\r"sv,
    "euro \xE2\x82\xAC, smile \xF0\x9F\x98\x80, umlaut \xC3\xA4\r\n"sv,
    "cut \xE2\x82\r\ncut \xF0\x9F\x98"sv,
    "surrogate \xED\xA0\x80 overlong \xC0\xAF \xE0\x80\xAF big \xF4\x90\x80\x80\r\n"sv,
    "not xml \xEF\xBF\xBE \xEF\xBF\xBF \x01\x0B\x1F\x00 end\r\n"sv,
    "<&>\t\"'\t]]>\r\n"sv,
};

// The text arrives in pieces of whatever size the spool reads; the XML must
// not depend on where they split.
TEST(BodyXml, PiecesMayBreakAnywhere) {
    for (const std::string_view stored : kTrickyTexts) {
        SCOPED_TRACE(std::string(stored));
        const std::string whole = convertWhole(stored);
        for (std::size_t cut = 0; cut <= stored.size(); ++cut)
            ASSERT_EQ(convertInPieces(stored, {cut}), whole) << "cut at " << cut;
        std::vector<std::size_t> everyByte;
        for (std::size_t cut = 1; cut < stored.size(); ++cut)
            everyByte.push_back(cut);
        EXPECT_EQ(convertInPieces(stored, everyByte), whole) << "byte by byte";
    }
}

}  // namespace
}  // namespace qm
