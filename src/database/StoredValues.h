#pragma once

// Internal to the database layer: values as a Jet or ACE file stores them,
// turned into numbers and text. Everything is little-endian.

#include "database/TableDefinition.h"
#include "database/Value.h"

#include <QtEndian>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qm {
namespace jet {
class CodePageDecoder;
}

namespace stored {

inline std::uint16_t readU16(const std::uint8_t* p) {
    return qFromLittleEndian<std::uint16_t>(p);
}
inline std::uint32_t readU32(const std::uint8_t* p) {
    return qFromLittleEndian<std::uint32_t>(p);
}
inline std::uint64_t readU64(const std::uint8_t* p) {
    return qFromLittleEndian<std::uint64_t>(p);
}
inline double readDouble(const std::uint8_t* p) {
    return qFromLittleEndian<double>(p);
}
inline float readFloat(const std::uint8_t* p) {
    return qFromLittleEndian<float>(p);
}

// An exact decimal (17 bytes): a sign byte (0x80: negative), then a 128-bit
// magnitude as four little-endian 32-bit words, most significant first; scale
// digits after the point. Appended without trailing zeros after the point.
void AppendDecimal(std::string& out, const std::uint8_t* p, int scale);

// The result a calculated column stored (Access 2010 and later): the stored
// value is 16 bytes Access keeps for itself, the length of the result, the
// result, then padding. Empty when no result was stored (a Null result).
std::span<const std::uint8_t> CalculatedResult(std::span<const std::uint8_t> stored);

// An exact decimal as a calculated column stores its result: the length of
// what follows, the scale, a sign byte (not zero: negative), then the
// magnitude in little-endian words, most significant first: a 32-bit word
// first when the magnitude's length is not a multiple of 8, then 64-bit
// words; at most 16 bytes. False, with nothing appended, when the bytes are
// too few for that.
bool AppendCalculatedDecimal(std::string& out, std::span<const std::uint8_t> result);

// Appends stored text as UTF-8: Jet 3 text in the file's code page
// (jet3Text), Jet 4 and ACE text as UTF-16, plain or compressed.
void AppendStoredText(std::string& out, std::span<const std::uint8_t> stored,
                      const jet::CodePageDecoder* jet3Text);

// A value of the column's type from its stored bytes (a memo: the long
// value's bytes; a calculated column: the unwrapped result). Nothing when the
// bytes are too few for the type, which is damage.
std::optional<Value> DecodeValue(const ColumnInfo& column, std::span<const std::uint8_t> stored,
                                 const jet::CodePageDecoder* jet3Text);

}  // namespace stored
}  // namespace qm
