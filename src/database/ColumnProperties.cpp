#include "database/ColumnProperties.h"

#include "database/DatabaseMessages.h"
#include "database/MdbSupport.h"
#include "database/StoredValues.h"
#include "database/TableReader.h"
#include "database/TextDecoding.h"

#include <cstring>

namespace qm {

using stored::readU16;
using stored::readU32;

namespace {

constexpr std::size_t kSignatureSize = 4;
constexpr std::size_t kChunkHeaderSize = 6;      // length, kind
constexpr std::size_t kNameBlockHeaderSize = 6;  // length of the name block, byte count of the name
constexpr std::size_t kEntryHeaderSize = 8;      // length, flags, type, name index, value byte count
constexpr std::uint16_t kObjectChunk = 0x00;
constexpr std::uint16_t kColumnChunk = 0x01;
constexpr std::uint16_t kNamesChunk = 0x80;

QString decodeName(std::span<const std::uint8_t> bytes, const jet::CodePageDecoder* jet3Text) {
    std::string utf8;
    if (jet3Text)
        jet3Text->append(utf8, bytes.data(), bytes.size());
    else
        jet::AppendJet4Text(utf8, bytes.data(), bytes.size());
    return QString::fromStdString(utf8);
}

std::vector<QString> readNames(std::span<const std::uint8_t> chunk, const jet::CodePageDecoder* jet3Text) {
    std::vector<QString> names;
    std::size_t at = 0;
    while (at + 2 <= chunk.size()) {
        const std::size_t length = readU16(chunk.data() + at);
        at += 2;
        if (length > chunk.size() - at)
            break;
        names.push_back(decodeName(chunk.subspan(at, length), jet3Text));
        at += length;
    }
    return names;
}

// A property chunk's owner and entries; false when its name block does not fit.
bool readBlock(std::span<const std::uint8_t> chunk, const std::vector<QString>& names,
               const jet::CodePageDecoder* jet3Text, PropertyBlock& block) {
    if (chunk.size() < kNameBlockHeaderSize)
        return false;
    const std::size_t nameBlock = readU32(chunk.data());
    const std::size_t nameBytes = readU16(chunk.data() + 4);
    if (nameBlock < kNameBlockHeaderSize + nameBytes || nameBlock > chunk.size())
        return false;
    block.owner = decodeName(chunk.subspan(kNameBlockHeaderSize, nameBytes), jet3Text);
    std::size_t at = nameBlock;
    while (at + kEntryHeaderSize <= chunk.size()) {
        const std::uint8_t* entry = chunk.data() + at;
        const std::size_t length = readU16(entry);
        const std::size_t nameIndex = readU16(entry + 4);
        const std::size_t valueBytes = readU16(entry + 6);
        if (length < kEntryHeaderSize + valueBytes || length > chunk.size() - at)
            break;
        if (nameIndex < names.size())
            block.properties.push_back(
                {names[nameIndex], entry[3],
                 std::string(reinterpret_cast<const char*>(entry + kEntryHeaderSize), valueBytes)});
        at += length;
    }
    return true;
}

}  // namespace

std::optional<std::int64_t> StoredProperty::integer() const {
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    switch (type) {
        case kBoolean:
        case kByte:
            if (bytes.size() == 1)
                return type == kBoolean ? std::int64_t(p[0] != 0) : std::int64_t(p[0]);
            break;
        case kInteger:
            if (bytes.size() == 2)
                return static_cast<std::int16_t>(readU16(p));
            break;
        case kLong:
            if (bytes.size() == 4)
                return static_cast<std::int32_t>(readU32(p));
            break;
        default:
            break;
    }
    return std::nullopt;
}

std::optional<QString> StoredProperty::text(const jet::CodePageDecoder* jet3Text) const {
    if (type != kText && type != kMemo)
        return std::nullopt;
    std::string utf8;
    stored::AppendStoredText(utf8, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                             jet3Text);
    return QString::fromStdString(utf8);
}

const StoredProperty* PropertyBlock::find(const QString& name) const {
    for (const StoredProperty& property : properties) {
        if (property.name.compare(name, Qt::CaseInsensitive) == 0)
            return &property;
    }
    return nullptr;
}

const PropertyBlock* ObjectProperties::column(const QString& name) const {
    for (const PropertyBlock& block : columns) {
        if (block.owner.compare(name, Qt::CaseInsensitive) == 0)
            return &block;
    }
    return nullptr;
}

ObjectProperties ParseProperties(std::span<const std::uint8_t> blob, const jet::CodePageDecoder* jet3Text) {
    ObjectProperties properties;
    if (blob.size() < kSignatureSize ||
        (std::memcmp(blob.data(), "MR2", 4) != 0 && std::memcmp(blob.data(), "KKD", 4) != 0))
        return properties;
    std::vector<QString> names;
    std::size_t at = kSignatureSize;
    while (at + kChunkHeaderSize <= blob.size()) {
        const std::size_t length = readU32(blob.data() + at);
        const std::uint16_t kind = readU16(blob.data() + at + 4);
        if (length < kChunkHeaderSize || length > blob.size() - at)
            break;
        const std::span<const std::uint8_t> chunk =
            blob.subspan(at + kChunkHeaderSize, length - kChunkHeaderSize);
        if (kind == kNamesChunk) {
            names = readNames(chunk, jet3Text);
        } else if (kind == kObjectChunk || kind == kColumnChunk) {
            PropertyBlock block;
            if (!readBlock(chunk, names, jet3Text, block))
                break;
            if (kind == kObjectChunk)
                properties.object = std::move(block);
            else
                properties.columns.push_back(std::move(block));
        }
        at += length;
    }
    return properties;
}

ObjectProperties ReadObjectProperties(const std::shared_ptr<ConnectionState>& state,
                                      const CatalogObject& object, const jet::CodePageDecoder* jet3Text) {
    if (object.catalogPage == 0)
        return {};
    try {
        TableCursor catalogue(state, SystemObjectsTable(), ComplexColumns::Ignore);
        const int id = catalogue.findColumn(QStringLiteral("Id"));
        const int lvProp = catalogue.findColumn(QStringLiteral("LvProp"));
        if (id < 0 || lvProp < 0)
            return {};
        catalogue.seek({object.catalogPage, object.catalogSlot});
        if (!catalogue.next() || catalogue.value(id).asInteger() != object.id || catalogue.isNull(lvProp))
            return {};
        std::string blob;
        if (!catalogue.appendLongValue(lvProp, blob))
            return {};
        return ParseProperties({reinterpret_cast<const std::uint8_t*>(blob.data()), blob.size()}, jet3Text);
    } catch (const DatabaseError&) {
        return {};
    }
}

}  // namespace qm
