#include "TextEncoding.h"

#include "JetWriter.h"

#include <optional>

namespace qm::jetwriter {

namespace {

bool compressible(char16_t unit) {
    return unit != 0 && unit <= 0xFF;
}

// The compressed form: FF FE, then single bytes for characters below 256 and
// pairs for the others, a zero byte switching between the two modes. Not
// possible when a character's low byte is zero (it would read as a switch).
std::optional<std::vector<std::uint8_t>> compressedBytes(QStringView text) {
    std::vector<std::uint8_t> out{0xFF, 0xFE};
    out.reserve(std::size_t(text.size()) + 8);
    bool single = true;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if ((unit & 0xFF) == 0)
            return std::nullopt;
        const bool fitsOneByte = compressible(unit);
        if (fitsOneByte != single) {
            out.push_back(0);
            single = fitsOneByte;
        }
        out.push_back(std::uint8_t(unit));
        if (!single)
            out.push_back(std::uint8_t(unit >> 8));
    }
    return out;
}

bool startsWithCompressionMark(QStringView text) {
    return !text.isEmpty() && text.front().unicode() == 0xFEFF;
}

}  // namespace

std::vector<std::uint8_t> utf16Bytes(QStringView text) {
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t(text.size()) * 2);
    for (const QChar c : text) {
        out.push_back(std::uint8_t(c.unicode()));
        out.push_back(std::uint8_t(c.unicode() >> 8));
    }
    return out;
}

std::vector<std::uint8_t> EncodeText(QStringView text, bool allowCompression) {
    const bool marked = startsWithCompressionMark(text);
    if (allowCompression || marked) {
        auto compressed = compressedBytes(text);
        if (compressed && (marked || compressed->size() < std::size_t(text.size()) * 2))
            return std::move(*compressed);
        if (marked)
            throw WriteError(
                QStringLiteral("text that starts with U+FEFF and holds a character whose low byte is zero "
                               "cannot be stored."));
    }
    return utf16Bytes(text);
}

}  // namespace qm::jetwriter
