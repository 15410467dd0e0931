"""Random lookup, hyperlink and rich-text columns for the property test, and
the text Access shows for their values, worked out from the rules in
README.md ("Values as Access shows them") rather than from the program's code.

LookupMaker adds to a description a row-source table ("Lookup source N":
Key, Name, Other) and lookup columns over it in one of five shapes (the
table itself, SQL text with table names before columns, SQL with an
expression, an alias and a WHERE, a value list, a bound column that is not
the first), each with the function that gives the shown text of a key.
"""
import html
import re

from value_text import text_of

WORDS = ["alpha", "Beta", "gamma", "Ωmega", "日本", "x&y", "a<b", "\"q\"", "ä", "end."]


def hyperlink_shown(stored):
    """display#address#sub-address#...: the display text, else the address
    without mailto:; a value without # as it is."""
    if "#" not in stored:
        return stored
    parts = stored.split("#")
    display, address = parts[0], parts[1]
    if display:
        return display
    shown = address if address else (parts[2] if len(parts) > 2 else "")
    return re.sub(r"(?i)^mailto:", "", shown)


def hyperlink_target(stored):
    """Where a hyperlink's link points: its address, plus "#" and the
    sub-address when there is one; None without an address (no link)."""
    parts = stored.split("#")
    if len(parts) < 2 or not parts[1] or not hyperlink_shown(stored):
        return None
    return parts[1] + ("#" + parts[2] if len(parts) > 2 and parts[2] else "")


def bold_text(stored_html):
    """The text of rich text that is bold, blanks left out."""
    return "".join(html.unescape(word) for word in re.findall(r"<strong>(.*?)</strong>", stored_html))


def document_marks(path):
    """The link targets of a .docx in document order (HYPERLINK fields), and
    its bold text, blanks left out."""
    import zipfile
    with zipfile.ZipFile(path) as package:
        body = package.read("word/document.xml").decode("utf-8")
    targets = [re.sub(r"\\(.)", r"\1", html.unescape(t))
               for t in re.findall(r'HYPERLINK "((?:[^"\\]|\\.)*)"', body)]
    bold = "".join(html.unescape(t) for run in re.findall(r"<w:r><w:rPr><w:b/>.*?</w:r>", body)
                   for t in re.findall(r"<w:t[^>]*>([^<]*)</w:t>", run))
    return targets, re.sub(r"\s", "", bold)


class LookupMaker:
    def __init__(self, rng):
        self.rng = rng
        self.shown = {}  # (table name, column name) -> function(stored value) -> text

    def source_table(self, name):
        r = self.rng
        keys = r.sample(range(1, 60), r.randint(1, 12))
        rows = []
        for key in keys:
            label = None if r.random() < 0.15 else " ".join(r.sample(WORDS, r.randint(1, 3)))
            other = None if r.random() < 0.3 else r.choice(WORDS)
            rows.append([key, label, other])
        return {"name": name, "columns": [{"name": "Key", "type": "long"}, {"name": "Name", "type": "text"},
                                          {"name": "Other", "type": "text"}], "rows": rows}

    def lookup_column(self, column_name, source):
        """A long column with a lookup into source, and the text each key shows."""
        r = self.rng
        rows = source["rows"]
        table = source["name"]
        shape = r.randrange(5)
        name_of = {}
        if shape == 0:
            lookup = {"rowSource": "[%s]" % table, "columnCount": 2, "columnWidths": "0"}
            name_of = {key: text_of("text", label) for key, label, _ in rows}
        elif shape == 1:
            lookup = {"rowSource": "SELECT [%s].[Key], [%s].[Name] FROM [%s] ORDER BY [Name];" % (table, table, table),
                      "columnCount": 2, "columnWidths": "0;1440"}
            name_of = {key: text_of("text", label) for key, label, _ in rows}
        elif shape == 2:
            lookup = {"rowSource": "SELECT DISTINCTROW s.Key, [Name] & \", \" & [Other] AS Label FROM [%s] AS s "
                                   "WHERE [Key] > 20 ORDER BY s.Key" % table,
                      "columnCount": 2, "columnWidths": "0"}
            # & takes Null as empty text; keys the WHERE leaves out show themselves.
            name_of = {key: (label or "") + ", " + (other or "") for key, label, other in rows if key > 20}
        elif shape == 3:
            items = {key: r.choice(WORDS) for key, _, _ in rows}
            lookup = {"rowSourceType": "Value List", "columnCount": 2, "columnWidths": "0",
                      "rowSource": ";".join("%d;\"%s\"" % (key, text.replace("\"", "\"\"")) for key, text in items.items())}
            name_of = items
        else:
            lookup = {"rowSource": "SELECT [Name], [Key] FROM [%s]" % table, "columnCount": 2, "boundColumn": 2}
            name_of = {key: text_of("text", label) for key, label, _ in rows}
        column = {"name": column_name, "type": "long", "lookup": lookup}

        def shown(value):
            if value is None:
                return ""
            return name_of.get(value, text_of("long", value))
        return column, shown

    def lookup_value(self, source):
        r = self.rng
        choice = r.random()
        if choice < 0.15:
            return None
        if choice < 0.3:
            return r.choice([0, 99, 12345])  # a key the row source lacks
        return r.choice(source["rows"])[0]

    def hyperlink_value(self):
        r = self.rng
        display = "" if r.random() < 0.3 else r.choice(WORDS)
        address = r.choice(["http://example.com/%d" % r.randint(1, 99), "mailto:ann@example.com", "",
                            "MAILTO:Bob@example.org"])
        shape = r.random()
        if shape < 0.15:
            return display  # not in the stored form
        if shape < 0.3:
            return "%s#%s#Part %d#" % (display, address, r.randint(1, 9))
        return "%s#%s#" % (display, address)

    def rich_text_value(self):
        """HTML as Access keeps rich text, and the text it shows: a div per
        line (or lines parted by <br> in one div), emphasis and colour
        dropped, entities decoded."""
        r = self.rng
        lines = [" ".join(r.sample(WORDS, r.randint(1, 4))) for _ in range(r.randint(1, 3))]
        marked = []
        for line in lines:
            words = [html.escape(word, quote=False) for word in line.split(" ")]
            if r.random() < 0.5:
                words[0] = "<strong>%s</strong>" % words[0]
            if r.random() < 0.3:
                words[-1] = "<font color=\"#ff0000\">%s</font>" % words[-1]
            marked.append(" ".join(words))
        if r.random() < 0.3:
            stored = "<div>%s</div>" % "<br>".join(marked)
        else:
            stored = "".join("<div>%s</div>" % line for line in marked)
        return stored, "\r\n".join(lines)
