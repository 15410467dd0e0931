"""Prints what a .docx holds as JSON, read by python-docx rather than by our code.

usage: read_docx.py DOCX

"paragraphs" is the text of each body paragraph (python-docx turns a line break
into "\n" and a tab into "\t"); "parts" is every part of the package decoded as
UTF-8, for checks that something never made it into the file at all.
"""
import json
import sys
import zipfile

import docx


def main():
    path = sys.argv[1]
    paragraphs = [paragraph.text for paragraph in docx.Document(path).paragraphs]
    with zipfile.ZipFile(path) as package:
        parts = "".join(package.read(name).decode("utf-8", "replace") for name in package.namelist())
    json.dump({"paragraphs": paragraphs, "parts": parts}, sys.stdout)


if __name__ == "__main__":
    main()
