"""Prints the paragraphs of a .docx, each followed by a NUL, as python-docx reads them.

usage: read_docx.py DOCX
"""
import sys

import docx


def main():
    document = docx.Document(sys.argv[1])
    out = sys.stdout.buffer
    for paragraph in document.paragraphs:
        out.write(paragraph.text.encode("utf-8") + b"\0")


if __name__ == "__main__":
    main()
