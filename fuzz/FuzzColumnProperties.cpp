// The property blob of a table (the LvProp value of its MSysObjects row), as
// Access stores it for Jet 3 and for Jet 4 / ACE files: whatever the bytes,
// the reader keeps to them and every property it gives is whole; and every
// text property read as a lookup's row source (SQL text, an expression, a
// value list) parses or is refused, without crashing or running away.

#include "FuzzSupport.h"
#include "database/ColumnProperties.h"
#include "database/Expressions.h"
#include "database/SelectStatements.h"
#include "database/TextDecoding.h"

#include <cstdint>
#include <span>

namespace {

void check(const qm::ObjectProperties& properties, const qm::jet::CodePageDecoder* jet3Text,
           std::size_t size) {
    std::size_t bytes = 0;
    const auto visit = [&](const qm::PropertyBlock& block) {
        for (const qm::StoredProperty& property : block.properties) {
            bytes += property.bytes.size();
            (void)property.integer();
            if (const std::optional<QString> text = property.text(jet3Text)) {
                (void)qm::ParseSelectStatement(*text);
                (void)qm::SplitOutsideQuotes(*text, QLatin1Char(';'));
                if (const std::optional<qm::Expression> e = qm::Expression::parse(*text))
                    (void)e->evaluate(
                        [](std::size_t) { return qm::Value::fromQString(QStringLiteral("7")); });
            }
            qm::fuzz::require(block.find(property.name) != nullptr, "a property is found by its name");
        }
    };
    visit(properties.object);
    for (const qm::PropertyBlock& block : properties.columns) {
        visit(block);
        qm::fuzz::require(properties.column(block.owner) != nullptr, "a column's block is found by its name");
    }
    qm::fuzz::require(bytes <= size, "the values read fit in the blob");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::fuzz::quietQt();
    static const qm::jet::CodePageDecoder westernEurope(1252);
    const std::span<const std::uint8_t> blob(data, size);
    check(qm::ParseProperties(blob, nullptr), nullptr, size);
    check(qm::ParseProperties(blob, &westernEurope), &westernEurope, size);
    return 0;
}
