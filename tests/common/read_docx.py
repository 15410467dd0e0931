"""Prints what a .docx holds as JSON, read by python-docx and zipfile rather than by our code.

usage: read_docx.py DOCX [--package] [--lines LINES.json] [--extract DIR]

"paragraphs" is the text of each body paragraph (python-docx turns a line break
into "\\n" and a tab into "\\t"); "tables" holds each table's rows, each a
list of its cells' texts; "parts" is every part of the package decoded as
UTF-8, for checks that something never made it into the file at all.

--package adds how the package is made: "entries" (name, compression, extra
fields, version needed, size of each), "bad_crc", "zip64_end", the core
properties "created" and "modified", and from the settings and styles
"compat_mode", "default_font" and "spacing_after".
--lines LINES.json, a list of hex strings (the bytes of each line appended to
the spool), adds "expected": what each paragraph must read as, worked out here
by Python's own UTF-8 decoder rather than by the code under test.
--extract DIR writes every part into DIR.

Output is ASCII: every other character, whatever it is, as a JSON escape.
"""
import argparse
import json
import os
import re
import struct
import sys
import xml.etree.ElementTree as ET
import zipfile

import docx

W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
NOT_XML = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]")


def expected_paragraph(raw):
    text = raw.decode("utf-8", "replace")
    text = NOT_XML.sub("\ufffd", text)
    # Every form of line break inside a value is one break in the paragraph.
    return text.replace("\r\n", "\n").replace("\r", "\n")


def local_extra(data, offset):
    signature, = struct.unpack_from("<I", data, offset)
    if signature != 0x04034B50:
        return None
    name_length, extra_length = struct.unpack_from("<HH", data, offset + 26)
    start = offset + 30 + name_length
    return data[start:start + extra_length].hex()


def describe_package(path, document, package, result):
    core = document.core_properties
    result["created"] = core.created.isoformat() if core.created else None
    result["modified"] = core.modified.isoformat() if core.modified else None
    with open(path, "rb") as f:
        data = f.read()
    result["bad_crc"] = package.testzip()
    result["entries"] = [
        {
            "name": info.filename,
            "compress_type": info.compress_type,
            "central_extra": info.extra.hex(),
            "local_extra": local_extra(data, info.header_offset),
            "extract_version": info.extract_version,
            "file_size": info.file_size,
        }
        for info in package.infolist()
    ]
    settings = ET.fromstring(package.read("word/settings.xml"))
    modes = [s.get(W + "val") for s in settings.iter(W + "compatSetting")
             if s.get(W + "name") == "compatibilityMode"]
    result["compat_mode"] = modes[0] if modes else None
    styles = ET.fromstring(package.read("word/styles.xml"))
    fonts = styles.find(f"{W}docDefaults/{W}rPrDefault/{W}rPr/{W}rFonts")
    result["default_font"] = fonts.get(W + "ascii") if fonts is not None else None
    spacing = styles.find(f"{W}docDefaults/{W}pPrDefault/{W}pPr/{W}spacing")
    result["spacing_after"] = spacing.get(W + "after") if spacing is not None else None
    # A ZIP64 end of central directory record, or its locator.
    result["zip64_end"] = b"PK\x06\x06" in data[-200:] or b"PK\x06\x07" in data[-200:]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("docx")
    parser.add_argument("--package", action="store_true")
    parser.add_argument("--lines")
    parser.add_argument("--extract")
    args = parser.parse_args()

    document = docx.Document(args.docx)
    result = {"paragraphs": [paragraph.text for paragraph in document.paragraphs],
              "tables": [[[cell.text for cell in row.cells] for row in table.rows] for table in document.tables]}
    with zipfile.ZipFile(args.docx) as package:
        result["parts"] = "".join(package.read(name).decode("utf-8", "replace") for name in package.namelist())
        if args.package:
            describe_package(args.docx, document, package, result)
        if args.extract:
            for name in package.namelist():
                target = os.path.join(args.extract, name)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as out:
                    out.write(package.read(name))
    if args.lines:
        with open(args.lines, encoding="ascii") as f:
            result["expected"] = [expected_paragraph(bytes.fromhex(line)) for line in json.load(f)]

    json.dump(result, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
