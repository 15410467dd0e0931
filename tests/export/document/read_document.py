"""Reads a document back with one independent reader and prints what it saw as JSON.

usage: read_document.py READER FILE [WORKDIR]

Readers:
  antiword     antiword's text output, one line per line of the output
  catdoc       catdoc's text output (no wrapping), likewise
  wvware       wvWare with its text template: paragraphs, "\\n" for a line break
  libreoffice  LibreOffice converts the file to .docx, python-docx reads the
               paragraphs ("\\n" for a line break, "\\t" for a tab); WORKDIR holds
               the converted file and LibreOffice's profile
  pandoc       pandoc's document model: paragraphs, "\\n" for a line break
  docfile      [MS-DOC] read here with olefile: the FIB, the piece table, the
               property pages and the fields, checked, and the text they give
               as a reader shows it (a field's result, not its instruction);
               "links": ["address|shown text", ...] of its HYPERLINK fields and
               "looks": ["text|flags", ...] for each stretch of a paragraph that is
               not plain (b bold, i italic, u underline, c colour)
  odtfile      the OpenDocument package read here with zipfile and ElementTree,
               checked, and the text its paragraphs give
  text         Python's strict UTF-8 decoder: the lines between CR LF pairs
  docx-tables  python-docx reads the tables of a .docx cell by cell
  libreoffice-marks
               LibreOffice converts the file to .docx (WORKDIR as for
               libreoffice), its links and bold, italic and underlined text
               are read from the XML: {"links": [[text, target], ...],
               "bold": [text, ...], "italic": [...], "underline": [...]}
  libreoffice-tables
               LibreOffice converts the file to .docx (WORKDIR as for
               libreoffice), python-docx reads its tables cell by cell

Prints {"lines": [...]}, {"paragraphs": [...]} or, for the table readers,
{"tables": [{"rows": [[cell, ...], ...], "header": [row repeats on every page, ...]}]}
(a cell's paragraphs joined by "\\n", a line break "\\n", a tab "\\t"), with "problems": [...] for
the structural readers. Exits 2 when the reader is not installed, 1 when it fails.
"""
import bisect
import itertools
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import zipfile
import xml.etree.ElementTree as ET


def need(program, package):
    if shutil.which(program) is None:
        print(f"{program} is not installed (Debian package {package})", file=sys.stderr)
        sys.exit(2)


def run(arguments, **kwargs):
    done = subprocess.run(arguments, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600, **kwargs)
    if done.returncode != 0:
        print(done.stderr.decode("utf-8", "replace"), file=sys.stderr)
        sys.exit(1)
    return done.stdout


def antiword(path):
    need("antiword", "antiword")
    text = run(["antiword", "-w", "0", "-m", "UTF-8.txt", path]).decode("utf-8", "replace")
    # antiword starts with an empty line and ends every line with a newline.
    if text.startswith("\n"):
        text = text[1:]
    return {"lines": text.split("\n")[:-1]}


def catdoc(path):
    need("catdoc", "catdoc")
    text = run(["catdoc", "-w", "-d", "utf-8", path]).decode("utf-8", "replace")
    return {"lines": text.split("\n")[:-1]}


def wvware(path):
    need("wvWare", "wv")
    text = run(["wvWare", "-x", "/usr/share/wv/wvText.xml", path]).decode("utf-8", "replace")
    # Two newlines before and after; each paragraph ends in its mark, CR, and a newline.
    if text.startswith("\n\n"):
        text = text[2:]
    if text.endswith("\n\n"):
        text = text[:-2]
    paragraphs = text.split("\r\n")[:-1]
    return {"paragraphs": [p.replace("\v", "\n") for p in paragraphs]}


def libreoffice_docx(path, workdir):
    """The file converted to .docx by LibreOffice; the path of the result."""
    need("soffice", "libreoffice-writer-nogui")

    profile = os.path.join(workdir, "profile")
    out = os.path.join(workdir, "converted")
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, HOME=workdir)
    run(["soffice", "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
         "--convert-to", "docx", "--outdir", out, path], env=env)
    converted = os.path.join(out, os.path.splitext(os.path.basename(path))[0] + ".docx")
    if not os.path.exists(converted):
        print("LibreOffice did not convert the file", file=sys.stderr)
        sys.exit(1)
    return converted


def libreoffice(path, workdir):
    import docx  # python3-docx

    return {"paragraphs": [p.text for p in docx.Document(libreoffice_docx(path, workdir)).paragraphs]}


