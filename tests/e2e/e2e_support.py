"""What the end-to-end checks share: running quillmerge-export, reading its
documents back with python-docx, and the rules by which a text turns into what
python-docx shows for a paragraph.

Run by /usr/bin/python3 (Debian's python3-docx); the programs under test are
passed in by ctest as paths.
"""
import os
import re
import subprocess

import docx

# ctest reads this exit status as "skipped".
SKIP = 77

# What a document cannot hold: C0 controls other than tab and the line
# breaks, U+FFFE and U+FFFF, a surrogate without its pair.
_NOT_HELD = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff\ud800-\udfff]")


def shown_in_paragraph(text):
    """The paragraph a document shows for one line of an export, by the rule of
    tests/common/ShownInParagraph.h: a line break inside a value (CR LF, a lone
    CR or a lone LF) is one line break within the paragraph, tabs and every
    blank are kept, and what a document cannot hold is U+FFFD."""
    text = _NOT_HELD.sub("\ufffd", text)
    return text.replace("\r\n", "\n").replace("\r", "\n")


def paragraphs_of(path):
    return [paragraph.text for paragraph in docx.Document(path).paragraphs]


def same_lines(paragraphs, lines):
    """Whether a document shows exactly these lines. A document without lines
    still holds the one empty paragraph every Word document has."""
    if not lines:
        return paragraphs in ([], [""])
    return paragraphs == lines


def first_difference(paragraphs, lines, context=60):
    """Where a document first differs from the expected lines, around the first
    differing character (memos run to many kilobytes)."""
    for i, (got, want) in enumerate(zip(paragraphs, lines)):
        if got != want:
            at = next((k for k, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
            start = max(0, at - context)
            return "paragraph %d, character %d (lengths %d and %d):\n  document: %r\n  expected: %r" % (
                i + 1, at + 1, len(got), len(want), got[start:at + context], want[start:at + context])
    return "the document has %d paragraphs, expected %d" % (len(paragraphs), len(lines))


class Exporter:
    """quillmerge-export as a process, with the password in its environment."""

    def __init__(self, program):
        self.program = program

    def run(self, arguments, password=None, timeout=300):
        environment = dict(os.environ)
        environment.pop("QUILLMERGE_PASSWORD", None)
        if password is not None:
            environment["QUILLMERGE_PASSWORD"] = password
        return subprocess.run([self.program] + arguments, env=environment, capture_output=True,
                              timeout=timeout)

    def list_tables(self, database, password=None):
        result = self.run([database, "--list-tables"], password)
        if result.returncode != 0:
            raise AssertionError("--list-tables on %s: exit %d, %s" % (
                database, result.returncode, result.stderr.decode(errors="replace")))
        return result.stdout.decode("utf-8").splitlines()

    def export(self, database, table, output, fields=None, separator=None, header=True, password=None,
               stored=False):
        """Runs one export and returns the document's paragraphs; raises on failure.
        stored: the values as the table stores them (--stored-values)."""
        arguments = [database, "--table", table, "--output", output] + (["--stored-values"] if stored else [])
        for field in fields or []:
            arguments += ["--field", field]
        if separator is not None:
            arguments.append("--separator=" + separator)
        if not header:
            arguments.append("--no-header")
        result = self.run(arguments, password)
        if result.returncode != 0 or result.stderr or result.stdout:
            raise AssertionError("export of %r failed: exit %d\n  stdout: %r\n  stderr: %r" % (
                table, result.returncode, result.stdout, result.stderr))
        return paragraphs_of(output)
