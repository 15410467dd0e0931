#include "database/StoredValues.h"

#include <algorithm>

namespace qm::stored {

namespace {

// The decimal text of magnitude / 10^scale, with a minus sign when negative
// and not zero; trailing zeros after the point are dropped.
void appendScaled(std::string& out, unsigned __int128 magnitude, bool negative, int scale) {
    char digits[48];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + static_cast<int>(magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    scale = std::clamp(scale, 0, 38);
    while (count <= scale)
        digits[count++] = '0';
    // digits[] holds the number least significant first.
    int lowest = 0;
    while (lowest < scale && digits[lowest] == '0')
        ++lowest;
    const bool zero = count == scale + 1 && digits[scale] == '0' && lowest == scale;
    if (negative && !zero)
        out.push_back('-');
    for (int i = count - 1; i >= scale; --i)
        out.push_back(digits[i]);
    if (lowest < scale) {
        out.push_back('.');
        for (int i = scale - 1; i >= lowest; --i)
            out.push_back(digits[i]);
    }
}

constexpr std::size_t kCalculatedLengthOffset = 16;
constexpr std::size_t kCalculatedDataOffset = 20;

}  // namespace

void AppendDecimal(std::string& out, const std::uint8_t* p, int scale) {
    unsigned __int128 magnitude = 0;
    for (int word = 0; word < 4; ++word)
        magnitude = (magnitude << 32) | readU32(p + 1 + 4 * word);
    appendScaled(out, magnitude, (p[0] & 0x80) != 0, scale);
}

std::span<const std::uint8_t> CalculatedResult(std::span<const std::uint8_t> stored) {
    if (stored.size() < kCalculatedDataOffset)
        return {};
    const std::size_t length = readU32(stored.data() + kCalculatedLengthOffset);
    return stored.subspan(kCalculatedDataOffset, std::min(length, stored.size() - kCalculatedDataOffset));
}

bool AppendCalculatedDecimal(std::string& out, std::span<const std::uint8_t> result) {
    constexpr std::size_t kHeader = 4;  // length, scale, sign
    if (result.size() < kHeader)
        return false;
    const std::uint8_t* p = result.data();
    const std::size_t declared = readU16(p);
    const std::size_t length = declared > 0 ? declared : result.size() - 2;
    const std::size_t magnitudeBytes = length < 2 ? 0 : std::min<std::size_t>((length - 2) / 4 * 4, 16);
    if (kHeader + magnitudeBytes > result.size())
        return false;
    unsigned __int128 magnitude = 0;
    std::size_t at = kHeader;
    if (magnitudeBytes % 8 != 0) {
        magnitude = readU32(p + at);
        at += 4;
    }
    for (; at < kHeader + magnitudeBytes; at += 8)
        magnitude = (magnitude << 64) | readU64(p + at);
    appendScaled(out, magnitude, p[3] != 0, p[2]);
    return true;
}

}  // namespace qm::stored