def docx_marks(path):
    """Links and emphasis of a .docx as its XML holds them: w:hyperlink
    elements and HYPERLINK fields, and runs that are bold, italic or
    underlined (adjacent runs of one kind joined)."""
    W = "{http://schemas.openxmlformats.org/wordprocessingml/2006/main}"
    R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"
    with zipfile.ZipFile(path) as package:
        body = ET.fromstring(package.read("word/document.xml"))
        rels = ET.fromstring(package.read("word/_rels/document.xml.rels"))
    targets = {rel.get("Id"): rel.get("Target") for rel in rels}
    found = {"links": [], "bold": [], "italic": [], "underline": []}

    def on(rpr, name):
        element = rpr.find(W + name) if rpr is not None else None
        return element is not None and element.get(W + "val") not in ("0", "false", "none")

    for paragraph in body.iter(W + "p"):
        last = {}
        field = None  # [instruction, result text, state] of a HYPERLINK field
        for element in paragraph.iter():
            if element.tag == W + "hyperlink":
                text = "".join(t.text or "" for t in element.iter(W + "t"))
                found["links"].append([text, targets.get(element.get(R + "id"), "#" + (element.get(W + "anchor") or ""))])
            elif element.tag == W + "fldChar":
                kind = element.get(W + "fldCharType")
                if kind == "begin":
                    field = ["", "", "instruction"]
                elif kind == "separate" and field:
                    field[2] = "result"
                elif kind == "end" and field:
                    words = field[0].split('"')
                    if field[0].split()[:1] == ["HYPERLINK"] and len(words) > 1:
                        found["links"].append([field[1], words[1]])
                    field = None
            elif element.tag == W + "instrText" and field:
                field[0] += element.text or ""
            elif element.tag == W + "r":
                text = "".join(t.text or "" for t in element.iter(W + "t"))
                if field and field[2] == "result":
                    field[1] += text
                rpr = element.find(W + "rPr")
                for kind, name in (("bold", "b"), ("italic", "i"), ("underline", "u")):
                    if text and on(rpr, name):
                        if last.get(kind):
                            found[kind][-1] += text
                        else:
                            found[kind].append(text)
                        last[kind] = True
                    elif text:
                        last[kind] = False
    return found


def docx_tables(path):
    import docx  # python3-docx
    from docx.oxml.ns import qn

    tables = []
    for table in docx.Document(path).tables:
        rows, header = [], []
        for row in table.rows:
            rows.append([cell.text for cell in row.cells])
            properties = row._tr.trPr
            header.append(properties is not None and properties.find(qn("w:tblHeader")) is not None)
        tables.append({"rows": rows, "header": header})
    return {"tables": tables}


def pandoc(path):
    need("pandoc", "pandoc")
    kind = {".odt": "odt", ".rtf": "rtf", ".docx": "docx"}[os.path.splitext(path)[1].lower()]
    model = json.loads(run(["pandoc", "-f", kind, "-t", "json", path]))

    def inline(items):
        out = ""
        for item in items:
            t = item["t"]
            if t == "Str":
                out += item["c"]
            elif t in ("Space", "SoftBreak"):
                out += " "
            elif t == "LineBreak":
                out += "\n"
            elif t in ("Emph", "Strong", "Span", "Underline"):
                out += inline(item["c"] if t != "Span" else item["c"][1])
            else:
                out += "<" + t + ">"
        return out

    paragraphs = []
    for block in model["blocks"]:
        if block["t"] in ("Para", "Plain"):
            paragraphs.append(inline(block["c"]))
        else:
            paragraphs.append("<" + block["t"] + ">")
    return {"paragraphs": paragraphs}


def u16(data, at):
    return struct.unpack_from("<H", data, at)[0]


def u32(data, at):
    return struct.unpack_from("<I", data, at)[0]


