#pragma once

// The column properties Access keeps for a table (the LvProp value of its row
// in MSysObjects), and the wrapping of a calculated column's stored results:
// the parts of the file that describe calculated columns.

#include "JetWriter.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qm::jetwriter {

// One property: its name, the Jet type code of its value and the value's bytes.
struct Property {
    QString name;
    std::uint8_t type = 0;
    std::vector<std::uint8_t> value;
};

// The properties of one column.
struct ColumnProperties {
    QString column;
    std::vector<Property> properties;
};

// The LvProp blob of a Jet 4 or ACE table: the "MR2" signature, the chunk of
// property names, an empty chunk for the table itself and a chunk per column.
std::vector<std::uint8_t> EncodeProperties(const std::vector<ColumnProperties>& columns);

// The properties Access gives a calculated column: its ResultType (a Byte, the
// result's type code; left out when none is given) and its Expression (a Memo).
ColumnProperties CalculatedColumnProperties(const QString& column, std::optional<std::uint8_t> resultType,
                                            const QString& expression);

// The properties of a lookup (a combo box over its row source), and of a
// rich-text memo (TextFormat 1).
std::vector<Property> LookupProperties(const Lookup& lookup);
std::vector<Property> RichTextProperties();

// A result as a calculated column stores it: 16 bytes Access keeps for
// itself (zeros), the 32-bit length of the result, the result, 3 bytes of padding.
std::vector<std::uint8_t> WrapCalculatedResult(std::span<const std::uint8_t> result);

// The length a calculated column's entry declares: 39 bytes for results of a
// fixed size, as Access declares them; two bytes a character less one for
// text; 0 for a memo.
int CalculatedDeclaredLength(ColumnType result, int textSize);

}  // namespace qm::jetwriter
