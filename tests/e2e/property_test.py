"""Property test: for random tables, the document quillmerge-export writes
holds exactly the text worked out directly from the table's description.

usage: property_test.py QUILLMERGE_EXPORT QUILLMERGE_MKDB [--seeds 1-8] [--artifacts DIR]

For each seed a random description (random_tables.py) is written by
quillmerge-mkdb, every table is listed and exported with random fields,
separator and header choice, and python-docx's reading of the document is
compared with the lines computed in Python from the JSON rows (value_text.py).

Without --seeds, QM_PROPERTY_SEEDS picks the seeds: =200 (seeds 1 to 200),
=500-600 or =3,17,42; the default is 1-8. A failing seed leaves its description and document in the
artifacts folder, so it can be replayed alone with --seeds N.
"""
import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

from e2e_support import Exporter, first_difference, same_lines, shown_in_paragraph
from random_tables import TableMaker
from shown_values import bold_text, document_marks, hyperlink_target
from value_text import rows_as_read


def parse_seeds(text):
    text = text.strip()
    if text.isdigit():
        return list(range(1, int(text) + 1))
    seeds = []
    for part in text.split(","):
        if "-" in part:
            low, high = part.split("-")
            seeds += list(range(int(low), int(high) + 1))
        else:
            seeds.append(int(part))
    return seeds


def expected_lines(maker, table, fields, separator, header):
    columns = table["columns"]
    positions = list(range(len(columns))) if fields is None else \
        [next(i for i, c in enumerate(columns) if c["name"] == name) for name in fields]
    joiner = "," if separator is None else separator
    lines = []
    if header:
        lines.append(joiner.join(columns[i]["name"] for i in positions))
    for row in rows_as_read(table):
        lines.append(joiner.join(maker.shown_text(table, columns[i], row[i]) for i in positions))
    return [shown_in_paragraph(line) for line in lines]


def expected_marks(table, fields):
    """The link targets and the bold text (blanks left out) the records'
    hyperlinks and rich text give, in document order."""
    columns = table["columns"]
    positions = list(range(len(columns))) if fields is None else \
        [next(i for i, c in enumerate(columns) if c["name"] == name) for name in fields]
    targets, bold = [], ""
    for row in rows_as_read(table):
        for i in positions:
            if row[i] is None:
                continue
            if columns[i].get("hyperlink") and hyperlink_target(row[i]):
                targets.append(hyperlink_target(row[i]))
            if columns[i].get("richText"):
                bold += bold_text(row[i])
    return targets, re.sub(r"\s", "", bold)


class SeedRun:
    def __init__(self, exporter, mkdb, workdir, artifacts):
        self.exporter = exporter
        self.mkdb = mkdb
        self.workdir = workdir
        self.artifacts = artifacts
        self.failures = []
        self.exports = 0

    def keep(self, seed, files):
        if not self.artifacts:
            return ""
        folder = os.path.join(self.artifacts, "seed-%d" % seed)
        os.makedirs(folder, exist_ok=True)
        for path in files:
            if os.path.exists(path):
                shutil.copy(path, folder)
        return " (kept in %s)" % folder

    def run(self, seed):
        rng = random.Random(seed)
        maker = TableMaker(rng)
        description = maker.description()
        description_path = os.path.join(self.workdir, "seed-%d.json" % seed)
        with open(description_path, "w", encoding="ascii") as out:
            json.dump(description, out, ensure_ascii=True, indent=1)
        database = os.path.join(self.workdir, "seed-%d.mdb" % seed)
        made = subprocess.run([self.mkdb, "--quiet", database, description_path], capture_output=True)
        if made.returncode != 0:
            self.failures.append("seed %d: quillmerge-mkdb refused the description: %s%s" % (
                seed, made.stderr.decode(errors="replace").strip(), self.keep(seed, [description_path])))
            return
        password = description.get("password")

        names = [table["name"] for table in description["tables"]]
        listed = self.exporter.list_tables(database, password)
        if listed != names:
            self.failures.append("seed %d: --list-tables gave %r, expected %r%s" % (
                seed, listed, names, self.keep(seed, [description_path])))

        for number, table in enumerate(description["tables"]):
            for attempt in range(rng.randint(1, 2)):
                fields = None
                if rng.random() < 0.6:
                    chosen = rng.sample(table["columns"], rng.randint(1, len(table["columns"])))
                    fields = [column["name"] for column in chosen]
                separator = maker.separator()
                header = rng.random() < 0.7
                output = os.path.join(self.workdir, "seed-%d-table-%d-%d.docx" % (seed, number, attempt))
                what = "seed %d, table %r, fields %r, separator %r, header %s" % (
                    seed, table["name"], fields, separator, header)
                try:
                    paragraphs = self.exporter.export(database, table["name"], output, fields, separator,
                                                      header, password)
                except AssertionError as error:
                    self.failures.append("%s: %s%s" % (what, error, self.keep(seed, [description_path])))
                    continue
                self.exports += 1
                lines = expected_lines(maker, table, fields, separator, header)
                if not same_lines(paragraphs, lines):
                    self.failures.append("%s:\n%s%s" % (what, first_difference(paragraphs, lines),
                                                        self.keep(seed, [description_path, output])))
                elif document_marks(output) != expected_marks(table, fields):
                    self.failures.append("%s: links and bold text %r, expected %r%s" % (
                        what, document_marks(output), expected_marks(table, fields),
                        self.keep(seed, [description_path, output])))
                os.remove(output)
        os.remove(database)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("export")
    parser.add_argument("mkdb")
    parser.add_argument("--seeds", help="seeds to run; without it QM_PROPERTY_SEEDS, else 1-8")
    parser.add_argument("--artifacts")
    args = parser.parse_args()
    seeds = parse_seeds(args.seeds or os.environ.get("QM_PROPERTY_SEEDS") or "1-8")
    with tempfile.TemporaryDirectory() as workdir:
        run = SeedRun(Exporter(args.export), args.mkdb, workdir, args.artifacts)
        for seed in seeds:
            run.run(seed)
    print("%d seeds, %d exports, %d failures" % (len(seeds), run.exports, len(run.failures)))
    for failure in run.failures:
        print("FAIL " + failure)
    return 1 if run.failures else 0


if __name__ == "__main__":
    sys.exit(main())
