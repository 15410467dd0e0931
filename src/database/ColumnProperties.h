#pragma once

// Internal to the database layer: the properties Access keeps for a table and
// for each of its columns (a caption, a format, a calculated column's
// expression and result type, a lookup's row source, ...). They are not part
// of the table definition: they live in the LvProp value of the table's row in
// MSysObjects, a blob laid out as follows (all numbers little-endian):
//
//   signature   4 bytes, "MR2\0" or "KKD\0"
//   chunks      each: a 32-bit length (counting its own 6 header bytes) and
//               a 16-bit kind, then
//     kind 0x80   the property names: per name a 16-bit byte count and the
//                 name (UTF-16LE; Jet 3: the file's code page);
//     kind 0x00   the properties of the table itself,
//     kind 0x01   the properties of one column: a 32-bit length of the name
//                 block (counting itself), a 16-bit byte count and the
//                 owner's name (the column's; empty for the table), then the
//                 entries, each a 16-bit length (counting itself), a flag
//                 byte, the value's column type, the 16-bit index of its name
//                 among the names, the 16-bit byte count of the value, and
//                 the value.
//
// Everything is checked against the blob's length; a chunk that does not fit
// ends the reading, and what was read before it is kept.

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qm {

struct CatalogObject;
struct ConnectionState;
namespace jet {
class CodePageDecoder;
}

// One property: its name, the column type of its value and the value's bytes.
struct StoredProperty {
    QString name;
    int type = 0;  // JetColumnType
    std::string bytes;

    // A whole number stored as Yes/No, Byte, Integer or Long with exactly the
    // bytes of that type; nothing otherwise.
    std::optional<std::int64_t> integer() const;
    // A Text or Memo value as text; nothing for other types.
    std::optional<QString> text(const jet::CodePageDecoder* jet3Text) const;
};

// The properties of the table or of one of its columns.
struct PropertyBlock {
    QString owner;  // the column's name; empty for the table
    std::vector<StoredProperty> properties;

    // The property of that name (ignoring case, as Access does), or nullptr.
    const StoredProperty* find(const QString& name) const;
};

struct ObjectProperties {
    PropertyBlock object;
    std::vector<PropertyBlock> columns;

    // The properties of the column of that name (ignoring case), or nullptr.
    const PropertyBlock* column(const QString& name) const;
};

// The properties a blob holds; empty when it is not a property blob.
ObjectProperties ParseProperties(std::span<const std::uint8_t> blob, const jet::CodePageDecoder* jet3Text);

// The properties of a catalogue object, read from its row of MSysObjects;
// empty when the row has none or cannot be read (the properties then simply
// are not known: nothing else of the object depends on them).
ObjectProperties ReadObjectProperties(const std::shared_ptr<ConnectionState>& state,
                                      const CatalogObject& object, const jet::CodePageDecoder* jet3Text);

}  // namespace qm
