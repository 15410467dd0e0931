"""Reads a .docx back with independent readers and prints what the tests check, as JSON.

usage: inspect_docx.py DOCX [--lines LINES.json] [--extract DIR]

LINES.json is a list of hex strings, the bytes of each line appended to the
spool. With it, "expected" holds what each paragraph must read as, worked out
here by Python's own UTF-8 decoder rather than by the code under test.
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("docx")
    parser.add_argument("--lines")
    parser.add_argument("--extract")
    args = parser.parse_args()

    result = {}
    document = docx.Document(args.docx)
    result["paragraphs"] = [paragraph.text for paragraph in document.paragraphs]
    core = document.core_properties
    result["created"] = core.created.isoformat() if core.created else None
    result["modified"] = core.modified.isoformat() if core.modified else None

    if args.lines:
        with open(args.lines, encoding="ascii") as f:
            result["expected"] = [expected_paragraph(bytes.fromhex(line)) for line in json.load(f)]

    with open(args.docx, "rb") as f:
        data = f.read()
    with zipfile.ZipFile(args.docx) as package:
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
        if args.extract:
            for name in package.namelist():
                target = os.path.join(args.extract, name)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as out:
                    out.write(package.read(name))
    # A ZIP64 end of central directory record, or its locator.
    result["zip64_end"] = b"PK\x06\x06" in data[-200:] or b"PK\x06\x07" in data[-200:]

    json.dump(result, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
