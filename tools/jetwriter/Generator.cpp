#include "Generator.h"

#include "Values.h"

#include <QStringList>

#include <array>
#include <cmath>

namespace qm::jetwriter {

namespace {

const std::array kFirstNames = {"Anna",    "Bruno", "Chiara", "Dmitri", "Elena", "Farid", "Greta",  "Hugo",
                                "Ingrid",  "Jonas", "Kofi",   "Lena",   "Marta", "Nils",  "Olivia", "Pavel",
                                "Quentin", "Rosa",  "Sven",   "Tomás",  "Ulla",  "Vera",  "Wim",    "Zoë"};
const std::array kLastNames = {"Albrecht", "Bianchi",   "Castillo", "Dubois", "Eriksson",
                               "Fischer",  "García",    "Hansen",   "Ito",    "Jovanović",
                               "Kowalski", "Lindqvist", "Moreau",   "Novak",  "O'Brien",
                               "Petrov",   "Rossi",     "Schmidt",  "Tanaka", "Weiß"};
const std::array kCompanyWords = {"Alpine", "Harbour", "Northwind", "Blue Fern", "Granite",   "Lantern",
                                  "Meadow", "Copper",  "Juniper",   "Orchard",   "Riverside", "Summit"};
const std::array kCompanySuffixes = {"Trading", "Foods",    "& Sons",  "GmbH",
                                     "Ltd.",    "Supplies", "Imports", "Co."};
const std::array kCities = {"Lisboa", "München", "Kraków",  "Göteborg", "Lyon",   "Porto",  "Zürich",
                            "Bergen", "Sevilla", "Tallinn", "Utrecht",  "Bremen", "Aarhus", "Graz"};
const std::array kCountries = {"Portugal", "Germany", "Poland",  "Sweden",      "France",  "Switzerland",
                               "Norway",   "Spain",   "Estonia", "Netherlands", "Denmark", "Austria"};
const std::array kProducts = {"Rooibos Tea",     "Smoked Trout",    "Olive Oil",       "Rye Crispbread",
                              "Fig Jam",         "Mountain Cheese", "Dark Chocolate",  "Espresso Beans",
                              "Sea Salt",        "Maple Syrup",     "Pickled Herring", "Saffron",
                              "Lingonberry Jam", "Almond Biscuits"};
const std::array kWords = {"order",  "delivery", "invoice", "pallet",   "crate",   "customer",
                           "shelf",  "urgent",   "fragile", "returned", "checked", "packed",
                           "sample", "priority", "weekly",  "spare",    "north",   "south",
                           "cold",   "dry",      "large",   "small",    "blue",    "green"};
const std::array kSentences = {
    "Deliver to the side entrance before noon.",
    "Customer asked for a printed invoice, \"not by e-mail\".",
    "Two cartons arrived damaged; replacement sent on the next run.",
    "Call ahead: the loading bay closes at 16:00.",
    "Prices agreed with the regional manager, valid until further notice.",
    "Keep refrigerated, between 2 and 6 °C.",
    "Paid in advance; no reminder needed.",
    "Pallet exchange, 3 × EUR pallets.",
};

QString pick(const auto& list, std::uint32_t index) {
    return QString::fromUtf8(list[index % list.size()]);
}

bool nameHas(const QString& name, const char* word) {
    return name.contains(QLatin1String(word), Qt::CaseInsensitive);
}

}  // namespace

RowGenerator::RowGenerator(const Table& table, std::uint64_t seed, double nullRate)
    : table_(table), state_(seed ^ 0x9E3779B97F4A7C15ull) {
    const double rate = std::clamp(nullRate, 0.0, 1.0);
    nullThreshold_ = rate >= 1.0 ? 0xFFFFFFFFu : std::uint32_t(rate * 4294967296.0);
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const Column& c = table.columns[i];
        Kind kind = Kind::Words;
        const ColumnType type = ValueType(c);
        if (type == ColumnType::Memo)
            kind = Kind::Note;
        else if (i == 0 && (type == ColumnType::Long || type == ColumnType::Integer))
            kind = Kind::Counter;
        else if (nameHas(c.name, "mail"))
            kind = Kind::Email;
        else if (nameHas(c.name, "phone") || nameHas(c.name, "fax"))
            kind = Kind::Phone;
        else if (nameHas(c.name, "company") || nameHas(c.name, "customer") || nameHas(c.name, "supplier"))
            kind = Kind::Company;
        else if (nameHas(c.name, "city") || nameHas(c.name, "town"))
            kind = Kind::City;
        else if (nameHas(c.name, "country"))
            kind = Kind::Country;
        else if (nameHas(c.name, "product") || nameHas(c.name, "item"))
            kind = Kind::Product;
        else if (nameHas(c.name, "name") || nameHas(c.name, "contact"))
            kind = Kind::PersonName;
        kinds_.push_back(kind);
    }
}

