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
// value is 16 bytes Access keeps for itself, the 32-bit length of the result,
// the result, then padding. Empty when no result was stored (a Null result);
// nothing when the bytes are not in that form (too few for the wrapping, or a
// length past them).
std::optional<std::span<const std::uint8_t>> CalculatedResult(std::span<const std::uint8_t> stored);

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
// value's bytes). Nothing when the bytes do not have the size of the type:
// they are never read as another size.
std::optional<Value> DecodeValue(const ColumnInfo& column, std::span<const std::uint8_t> stored,
                                 const jet::CodePageDecoder* jet3Text);

// A calculated column's unwrapped result as a value of its result type (a
// type code as the ResultType property gives it). Nothing for a type no
// calculated column can have, or bytes that do not have the size of the type.
std::optional<Value> DecodeCalculatedResult(int resultType, std::span<const std::uint8_t> result,
                                            const jet::CodePageDecoder* jet3Text);

// The placeholder text of a value of the type that cannot be decoded:
// "Double value", "Date/Time value", ...
const char* ValueKindPlaceholder(int type);

}  // namespace stored
}  // namespace qm
