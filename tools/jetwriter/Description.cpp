#include "Description.h"

#include "Generator.h"
#include "Values.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>

#include <cmath>

namespace qm::jetwriter {

namespace {

const QString kRepeatPlaceholder = QStringLiteral("{n}");

QString quoted(const QString& s) {
    return QLatin1Char('"') + s + QLatin1Char('"');
}

std::optional<ColumnType> typeFromName(const QString& name) {
    static const std::pair<const char*, ColumnType> names[] = {
        {"text", ColumnType::Text},         {"memo", ColumnType::Memo},
        {"byte", ColumnType::Byte},         {"integer", ColumnType::Integer},
        {"long", ColumnType::Long},         {"single", ColumnType::Single},
        {"double", ColumnType::Double},     {"currency", ColumnType::Currency},
        {"datetime", ColumnType::DateTime}, {"boolean", ColumnType::Boolean},
        {"guid", ColumnType::Guid},
    };
    for (const auto& [text, type] : names) {
        if (name == QLatin1String(text))
            return type;
    }
    return std::nullopt;
}

void checkKeys(const QJsonObject& object, std::initializer_list<const char*> allowed, const QString& where) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool known = false;
        for (const char* key : allowed)
            known = known || it.key() == QLatin1String(key);
        if (!known)
            throw WriteError(QStringLiteral("%1: unknown key %2.").arg(where, quoted(it.key())));
    }
}