def docfile(path):
    import olefile  # python3-olefile

    problems = []
    ole = olefile.OleFileIO(path)
    streams = ["/".join(entry) for entry in ole.listdir()]
    word = ole.openstream("WordDocument").read()
    if u16(word, 0) != 0xA5EC or u16(word, 2) < 0xC1:
        problems.append("not a Word 97 FIB")
    flags = u16(word, 10)
    table = ole.openstream("1Table" if flags & 0x0200 else "0Table").read()
    if not flags & 0x1000:
        problems.append("fExtChar is not set")
    if u16(word, 32) != 14 or u16(word, 62) != 22 or u16(word, 152) < 93:
        problems.append("FIB sizes")
    ccp_text = u32(word, 64 + 12)
    cb_mac = u32(word, 64)
    if cb_mac > len(word):
        problems.append("cbMac beyond the stream")
    for other in range(4, 11):
        if other != 6 and u32(word, 64 + 4 * other) != 0:
            problems.append("text outside the main document")

    def fc_lcb(index):
        return u32(word, 154 + 8 * index), u32(word, 158 + 8 * index)

    for name, index in (("stylesheet", 1), ("section table", 6), ("character bin table", 12),
                        ("paragraph bin table", 13), ("font table", 15), ("document properties", 31),
                        ("piece table", 33)):
        fc, lcb = fc_lcb(index)
        if lcb == 0 or fc + lcb > len(table):
            problems.append(name + " missing or outside the table stream")

    # The piece table and the text it gives.
    fc, lcb = fc_lcb(33)
    clx = table[fc:fc + lcb]
    if clx[0] != 2:
        problems.append("the Clx does not start with its Pcdt")
    count = (u32(clx, 1) - 4) // 12
    cps = [u32(clx, 5 + 4 * i) for i in range(count + 1)]
    if cps[0] != 0 or cps[-1] != ccp_text or any(a >= b for a, b in zip(cps, cps[1:])):
        problems.append("piece CPs")
    text = ""
    pieces = []
    for i in range(count):
        raw = u32(clx, 5 + 4 * (count + 1) + 8 * i + 2)
        narrow = bool(raw & 0x40000000)
        start = (raw & 0x3FFFFFFF) // 2 if narrow else raw & 0x3FFFFFFF
        length = (cps[i + 1] - cps[i]) * (1 if narrow else 2)
        pieces.append((start, length, narrow))
        chunk = word[start:start + length]
        if narrow:
            if any(0x80 <= b < 0xA0 for b in chunk):
                problems.append("an 8-bit piece holds a code page 1252 special")
            text += chunk.decode("latin-1")
        else:
            text += chunk.decode("utf-16-le")
        if start % 512 != 0 or (i + 1 < count and length % 512 != 0):
            problems.append("piece %d does not lie on whole sectors" % i)
    if not text.endswith("\r"):
        problems.append("the text does not end with a paragraph mark")
    # Word 97's fcMin and fcMac, which catdoc reads the text between.
    if (u32(word, 24), u32(word, 28)) != (pieces[0][0], pieces[-1][0] + pieces[-1][1]):
        problems.append("fcMin/fcMac do not frame the text")

    # Text positions (FC) of every paragraph mark (a table's cell and row
    # marks, 0x07, included), for the paragraph pages.
    mark_fcs = []
    for (start, length, narrow), (a, b) in zip(pieces, zip(cps, cps[1:])):
        width = 1 if narrow else 2
        for k in range(b - a):
            unit = word[start + k * width] if narrow else u16(word, start + k * width)
            if unit in (0x0D, 0x07):
                mark_fcs.append(start + (k + 1) * width)

    def plc(index, data_size):
        fc, lcb = fc_lcb(index)
        data = table[fc:fc + lcb]
        n = (lcb - 4) // (4 + data_size)
        return [u32(data, 4 * i) for i in range(n + 1)], data[4 * (n + 1):], n

    # Paragraph pages: one run per paragraph, each ending just after its mark.
    fcs, pns, n = plc(13, 4)
    runs = []
    for i in range(n):
        page = word[u32(pns, 4 * i) * 512:][:512]
        crun = page[511]
        if not 1 <= crun <= 0x1D:
            problems.append("paragraph page run count")
        rgfc = [u32(page, 4 * k) for k in range(crun + 1)]
        if rgfc[0] != fcs[i] or rgfc[-1] != fcs[i + 1]:
            problems.append("paragraph page %d does not match its bin table entry" % i)
        runs += rgfc[1:]
        for k in range(crun):
            offset = page[4 * (crun + 1) + 13 * k] * 2
            # cb, or 0 and cb'; then at least the style (istd), 2 bytes.
            size = 2 * page[offset] - 1 if page[offset] != 0 else 2 * page[offset + 1]
            start = offset + (1 if page[offset] != 0 else 2)
            if offset == 0 or size < 2 or start + size > 511 or offset < 4 * (crun + 1) + 13 * crun:
                problems.append("paragraph properties missing")
    if runs != mark_fcs:
        problems.append("paragraph runs do not end at the paragraph marks")

    # Character pages cover the text, run after run; the look of every
    # character, from the sprms its run has.
    fcs, pns, n = plc(12, 4)
    if fcs[0] != pieces[0][0] or fcs[-1] != pieces[-1][0] + pieces[-1][1]:
        problems.append("the character pages do not cover the text")
    char_runs = []  # (first FC, end FC, look)
    names = {0x0835: "b", 0x0836: "i", 0x2A3E: "u", 0x2A42: "c", 0x6870: "c", 0x0855: "special"}
    for i in range(n):
        page = word[u32(pns, 4 * i) * 512:][:512]
        crun = page[511]
        rgfc = [u32(page, 4 * k) for k in range(crun + 1)]
        if not 1 <= crun <= 0x65 or rgfc[0] != fcs[i] or rgfc[-1] != fcs[i + 1] or rgfc != sorted(set(rgfc)):
            problems.append("character page %d" % i)
        for k in range(crun):
            offset, look = page[4 * (crun + 1) + k] * 2, set()
            grpprl = page[offset + 1:offset + 1 + page[offset]] if offset else b""
            at = 0
            while at + 2 < len(grpprl):  # the sprms written: operands of 1, 2 or 4 bytes
                sprm = u16(grpprl, at)
                if grpprl[at + 2] and sprm in names:
                    look.add(names[sprm])
                at += 2 + {0: 1, 1: 1, 3: 4}.get(sprm >> 13, 2)
            if at != len(grpprl) or (offset and offset < 5 * crun + 4):
                problems.append("character properties")
            char_runs.append((rgfc[k], rgfc[k + 1], look))
    run_starts = [first for first, _, _ in char_runs]
    fcs_of_text = [start + k * (1 if narrow else 2) for (start, _, narrow), (a, b) in zip(pieces, zip(cps, cps[1:]))
                   for k in range(b - a)]
    runs_of_text = [char_runs[max(0, bisect.bisect_right(run_starts, fc) - 1)] for fc in fcs_of_text]
    if any(not run[0] <= fc < run[1] for fc, run in zip(fcs_of_text, runs_of_text)):
        problems.append("a character without a character run")
    looks = [run[2] for run in runs_of_text]  # of every character of the text

    # Fields: field characters with sprmCFSpec, listed in the field table
    # with their kind; a reader shows the result, not the instruction.
    fc, lcb = fc_lcb(16)
    count = (lcb - 4) // 6 if lcb else 0
    listed = [(u32(table, fc + 4 * i), table[fc + 4 * (count + 1) + 2 * i:][:2]) for i in range(count)]
    if listed != [(cp, bytes([ord(c), {"\x13": 88, "\x14": 0, "\x15": 0x80}[c]]))
                  for cp, c in enumerate(text) if c in "\x13\x14\x15"]:
        problems.append("the field table does not list the field characters, HYPERLINK fields with separators")
    if count and u32(table, fc + 4 * count) <= listed[-1][0]:
        problems.append("the field table's last CP")
    shown, shown_looks, links, field = "", [], [], None
    for c, look in zip(text, looks):
        if c in "\x13\x14\x15" and "special" not in look:
            problems.append("a field character without sprmCFSpec")
        if c == "\x13":
            field = ["", None]
        elif c == "\x14" and field:
            field[1] = ""
        elif c == "\x15" and field:
            address = re.fullmatch(r' HYPERLINK "((?:[^"\\]|\\.)*)" ', field[0])
            links.append(re.sub(r"\\(.)", r"\1", address[1] if address else "?") + "|" + (field[1] or ""))
            field = None
        elif field and field[1] is None:
            field[0] += c
        else:
            if field:
                field[1] += c
            shown += c
            shown_looks.append("".join(x for x in "biuc" if x in look and c not in "\r\x07"))
    text = shown
    styled = ["".join(c for c, _ in group) + "|" + flags  # each stretch that is not plain
              for flags, group in itertools.groupby(zip(shown, shown_looks), key=lambda x: x[1]) if flags]

    # Section table: one section over the whole main document.
    fc, lcb = fc_lcb(6)
    sed = table[fc:fc + lcb]
    if lcb != 20 or u32(sed, 0) != 0 or u32(sed, 4) < ccp_text:
        problems.append("section table")
    else:
        sepx = u32(sed, 10)
        if sepx != 0xFFFFFFFF and (sepx >= cb_mac or u16(word, sepx) == 0):
            problems.append("section properties")

    # Stylesheet: at least the fixed styles, "Normal" first.
    fc, lcb = fc_lcb(1)
    stsh = table[fc:fc + lcb]
    cb_stshi = u16(stsh, 0)
    cstd = u16(stsh, 2)
    std_at = 2 + cb_stshi
    cb_std = u16(stsh, std_at)
    name_at = std_at + 2 + u16(stsh, 4)
    name = stsh[name_at + 2:name_at + 2 + 2 * u16(stsh, name_at)].decode("utf-16-le")
    if cstd < 15 or cb_std == 0 or (u16(stsh, std_at + 2) & 0x0FFF) != 0 or name != "Normal":
        problems.append("stylesheet")

    paragraphs = [p.replace("\v", "\n") for p in text[:-1].split("\r")]
    return {"paragraphs": paragraphs, "problems": problems, "pieces": len(pieces),
            "narrow": sum(1 for p in pieces if p[2]), "streams": streams, "links": links, "looks": styled}


