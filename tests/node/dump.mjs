// Dumps an Access file as JSON with the mdb-reader package, an independent
// reader used to check the files our Jet writer makes.
//
//   node dump.mjs FILE [--names-only] [--max-rows N]
//
// Output: {"password": text or null,
//          "tables": [{"name", "rowCount", "columns": [{"name", "type", "size"}],
//                      "rows": [[value, ...], ...]}]}
// Values: null, true/false, numbers (byte, integer, long, single, double),
// text (text, memo, currency as exact decimal, replication ID), and date/time
// as milliseconds since 1970-01-01 UTC.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const args = process.argv.slice(2);
const file = args.find((a) => !a.startsWith("--"));
const namesOnly = args.includes("--names-only");
const maxRowsAt = args.indexOf("--max-rows");
const maxRows = maxRowsAt >= 0 ? Number(args[maxRowsAt + 1]) : Infinity;
if (!file) {
    console.error("usage: node dump.mjs FILE [--names-only] [--max-rows N]");
    process.exit(2);
}

function plain(value) {
    if (value instanceof Date) return value.getTime();
    if (typeof value === "bigint") return value.toString();
    if (Buffer.isBuffer(value)) return value.toString("hex");
    return value === undefined ? null : value;
}

try {
    const reader = new MDBReader(readFileSync(file));
    const tables = [];
    for (const name of reader.getTableNames()) {
        if (namesOnly) {
            tables.push({ name });
            continue;
        }
        const table = reader.getTable(name);
        const columns = table.getColumns().map((c) => ({ name: c.name, type: c.type, size: c.size }));
        const rows = table
            .getData({ rowLimit: maxRows })
            .map((row) => columns.map((c) => plain(row[c.name])));
        tables.push({ name, rowCount: table.rowCount, columns, rows });
    }
    process.stdout.write(JSON.stringify({ password: reader.getPassword(), tables }));
} catch (error) {
    console.error(`dump.mjs: ${error.message}`);
    process.exit(1);
}
