"""Every table of every Access file in the shared corpus, exported by
quillmerge-export and read back by python-docx.

usage: corpus_export_test.py QUILLMERGE_EXPORT CORPUS_DIR

For each file the program can open (with its password): the table list
matches mdb-tables, every table exports with exit status 0, and the document
holds the header line and one paragraph per record. Where mdbtools reads the
file too, the values of the columns whose text form both programs agree on
(text, memo, whole numbers, currency, decimals, Yes/No,
dates) are compared with
mdb-export one by one. Tables that mdb-export misreads (calculated columns,
Date/Time Extended, attachment and multi-value lists, hidden version
history, moved rows) are compared with what Access shows for them instead
(access_shows.json). The value comparison uses --stored-values; what Access
shows for lookups and hyperlinks is worked out here from mdb-export's rows
(SHOWN) and compared with the default export. Exits 77 (skipped) when the
corpus is absent.
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile
from decimal import Decimal

from e2e_support import SKIP, Exporter, first_difference, shown_in_paragraph

# Passwords as the corpus README gives them; files not named here have none.
PASSWORDS = {
    "V2000_with-password.mdb": "password",
    "V2003_with-password.mdb": "password",
    "V2010_with-password.accdb": "password",
    "office-agile-4.4.accdb": "password",
    "access2007-rc4-encrypted.accdb": "Test123",
}
# mdbtools cannot decrypt these. The first two hold the same table as the Jet 4
# file saved with the same password, which mdbtools does read.
TWINS = {
    "V2010_with-password.accdb": "V2000_with-password.mdb",
    "office-agile-4.4.accdb": "V2000_with-password.mdb",
    "access2007-rc4-encrypted.accdb": None,
}

# Tables whose values are known from Access itself rather than from mdb-export.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "access_shows.json"), encoding="utf-8") as f:
    ACCESS_SHOWS = json.load(f)

# Columns that Access shows otherwise than it stores them, and how: a lookup
# (the row source table, its key column, the text shown for a row of it) or
# a hyperlink (display#address#...: the display text, else the address).
SHOWN = {
    "northwind-jet3.mdb": {
        "Order Details": {"ProductID": ("Products", "ProductID", lambda r: r["ProductName"])},
        "Umsätze": {
            "CustomerID": ("Customers", "CustomerID", lambda r: r["CompanyName"]),
            "EmployeeID": ("Employees", "EmployeeID", lambda r: r["LastName"] + ", " + r["FirstName"]),
            "ShipVia": ("Shippers", "ShipperID", lambda r: r["CompanyName"]),
        },
    },
    "fourthCoffeeHyperlinks.accdb": {"Distributors": {"Web Page": "hyperlink"}},
}


def hyperlink_shown(stored):
    if "#" not in stored:
        return stored
    display, address = (stored.split("#") + [""])[:2]
    return display or re.sub(r"(?i)^mailto:", "", address)


# A separator no corpus value contains, so that lines split back into values.
SPLIT = "\u241e"
DATE_FORMAT = "%Y-%m-%d %H:%M:%S"


def mdb_tool(*arguments):
    result = subprocess.run(list(arguments), capture_output=True)
    if result.returncode != 0:
        raise AssertionError("%s failed: %s" % (" ".join(arguments), result.stderr.decode(errors="replace")))
    return result.stdout.decode("utf-8")


def mdb_columns(path, table):
    """(name, type) of each column, from mdb-schema."""
    columns = []
    for line in mdb_tool("mdb-schema", "-T", table, path, "access").splitlines():
        match = re.match(r"^\t\[(.*)\]\t+(.*?),?\s*$", line)
        if match:
            columns.append((match.group(1), match.group(2)))
    return columns


def mdb_rows(path, table):
    """The header and the rows of mdb-export, dates as YYYY-MM-DD HH:MM:SS and
    Yes/No as TRUE/FALSE."""
    text = mdb_tool("mdb-export", "-D", DATE_FORMAT, "-T", DATE_FORMAT, "-B", "-b", "strip", path, table)
    rows = list(csv.reader(io.StringIO(text, newline="")))
    return rows[0], rows[1:]


def comparable(type_name):
    """How to turn mdb-export's text for a column into what our document shows,
    or None where the two programs' formats differ on purpose (doubles, which
    mdb-export prints with fixed digits; binary and attachment columns)."""
    base = type_name.split(" NOT NULL")[0]
    if base.startswith("Text") or base.startswith("Memo"):
        return shown_in_paragraph
    if base in ("Byte", "Integer", "Long Integer"):
        return lambda value: value
    if base == "Currency" or base.startswith("Numeric"):
        return exact_decimal_text
    if base == "Boolean":
        return lambda value: {"TRUE": "True", "FALSE": "False"}.get(value, value)
    if base == "DateTime":
        return date_text
    return None


def exact_decimal_text(value):
    """Currency and Decimal: exact, without trailing zeros."""
    if value == "":
        return ""
    text = format(Decimal(value), "f")
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def date_text(value):
    """README: date only at midnight, time only on day 0 (1899-12-30)."""
    if value == "":
        return ""
    day, time = value.split(" ")
    if time == "00:00:00":
        return day
    if day == "1899-12-30":
        return time
    return value


class CorpusCheck:
    def __init__(self, exporter, corpus, workdir):
        self.exporter = exporter
        self.corpus = corpus
        self.workdir = workdir
        self.failures = []
        self.exports = 0

    def fail(self, where, message):
        self.failures.append("%s: %s" % (where, message))

    def check_file(self, name):
        path = os.path.join(self.corpus, name)
        password = PASSWORDS.get(name)
        try:
            tables = self.exporter.list_tables(path, password)
        except AssertionError as error:
            self.fail(name, str(error))
            return
        reference = TWINS.get(name, name)
        if reference is not None:
            reference_path = os.path.join(self.corpus, reference)
            expected = mdb_tool("mdb-tables", "-1", reference_path).splitlines()
            if sorted(tables) != sorted(expected):
                self.fail(name, "tables %r, mdb-tables lists %r" % (tables, expected))
        for table in tables:
            try:
                self.check_table(name, path, password, table,
                                 None if reference is None else os.path.join(self.corpus, reference))
            except AssertionError as error:
                self.fail("%s, table %r" % (name, table), str(error))

    def check_table(self, name, path, password, table, reference):
        output = os.path.join(self.workdir, "document.docx")
        paragraphs = self.exporter.export(path, table, output, password=password)
        self.exports += 1
        where = "%s, table %r" % (name, table)
        shown = ACCESS_SHOWS.get(name, {}).get(table)
        if shown is not None:
            expected = [",".join(shown["fields"])] + [",".join(row) for row in shown["rows"]]
            if paragraphs != [shown_in_paragraph(line) for line in expected]:
                self.fail(where, "not what Access shows\n%s" % first_difference(paragraphs, expected))
            return
        if reference is None:
            # No second reader: the file opened, and a header and records came out.
            if len(paragraphs) < 2 or not paragraphs[0]:
                self.fail(where, "expected a header and records, got %r" % paragraphs[:3])
            return

        header, rows = mdb_rows(reference, table)
        if paragraphs[:1] != [",".join(header)]:
            self.fail(where, "header %r, mdb-export's columns are %r" % (paragraphs[:1], header))
        if len(paragraphs) != 1 + len(rows):
            self.fail(where, "%d paragraphs for %d records" % (len(paragraphs), len(rows)))

        columns = [(i, column, comparable(kind))
                   for i, (column, kind) in enumerate(mdb_columns(reference, table))]
        columns = [(i, column, convert) for i, column, convert in columns if convert is not None]
        if not columns or not rows:
            return
        values = self.exporter.export(path, table, output, fields=[column for _, column, _ in columns],
                                      separator=SPLIT, header=False, password=password, stored=True)
        self.exports += 1
        expected = [SPLIT.join(convert(row[i]) for i, _, convert in columns) for row in rows]
        if values != expected:
            self.fail(where, "values differ from mdb-export in columns %r\n%s" % (
                [column for _, column, _ in columns], first_difference(values, expected)))
        self.check_shown(name, path, password, table, reference, header, rows)

    def check_shown(self, name, path, password, table, reference, header, rows):
        """The columns SHOWN names, as Access shows them, worked out from the stored rows."""
        shown = SHOWN.get(name, {}).get(table)
        if not shown:
            return
        expected_columns = []
        for column, rule in shown.items():
            stored = [row[header.index(column)] for row in rows]
            if rule == "hyperlink":
                expected_columns.append([hyperlink_shown(value) for value in stored])
                continue
            source, key, text = rule
            source_header, source_rows = mdb_rows(reference, source)
            by_key = {}
            for row in source_rows:
                by_key.setdefault(row[source_header.index(key)], text(dict(zip(source_header, row))))
            expected_columns.append([by_key.get(value, value) for value in stored])
        output = os.path.join(self.workdir, "shown.docx")
        values = self.exporter.export(path, table, output, fields=list(shown), separator=SPLIT, header=False,
                                      password=password)
        self.exports += 1
        expected = [shown_in_paragraph(SPLIT.join(cells)) for cells in zip(*expected_columns)]
        if values != expected:
            self.fail("%s, table %r" % (name, table), "not what Access shows in %r\n%s" % (
                list(shown), first_difference(values, expected)))


def main():
    exporter = Exporter(sys.argv[1])
    corpus = sys.argv[2]
    if not os.path.isdir(corpus):
        print("corpus not found at %s; skipped" % corpus)
        return SKIP
    names = sorted(n for n in os.listdir(corpus) if n.lower().endswith((".mdb", ".accdb")))
    with tempfile.TemporaryDirectory() as workdir:
        check = CorpusCheck(exporter, corpus, workdir)
        for name in names:
            check.check_file(name)
    print("%d files, %d exports" % (len(names), check.exports))
    for failure in check.failures:
        print("FAIL " + failure)
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