// Line and column of a byte offset, for parse errors.
QString positionOf(const QByteArray& json, int offset) {
    int line = 1, column = 1;
    for (int i = 0; i < offset && i < json.size(); ++i) {
        if (json[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

std::int64_t wholeNumber(const QJsonValue& value, const QString& where, std::int64_t low, std::int64_t high) {
    const double d = value.toDouble(std::nan(""));
    if (!value.isDouble() || d != std::trunc(d) || d < double(low) || d > double(high))
        throw WriteError(
            QStringLiteral("%1 must be a whole number from %2 to %3.").arg(where).arg(low).arg(high));
    return std::int64_t(d);
}

// {"result": TYPE, "expression": TEXT}: the result type's values are the column's.
Calculation parseCalculation(const QJsonValue& value, const QString& place) {
    const QString where = place + QStringLiteral(": \"calculated\"");
    if (!value.isObject())
        throw WriteError(QStringLiteral("%1 must be an object.").arg(where));
    const QJsonObject o = value.toObject();
    checkKeys(o, {"result", "expression", "recordedType"}, where);
    const auto result = typeFromName(o.value(QLatin1String("result")).toString());
    if (!result)
        throw WriteError(
            QStringLiteral("%1 needs a \"result\" type: text, memo, byte, integer, long, single, "
                           "double, currency, datetime, boolean or guid.")
                .arg(where));
    if (o.contains(QLatin1String("expression")) && !o.value(QLatin1String("expression")).isString())
        throw WriteError(QStringLiteral("%1: \"expression\" must be a text.").arg(where));
    Calculation calculation{*result, o.value(QLatin1String("expression")).toString()};
    if (o.contains(QLatin1String("recordedType"))) {
        const QJsonValue recorded = o.value(QLatin1String("recordedType"));
        calculation.recorded = !recorded.isNull();
        if (calculation.recorded)
            calculation.recordedType =
                int(wholeNumber(recorded, where + QStringLiteral(": \"recordedType\""), 0, 255));
    }
    return calculation;
}

// {"rowSource": TEXT, "rowSourceType": "Table/Query" | "Value List",
//  "boundColumn": N, "columnCount": N, "columnWidths": TEXT}
Lookup parseLookup(const QJsonValue& value, const QString& place) {
    const QString where = place + QStringLiteral(": \"lookup\"");
    if (!value.isObject())
        throw WriteError(QStringLiteral("%1 must be an object.").arg(where));
    const QJsonObject o = value.toObject();
    checkKeys(o, {"rowSource", "rowSourceType", "boundColumn", "columnCount", "columnWidths"}, where);
    Lookup lookup;
    const auto text = [&](const char* key, QString& out) {
        if (!o.contains(QLatin1String(key)))
            return;
        if (!o.value(QLatin1String(key)).isString())
            throw WriteError(QStringLiteral("%1: \"%2\" must be a text.").arg(where, QLatin1String(key)));
        out = o.value(QLatin1String(key)).toString();
    };
    text("rowSource", lookup.rowSource);
    text("rowSourceType", lookup.rowSourceType);
    text("columnWidths", lookup.columnWidths);
    if (o.contains(QLatin1String("columnCount")))
        lookup.columnCount = int(wholeNumber(o.value(QLatin1String("columnCount")),
                                             where + QStringLiteral(": columnCount"), 1, 255));
    if (o.contains(QLatin1String("boundColumn")))
        lookup.boundColumn = int(wholeNumber(o.value(QLatin1String("boundColumn")),
                                             where + QStringLiteral(": boundColumn"), 1, lookup.columnCount));
    return lookup;
}

bool flag(const QJsonObject& o, const char* key, const QString& place) {
    if (!o.contains(QLatin1String(key)))
        return false;
    if (!o.value(QLatin1String(key)).isBool())
        throw WriteError(QStringLiteral("%1: \"%2\" must be true or false.").arg(place, QLatin1String(key)));
    return o.value(QLatin1String(key)).toBool();
}

Column parseColumn(const QJsonValue& value, const QString& where) {
    if (!value.isObject())
        throw WriteError(QStringLiteral("%1 must be an object.").arg(where));
    const QJsonObject o = value.toObject();
    checkKeys(o, {"name", "type", "size", "nullable", "calculated", "lookup", "hyperlink", "richText"},
              where);
    Column c;
    if (!o.value(QLatin1String("name")).isString())
        throw WriteError(QStringLiteral("%1 needs a \"name\" text.").arg(where));
    c.name = o.value(QLatin1String("name")).toString();
    const QString place = QStringLiteral("%1 (%2)").arg(where, quoted(c.name));
    const auto type = typeFromName(o.value(QLatin1String("type")).toString());
    if (!type)
        throw WriteError(
            QStringLiteral("%1: unknown type %2; use text, memo, byte, integer, long, single, double, "
                           "currency, datetime, boolean or guid.")
                .arg(place, quoted(o.value(QLatin1String("type")).toVariant().toString())));
    c.type = *type;
    if (o.contains(QLatin1String("calculated")))
        c.calculated = parseCalculation(o.value(QLatin1String("calculated")), place);
    if (o.contains(QLatin1String("lookup")))
        c.lookup = parseLookup(o.value(QLatin1String("lookup")), place);
    c.hyperlink = flag(o, "hyperlink", place);
    c.richText = flag(o, "richText", place);
    if ((c.hyperlink || c.richText) && c.type != ColumnType::Memo)
        throw WriteError(QStringLiteral("%1: only memo columns hold hyperlinks or rich text.").arg(place));
    if (o.contains(QLatin1String("size"))) {
        if (ValueType(c) != ColumnType::Text)
            throw WriteError(QStringLiteral("%1: only text columns take a size.").arg(place));
        c.size = int(wholeNumber(o.value(QLatin1String("size")), place + QStringLiteral(": \"size\""), 1,
                                 kMaxTextSize));
    }
    if (o.contains(QLatin1String("nullable"))) {
        if (!o.value(QLatin1String("nullable")).isBool())
            throw WriteError(QStringLiteral("%1: \"nullable\" must be true or false.").arg(place));
        c.nullable = o.value(QLatin1String("nullable")).toBool();
        if (c.nullable && c.type == ColumnType::Boolean && !c.calculated)
            throw WriteError(QStringLiteral("%1: boolean columns cannot hold Null in Access.").arg(place));
    }
    if (c.type == ColumnType::Boolean && !c.calculated)
        c.nullable = false;
    return c;
}

// A share from 0 to 1, or nothing when the value is not a number.
std::optional<double> share(const QJsonValue& value, const QString& where) {
    if (!value.isDouble())
        return std::nullopt;
    if (value.toDouble() < 0 || value.toDouble() > 1)
        throw WriteError(QStringLiteral("%1 must be a share from 0 to 1.").arg(where));
    return value.toDouble();
}

// "layout": {"moved": [rows] or share, "short": [[row, columns], ...] or share, "seed": n}
LayoutSpec parseLayout(const QJsonValue& value, const QString& where, std::int64_t rows, int columns) {
    if (!value.isObject())
        throw WriteError(QStringLiteral("%1 must be an object.").arg(where));
    const QJsonObject o = value.toObject();
    checkKeys(o, {"moved", "short", "seed"}, where);
    LayoutSpec layout;
    auto rowNumber = [&](const QJsonValue& v, const QString& place) {
        if (rows == 0)
            throw WriteError(QStringLiteral("%1: the table has no rows.").arg(place));
        return wholeNumber(v, place + QStringLiteral(" row"), 1, rows);
    };
    auto fewerColumns = [&](const QString& place) {
        if (columns < 2)
            throw WriteError(
                QStringLiteral("%1: a table of one column has no rows that hold fewer.").arg(place));
    };
    if (o.contains(QLatin1String("moved"))) {
        const QString place = where + QStringLiteral(" \"moved\"");
        const QJsonValue moved = o.value(QLatin1String("moved"));
        if (const auto part = share(moved, place)) {
            layout.movedShare = *part;
        } else if (moved.isArray()) {
            for (const QJsonValue row : moved.toArray()) {
                if (!layout.moved.insert(rowNumber(row, place)).second)
                    throw WriteError(
                        QStringLiteral("%1 lists row %2 twice.").arg(place).arg(row.toInteger()));
            }
        } else {
            throw WriteError(QStringLiteral("%1 must be a share from 0 to 1 or a list of rows.").arg(place));
        }
    }
    if (o.contains(QLatin1String("short"))) {
        const QString place = where + QStringLiteral(" \"short\"");
        const QJsonValue shortRows = o.value(QLatin1String("short"));
        if (const auto part = share(shortRows, place)) {
            if (*part > 0)
                fewerColumns(place);
            layout.shortShare = *part;
        } else if (shortRows.isArray()) {
            for (const QJsonValue entry : shortRows.toArray()) {
                const QJsonArray pair = entry.toArray();
                if (!entry.isArray() || pair.size() != 2)
                    throw WriteError(
                        QStringLiteral("%1 must list [row, columns] pairs, such as [3, 1].").arg(place));
                fewerColumns(place);
                const std::int64_t row = rowNumber(pair[0], place);
                const int held = int(
                    wholeNumber(pair[1], QStringLiteral("%1, row %2: the columns held").arg(place).arg(row),
                                1, columns - 1));
                if (!layout.shortRows.emplace(row, held).second)
                    throw WriteError(QStringLiteral("%1 lists row %2 twice.").arg(place).arg(row));
            }
        } else {
            throw WriteError(
                QStringLiteral("%1 must be a share from 0 to 1 or a list of [row, columns] pairs.")
                    .arg(place));
        }
    }
    if (o.contains(QLatin1String("seed")))
        layout.seed = std::uint64_t(wholeNumber(
            o.value(QLatin1String("seed")), where + QStringLiteral(" \"seed\""), 0, std::int64_t(1) << 53));
    return layout;
}

// splitmix64's output function: a well-mixed 64 bits for any input.
std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

TableSpec parseTable(const QJsonValue& value, int index) {
    QString where = QStringLiteral("tables[%1]").arg(index);
    if (!value.isObject())
        throw WriteError(QStringLiteral("%1 must be an object.").arg(where));
    const QJsonObject o = value.toObject();
    checkKeys(o, {"name", "columns", "rows", "generate", "repeat", "layout"}, where);
    TableSpec t;
    if (!o.value(QLatin1String("name")).isString())
        throw WriteError(QStringLiteral("%1 needs a \"name\" text.").arg(where));
    t.schema.name = o.value(QLatin1String("name")).toString();
    where = QStringLiteral("Table %1").arg(quoted(t.schema.name));

    if (!o.value(QLatin1String("columns")).isArray())
        throw WriteError(QStringLiteral("%1 needs a \"columns\" list.").arg(where));
    const QJsonArray columns = o.value(QLatin1String("columns")).toArray();
    for (int i = 0; i < columns.size(); ++i)
        t.schema.columns.push_back(
            parseColumn(columns[i], QStringLiteral("%1, columns[%2]").arg(where).arg(i)));

    if (o.contains(QLatin1String("repeat"))) {
        t.repeat = int(wholeNumber(o.value(QLatin1String("repeat")), where + QStringLiteral(": \"repeat\""),
                                   0, 1000000));
        if (t.repeat != 1 && !t.schema.name.contains(kRepeatPlaceholder))
            throw WriteError(QStringLiteral("%1: a repeated table needs {n} in its name.").arg(where));
    }
    if (o.contains(QLatin1String("rows")) && o.contains(QLatin1String("generate")))
        throw WriteError(QStringLiteral("%1: give either \"rows\" or \"generate\", not both.").arg(where));
    if (o.contains(QLatin1String("rows"))) {
        if (!o.value(QLatin1String("rows")).isArray())
            throw WriteError(QStringLiteral("%1: \"rows\" must be a list of rows.").arg(where));
        t.rows = o.value(QLatin1String("rows")).toArray();
    }
    if (o.contains(QLatin1String("generate"))) {
        const QJsonValue g = o.value(QLatin1String("generate"));
        const QString place = where + QStringLiteral(": \"generate\"");
        if (!g.isObject())
            throw WriteError(QStringLiteral("%1 must be an object.").arg(place));
        const QJsonObject go = g.toObject();
        checkKeys(go, {"count", "seed", "nulls"}, place);
        GenerateSpec generation;
        generation.count = wholeNumber(go.value(QLatin1String("count")), place + QStringLiteral(" \"count\""),
                                       0, std::int64_t(1) << 40);
        if (go.contains(QLatin1String("seed")))
            generation.seed =
                std::uint64_t(wholeNumber(go.value(QLatin1String("seed")),
                                          place + QStringLiteral(" \"seed\""), 0, std::int64_t(1) << 53));
        if (go.contains(QLatin1String("nulls"))) {
            const QJsonValue nulls = go.value(QLatin1String("nulls"));
            if (!nulls.isDouble() || nulls.toDouble() < 0 || nulls.toDouble() > 1)
                throw WriteError(QStringLiteral("%1 \"nulls\" must be a share from 0 to 1.").arg(place));
            generation.nullRate = nulls.toDouble();
        }
        t.generate = generation;
    }
    if (o.contains(QLatin1String("layout")))
        t.layout =
            parseLayout(o.value(QLatin1String("layout")), where + QStringLiteral(": \"layout\""),
                        t.rows.size() + (t.generate ? t.generate->count : 0), int(t.schema.columns.size()));
    return t;
}

}  // namespace

RowLayout LayoutSpec::of(std::int64_t row, int copy, int columns) const {
    RowLayout layout;
    layout.moved = moved.contains(row);
    if (const auto found = shortRows.find(row); found != shortRows.end())
        layout.columns = found->second;
    if (movedShare == 0 && shortShare == 0)
        return layout;
    // Each row's own draws, so that a row's layout does not depend on the others.
    const std::uint64_t base =
        mix(seed * 0x9E3779B97F4A7C15ull + std::uint64_t(copy)) + std::uint64_t(row) * 3;
    auto unit = [&](std::uint64_t salt) { return double(mix(base + salt) >> 11) * 0x1p-53; };
    if (movedShare > 0 && unit(0) < movedShare)
        layout.moved = true;
    if (shortShare > 0 && columns > 1 && unit(1) < shortShare)
        layout.columns = 1 + int(mix(base + 2) % std::uint64_t(columns - 1));
    return layout;
}

QString RepeatedName(const QString& pattern, int index) {
    QString name = pattern;
    return name.replace(kRepeatPlaceholder, QString::number(index));
}

Description ParseDescription(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        throw WriteError(QStringLiteral("The description is not valid JSON (%1): %2.")
                             .arg(positionOf(json, error.offset), error.errorString()));
    if (!document.isObject())
        throw WriteError(QStringLiteral("The description must be a JSON object with a \"tables\" list."));
    const QJsonObject root = document.object();
    checkKeys(root, {"password", "created", "tables"}, QStringLiteral("The description"));

    Description d;
    if (root.contains(QLatin1String("password"))) {
        if (!root.value(QLatin1String("password")).isString())
            throw WriteError(QStringLiteral("\"password\" must be text."));
        d.options.password = root.value(QLatin1String("password")).toString();
        if (d.options.password.size() > kMaxPasswordLength)
            throw WriteError(QStringLiteral("\"password\" has %1 characters; Jet 4 keeps at most %2.")
                                 .arg(d.options.password.size())
                                 .arg(kMaxPasswordLength));
    }
    if (root.contains(QLatin1String("created"))) {
        const auto created = ParseDateTime(root.value(QLatin1String("created")).toString());
        if (!created)
            throw WriteError(QStringLiteral("\"created\" must be a date such as \"2024-01-31 12:00:00\"."));
        d.options.created = *created;
    }
    if (!root.value(QLatin1String("tables")).isArray())
        throw WriteError(QStringLiteral("The description needs a \"tables\" list (it may be empty)."));
    const QJsonArray tables = root.value(QLatin1String("tables")).toArray();
    QSet<QString> names;
    for (int i = 0; i < tables.size(); ++i) {
        TableSpec t = parseTable(tables[i], i);
        // Duplicates of repeated tables are found while writing.
        if (t.repeat == 1) {
            const QString key = t.schema.name.toCaseFolded();
            if (names.contains(key))
                throw WriteError(QStringLiteral("Table %1 is described twice (names ignore case).")
                                     .arg(quoted(t.schema.name)));
            names.insert(key);
        }
        d.tables.push_back(std::move(t));
    }
    return d;
}

Cell CellFromJson(const Column& column, const QJsonValue& value) {
    if (value.isNull())
        return std::monostate{};
    auto expected = [&](const char* what) {
        return WriteError(
            QStringLiteral("expected %1, found %2.")
                .arg(QLatin1String(what),
                     QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact))
                         .mid(1)
                         .chopped(1)));
    };
    switch (ValueType(column)) {
        case ColumnType::Text:
        case ColumnType::Memo:
            if (!value.isString())
                throw expected("text");
            return value.toString();
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long: {
            const double d = value.toDouble();
            if (!value.isDouble() || d != std::trunc(d) || std::fabs(d) > 9.0e15)
                throw expected("a whole number");
            return std::int64_t(d);
        }
        case ColumnType::Single:
        case ColumnType::Double:
            if (!value.isDouble())
                throw expected("a number");
            return value.toDouble();
        case ColumnType::Currency:
            if (value.isDouble())
                return value.toDouble();
            if (value.isString()) {
                if (const auto c = ParseCurrency(value.toString()))
                    return *c;
            }
            throw expected("a number or a decimal text with at most four places");
        case ColumnType::DateTime:
            if (value.isDouble())
                return DateTime{value.toDouble()};
            if (value.isString()) {
                if (const auto t = ParseDateTime(value.toString()))
                    return *t;
            }
            throw expected("a date such as \"1999-12-31 23:59:59\" (years 100 to 9999)");
        case ColumnType::Boolean:
            if (!value.isBool())
                throw expected("true or false");
            return value.toBool();
        case ColumnType::Guid:
            if (value.isString()) {
                if (const auto g = ParseGuid(value.toString()))
                    return *g;
            }
            throw expected("a GUID such as \"{6F9619FF-8B86-D011-B42D-00C04FC964FF}\"");
    }
    throw expected("a value");
}

WriteSummary WriteDescription(const Description& description, Writer& writer) {
    WriteSummary summary;
    std::vector<Cell> cells;
    for (const TableSpec& described : description.tables) {
        for (int copy = 1; copy <= described.repeat; ++copy) {
            Table table = described.schema;
            if (described.repeat != 1)
                table.name = RepeatedName(described.schema.name, copy);
            writer.beginTable(table);
            for (int r = 0; r < described.rows.size(); ++r) {
                const QJsonValue rowValue = described.rows[r];
                const QString place = QStringLiteral("Table \"%1\", row %2").arg(table.name).arg(r + 1);
                if (!rowValue.isArray())
                    throw WriteError(place + QStringLiteral(": a row must be a list of values."));
                const QJsonArray values = rowValue.toArray();
                if (std::size_t(values.size()) != table.columns.size())
                    throw WriteError(place + QStringLiteral(": %1 values for %2 columns.")
                                                 .arg(values.size())
                                                 .arg(table.columns.size()));
                const RowLayout layout = described.layout.of(r + 1, copy, int(table.columns.size()));
                cells.assign(table.columns.size(), std::monostate{});
                const std::size_t held = layout.columns > 0 ? std::size_t(layout.columns) : cells.size();
                for (std::size_t c = 0; c < held; ++c) {
                    try {
                        cells[c] = CellFromJson(table.columns[c], values[qsizetype(c)]);
                    } catch (const WriteError& e) {
                        throw WriteError(QStringLiteral("Table \"%1\", column \"%2\", row %3: %4")
                                             .arg(table.name, table.columns[c].name)
                                             .arg(r + 1)
                                             .arg(e.description()));
                    }
                }
                writer.addRow(cells, layout);
            }
            if (described.generate) {
                RowGenerator generator(table, described.generate->seed + std::uint64_t(copy - 1),
                                       described.generate->nullRate);
                for (std::int64_t r = 0; r < described.generate->count; ++r) {
                    generator.next(cells);
                    writer.addRow(cells, described.layout.of(r + 1, copy, int(table.columns.size())));
                }
                summary.rows += described.generate->count;
            }
            summary.rows += described.rows.size();
            writer.endTable();
            ++summary.tables;
        }
    }
    writer.finish();
    summary.pages = writer.pageCount();
    return summary;
}

WriteSummary WriteDescriptionFile(const QByteArray& json, const QString& outputPath) {
    const Description description = ParseDescription(json);
    WriteSummary summary;
    WriteFile(outputPath, description.options,
              [&](Writer& writer) { summary = WriteDescription(description, writer); });
    return summary;
}

}  // namespace qm::jetwriter