// splitmix64: small, fast and the same everywhere.
std::uint64_t RowGenerator::random() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t RowGenerator::below(std::uint32_t bound) {
    return std::uint32_t((random() >> 32) * bound >> 32);
}

void RowGenerator::next(std::vector<Cell>& row) {
    ++rowNumber_;
    row.resize(table_.columns.size());
    for (std::size_t i = 0; i < table_.columns.size(); ++i) {
        const Column& c = table_.columns[i];
        const bool canBeNull =
            c.nullable && ValueType(c) != ColumnType::Boolean && kinds_[i] != Kind::Counter;
        if (canBeNull && nullThreshold_ && std::uint32_t(random() >> 32) < nullThreshold_)
            row[i] = std::monostate{};
        else
            row[i] = value(c, kinds_[i]);
    }
}

Cell RowGenerator::value(const Column& column, Kind kind) {
    switch (ValueType(column)) {
        case ColumnType::Byte:
            return std::int64_t(below(256));
        case ColumnType::Integer:
            return kind == Kind::Counter ? std::int64_t(rowNumber_ % 32768) : std::int64_t(below(2000)) - 100;
        case ColumnType::Long:
            return kind == Kind::Counter ? std::int64_t(rowNumber_) : std::int64_t(below(1000000));
        case ColumnType::Single:
            return double(float(below(100000)) / 100.0f);
        case ColumnType::Double:
            return double(below(10000000)) / 1000.0 - 2000.0;
        case ColumnType::Currency:
            return Currency{std::int64_t(below(5000000)) * 100};
        case ColumnType::DateTime: {
            const auto date = MakeDateTime(1990 + int(below(40)), 1 + int(below(12)), 1 + int(below(28)));
            const double time = below(2) ? double(below(86400)) / 86400.0 : 0.0;
            return DateTime{date->days + time};
        }
        case ColumnType::Boolean:
            return below(2) == 1;
        case ColumnType::Guid: {
            Guid g;
            for (auto& b : g.bytes)
                b = std::uint8_t(random());
            g.bytes[7] = std::uint8_t((g.bytes[7] & 0x0F) | 0x40);  // version 4
            g.bytes[8] = std::uint8_t((g.bytes[8] & 0x3F) | 0x80);
            return g;
        }
        case ColumnType::Memo:
            return note();
        case ColumnType::Text:
            break;
    }
    return words(kind).left(column.size);
}

// A memo of a few sentences; now and then a long one, stored on long-value pages.
QString RowGenerator::note() {
    QString note;
    const std::uint32_t sentences = below(1000) == 0 ? 150 + below(100) : 1 + below(4);
    for (std::uint32_t s = 0; s < sentences; ++s) {
        if (!note.isEmpty())
            note += s % 7 == 6 ? QStringLiteral("\r\n") : QStringLiteral(" ");
        note += pick(kSentences, below(kSentences.size()));
    }
    return note;
}

// A text of the kind the column's name suggests.
QString RowGenerator::words(Kind kind) {
    QString text;
    switch (kind) {
        case Kind::PersonName:
            text = pick(kFirstNames, below(kFirstNames.size())) + QLatin1Char(' ') +
                   pick(kLastNames, below(kLastNames.size()));
            break;
        case Kind::Company:
            text = pick(kCompanyWords, below(kCompanyWords.size())) + QLatin1Char(' ') +
                   pick(kCompanySuffixes, below(kCompanySuffixes.size()));
            break;
        case Kind::City:
            text = pick(kCities, below(kCities.size()));
            break;
        case Kind::Country:
            text = pick(kCountries, below(kCountries.size()));
            break;
        case Kind::Email:
            text = pick(kFirstNames, below(kFirstNames.size())).toLower() + QLatin1Char('.') +
                   QString::number(below(1000)) + QStringLiteral("@example.com");
            break;
        case Kind::Phone:
            text = QStringLiteral("+%1 %2 %3")
                       .arg(30 + below(20))
                       .arg(below(900) + 100)
                       .arg(below(9000000) + 1000000);
            break;
        case Kind::Product:
            text = pick(kProducts, below(kProducts.size()));
            break;
        default: {
            const std::uint32_t count = 1 + below(4);
            for (std::uint32_t w = 0; w < count; ++w) {
                if (w)
                    text += QLatin1Char(' ');
                text += pick(kWords, below(kWords.size()));
            }
        }
    }
    return text;
}

}  // namespace qm::jetwriter
