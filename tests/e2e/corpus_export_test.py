"""Every table of every Access file in the shared corpus, exported by
quillmerge-export and read back by python-docx.

usage: corpus_export_test.py QUILLMERGE_EXPORT CORPUS_DIR

For each file the program can open (with its password): the table list
matches mdb-tables, every table exports with exit status 0, and the document
holds the header line and one paragraph per record. Where mdbtools reads the
file too, the values of the columns whose text form both programs agree on
(text, memo, whole numbers, currency, decimals, Yes/No,
dates) are compared with
mdb-export one by one. Exits 77 (skipped) when the corpus is absent.
"""
import csv
import io
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

# Tables in which Access moved rows to other pages after edits. mdbtools reads
# a moved row where its data lies, not at its home place as Access lists it
# (tests/database/MovedRowsTest.cpp checks the order), so only the rows
# themselves are compared with mdb-export's.
MOVED_ROWS = {("overflowTestV2000.mdb", "Table1"), ("extDateTestV2019.accdb", "Table1")}

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


# mdbtools shows no day before 1899-12-30: it prints day 0 of January 1900.
# Such dates are left out of the comparison on both sides.
UNSHOWN = "(a date mdbtools cannot show)"


def date_text(value):
    """README: date only at midnight, time only on day 0 (1899-12-30)."""
    if value == "":
        return ""
    day, time = value.split(" ")
    if day == "1900-01-00":
        return UNSHOWN
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
                                      separator=SPLIT, header=False, password=password)
        self.exports += 1
        dates = [k for k, (_, _, convert) in enumerate(columns) if convert is date_text]
        if dates:
            values = [SPLIT.join(UNSHOWN if k in dates and re.match(r"\d{4}-", cell) and cell < "1899-12-30"
                                 else cell for k, cell in enumerate(line.split(SPLIT))) for line in values]
        expected = [SPLIT.join(convert(row[i]) for i, _, convert in columns) for row in rows]
        if (name, table) in MOVED_ROWS:
            values, expected = sorted(values), sorted(expected)
        if values != expected:
            self.fail(where, "values differ from mdb-export in columns %r\n%s" % (
                [column for _, column, _ in columns], first_difference(values, expected)))


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
