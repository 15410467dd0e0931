"""Tables fitted to their page, as LibreOffice lays them out: quillmerge-export
--layout table on three fixture tables (tests/fixtures: six-columns, students,
staff) in every paged format, converted to PDF by LibreOffice and read with
pdfinfo and pdftotext (Debian poppler-utils).

    table_fit_test.py QUILLMERGE_EXPORT FIXTURES_BUILT FIXTURE_DESCRIPTIONS
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from e2e_support import Exporter

FORMATS = ["docx", "odt", "rtf", "doc"]

# fixture, table, landscape, font size in points (None: any), most pages,
# share of header words that must appear whole, whether value words must too.
CASES = [
    ("six-columns", "Orders", False, 11, 1, 1.0, True),
    ("students", "Students", True, None, 8, 0.9, False),
    ("staff", "Сотрудники", True, None, 2, 0.9, False),
]

# How words are told apart in headers and in the PDF's text: blanks, / and -
# (after which a line may break).
SPLIT = re.compile(r"[\s/\-]+")


def words(text):
    return [word for word in SPLIT.split(text) if word]


def run(arguments, **kwargs):
    done = subprocess.run(arguments, capture_output=True, timeout=600, **kwargs)
    if done.returncode != 0:
        raise AssertionError("%s: exit %d, %s" % (arguments[0], done.returncode, done.stderr.decode(errors="replace")))
    return done.stdout.decode("utf-8", "replace")


def expected_words(description, table):
    """The header words and the words of the text values of the table."""
    described = next(t for t in json.load(open(description, encoding="utf-8"))["tables"] if t["name"] == table)
    text = [c["type"] in ("text", "memo") for c in described["columns"]]
    header = [word for column in described["columns"] for word in words(column["name"])]
    values = [word for row in described["rows"] for shown, value in zip(text, row) if shown and value
              for word in words(value)]
    return header, values


def font_size(pdf):
    """The most common height of the words' boxes, as a font size in points
    (LibreOffice's PDFs give Carlito's words boxes 1.3 em high)."""
    heights = [round(float(y1) - float(y0), 1) for y0, y1 in
               re.findall(r'yMin="([\d.]+)" xMax="[\d.]+" yMax="([\d.]+)"', run(["pdftotext", "-bbox", pdf, "-"]))]
    return round(max(set(heights), key=heights.count) / 1.3)


def check(pdf, case):
    fixture, table, landscape, points, most_pages, whole_share, values_whole = case
    info = run(["pdfinfo", pdf])
    pages = int(re.search(r"^Pages:\s+(\d+)", info, re.M).group(1))
    width, height = map(float, re.search(r"^Page size:\s+([\d.]+) x ([\d.]+)", info, re.M).groups())
    tokens = words(run(["pdftotext", pdf, "-"]))
    seen = set(tokens)
    header, values = expected_words(os.path.join(sys.argv[3], fixture + ".json"), table)
    whole = [word for word in header if word in seen]
    faults = []
    if (width > height) != landscape:
        faults.append("%s, expected %s" % ("landscape" if width > height else "portrait",
                                           "landscape" if landscape else "portrait"))
    if pages > most_pages:
        faults.append("%d pages, at most %d expected" % (pages, most_pages))
    if points is not None and font_size(pdf) != points:
        faults.append("type of %d pt, expected %d pt" % (font_size(pdf), points))
    if len(whole) < whole_share * len(header):
        faults.append("%d of %d header words whole: broken %s" % (
            len(whole), len(header), sorted(set(header) - seen)))
    # A broken word's pieces need not be neighbours in the text, which runs
    # across the cells of a line.
    faults += ["header word %r in more than two pieces" % w for w in header
               if w not in seen and not any(w[:k] in seen and w[k:] in seen for k in range(1, len(w)))]
    if values_whole:
        faults += ["value word %r broken" % w for w in sorted(set(values) - seen)]
    return faults


def main():
    for program, package in (("soffice", "libreoffice-writer-nogui"), ("pdftotext", "poppler-utils")):
        if shutil.which(program) is None:
            print("%s is not installed (Debian package %s)" % (program, package), file=sys.stderr)
            return 2
    exporter = Exporter(sys.argv[1])
    failures = []
    with tempfile.TemporaryDirectory() as work:
        documents = []
        for case in CASES:
            for format in FORMATS:
                path = os.path.join(work, "%s-%s.%s" % (case[0], format, format))
                done = exporter.run([os.path.join(sys.argv[2], case[0] + ".mdb"), "--table", case[1],
                                     "--layout", "table", "--output", path])
                if done.returncode != 0:
                    raise AssertionError("export of %s: %s" % (path, done.stderr.decode(errors="replace")))
                documents.append((path, case))
        run(["soffice", "-env:UserInstallation=file://" + os.path.join(work, "profile"), "--headless",
             "--norestore", "--convert-to", "pdf", "--outdir", work] + [path for path, _ in documents],
            env=dict(os.environ, HOME=work))
        for path, case in documents:
            for fault in check(os.path.splitext(path)[0] + ".pdf", case):
                failures.append("%s: %s" % (os.path.basename(path), fault))
    print("\n".join(failures) if failures else "%d documents fitted" % len(documents))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