def odtfile(path):
    problems = []
    archive = zipfile.ZipFile(path)
    entries = archive.infolist()
    first = entries[0]
    if first.filename != "mimetype" or first.compress_type != zipfile.ZIP_STORED or first.extra:
        problems.append("mimetype is not the first, stored entry without extra fields")
    with open(path, "rb") as raw:
        head = raw.read(80)
    if head[30:38] != b"mimetype" or head[38:77] != b"application/vnd.oasis.opendocument.text":
        problems.append("the media type is not at its fixed place")
    names = {e.filename for e in entries}
    for needed in ("META-INF/manifest.xml", "content.xml", "styles.xml"):
        if needed not in names:
            problems.append(needed + " missing")
    for entry in entries:
        if entry.filename.endswith(".xml"):
            try:
                ET.fromstring(archive.read(entry))
            except ET.ParseError as error:
                problems.append("%s: %s" % (entry.filename, error))

    text_ns = "urn:oasis:names:tc:opendocument:xmlns:text:1.0"
    office_ns = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"
    body = ET.fromstring(archive.read("content.xml")).find("{%s}body/{%s}text" % (office_ns, office_ns))

    # OpenDocument's white-space rule: runs of blanks collapse to one, and
    # leading and trailing ones go; <text:s/>, <text:tab/> and
    # <text:line-break/> are what they say.
    def collapse(text, after_blank):
        out = ""
        for c in text:
            if c in " \t\r\n":
                if not after_blank:
                    out += " "
                after_blank = True
            else:
                out += c
                after_blank = False
        return out, after_blank

    paragraphs = []
    for p in body:
        if p.tag != "{%s}p" % text_ns:
            problems.append("unexpected element " + p.tag)
            continue
        pieces = []  # (text, is_literal)
        if p.text:
            pieces.append((p.text, True))
        for child in p:
            tag = child.tag.split("}")[1]
            if tag == "s":
                pieces.append((" " * int(child.get("{%s}c" % text_ns, "1")), False))
            elif tag == "tab":
                pieces.append(("\t", False))
            elif tag == "line-break":
                pieces.append(("\n", False))
            else:
                problems.append("unexpected element " + tag)
            if child.tail:
                pieces.append((child.tail, True))
        out = ""
        after_blank = True  # leading blanks go
        for text, literal in pieces:
            if literal:
                collapsed, after_blank = collapse(text, after_blank)
                out += collapsed
            else:
                out += text
                after_blank = False
        if pieces and pieces[-1][1] and out.endswith(" "):
            out = out[:-1]  # a trailing literal blank goes too
        paragraphs.append(out)
    return {"paragraphs": paragraphs, "problems": problems}


def text(path):
    with open(path, "rb") as raw:
        content = raw.read().decode("utf-8", "strict")
    return {"lines": content.split("\r\n")[:-1]}


def main():
    reader, path = sys.argv[1], sys.argv[2]
    workdir = sys.argv[3] if len(sys.argv) > 3 else None
    if reader == "libreoffice":
        answer = libreoffice(path, workdir)
    elif reader == "libreoffice-marks":
        answer = docx_marks(libreoffice_docx(path, workdir))
    elif reader == "libreoffice-tables":
        answer = docx_tables(libreoffice_docx(path, workdir))
    else:
        answer = {"antiword": antiword, "catdoc": catdoc, "wvware": wvware, "pandoc": pandoc,
                  "docfile": docfile, "odtfile": odtfile,
                  "text": text, "docx-tables": docx_tables}[reader](path)
    sys.stdout.write(json.dumps(answer))


if __name__ == "__main__":
    main()
