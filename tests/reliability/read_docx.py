"""Prints each paragraph of a .docx as read by python-docx, hex-encoded UTF-8, one a line.

usage: read_docx.py DOCX
"""
import sys

import docx

for paragraph in docx.Document(sys.argv[1]).paragraphs:
    # A line break inside a paragraph reads as "\n"; hex keeps it on one line here.
    print(paragraph.text.encode("utf-8", "surrogatepass").hex() or "-")
