"""Random but reproducible database descriptions for quillmerge-mkdb.

Everything comes from one random.Random(seed): table and field names with
blanks, punctuation and letters from many scripts; columns of every type
quillmerge-mkdb writes; values at the edges of each type (empty and 255-
character texts, memos over 4 KB, numeric extremes, dates from the year 100 to
9999, Nulls) mixed with ordinary ones; rows stored as edits in Access leave
them (moved to another page, or holding only their first columns).
"""
import calendar
import math
import struct

from shown_values import LookupMaker, hyperlink_shown
from value_text import text_of, value_type

TYPES = ["text", "memo", "byte", "integer", "long", "single", "double", "currency", "datetime", "boolean",
         "guid"]

# Access allows neither . ! ` [ ] in names, nor control characters or a leading blank.
NAME_CHARS = ("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789" + " " * 8 +
              ",;:-_+=()#%&'\"/@$~^{}|<>?*" + "äöüßÄÖÜéèçñøåæœŁłŻ" + "ΩωΣДжЖ東京日本語한글")
SQL_WORDS = ["Select", "From", "Where", "Order", "Group", "Date", "Name", "Value", "Table", "Text", "By"]

TEXT_POOLS = [
    "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789",
    "<>&\"'",                  # XML's special characters
    ",;|\t",                   # separators and tabs inside values
    "äöüßÄÖÜéèàçñø€£¥©®°±µ",  # below U+0100 and the euro sign
    "ΩωΣДжЖ東京日本語한글",       # two bytes a character
    "\u0100\u4e00\u3000\u2000",  # low byte zero: never compressed
    "\U0001f600\U0001f4a1\U00010348",  # outside the BMP: surrogate pairs
]
RARE_TEXT = ["\r\n", "\n", "\r", "\x01", "\x1f", "\x7f", "\ufffe", "\uffff", "\ud800", "\ufeff", "\u2028"]

SEPARATOR_CHARS = [",", ";", " ", "\t", "|", "<", ">", "&", "\"", "'", "-", "€", "ä", ":", "/", "\\", "]",
                   "=", "\U0001f4a1"]

DOUBLE_EDGES = [0.0, -0.0, 1.0, -1.0, 0.1, 444.555, 1e16, 1e15, 1e-5, 1e-4, 0.001, 1e21, 1e22, 1e-7,
                2.0 ** 53, 2.0 ** 60, 123456789012345680.0, 1.7976931348623157e308, -1.7976931348623157e308,
                2.2250738585072014e-308, 5e-324, -5e-324, math.pi, 1 / 3]
SINGLE_EDGES = [0.0, -0.0, 0.1, 0.15, 1.0, 16777216.0, 16777217.0, 3.4028234663852886e38,
                -3.4028234663852886e38, 1.1754943508222875e-38, 1.401298464324817e-45, 1e-7, 1e10, 2.0 ** 100]
CURRENCY_EDGES = ["-922337203685477.5808", "922337203685477.5807", "0", "0.0000", "-0.0001", "0.0001",
                  "3.5000", "-12.3456", "+7", "100."]
INTEGER_RANGES = {"byte": (0, 255), "integer": (-32768, 32767), "long": (-2 ** 31, 2 ** 31 - 1)}

# Room for a row on a Jet 4 data page, less a margin for our estimate.
ROW_BUDGET = 4080 - 32
# The entry types calculated columns are given here, and what wraps their results.
CALCULATED_ENTRY_TYPES = ["text", "double", "integer", "long"]
CALCULATED_WRAPPING = 23
FIXED_BYTES = {"byte": 1, "integer": 2, "long": 4, "single": 4, "double": 8, "currency": 8, "datetime": 8,
               "guid": 16, "boolean": 0}


def utf16_units(text):
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


def truncate_units(text, units):
    """The longest start of text with at most `units` UTF-16 units, never
    cutting a character outside the BMP in half."""
    out = []
    used = 0
    for ch in text:
        size = 2 if ord(ch) > 0xFFFF else 1
        if used + size > units:
            break
        out.append(ch)
        used += size
    return "".join(out)


class TableMaker:
    def __init__(self, rng):
        self.rng = rng
        self.used_names = set()
        self.lookups = LookupMaker(rng)
        self.source = None  # the row-source table of this description's lookups
        self.rich = {}  # stored rich text -> the text it shows

    # ---- names ----------------------------------------------------------------

    def name(self, taken):
        r = self.rng
        for _ in range(1000):
            choice = r.random()
            if choice < 0.1:
                text = r.choice(SQL_WORDS)
            elif choice < 0.15:
                text = "".join(r.choice(NAME_CHARS) for _ in range(64))
            else:
                text = "".join(r.choice(NAME_CHARS) for _ in range(r.randint(1, 16)))
            text = truncate_units(text, 64).strip(" ")
            if text and text.casefold() not in taken:
                taken.add(text.casefold())
                return text
        raise AssertionError("no free name")

    # ---- values -----------------------------------------------------------------

    def text(self, limit):
        r = self.rng
        choice = r.random()
        if choice < 0.08:
            return ""
        if choice < 0.18:
            length = limit  # filled to the last character
        else:
            length = r.randint(0, min(limit, 40))
        pools = r.sample(TEXT_POOLS, r.randint(1, 3))
        chars = []
        for _ in range(length):
            if r.random() < 0.04:
                chars.append(r.choice(RARE_TEXT))
            else:
                chars.append(r.choice(r.choice(pools)))
        return truncate_units("".join(chars), limit)

    def memo(self):
        r = self.rng
        if r.random() < 0.2:
            # Over 4 KB: several long-value pages.
            block = self.text(200) or "memo"
            text = (block * (r.randint(4200, 20000) // max(1, len(block)) + 1))
            return text[: r.randint(4200, 20000)]
        return self.text(r.choice([10, 60, 300]))

    def single(self):
        r = self.rng
        choice = r.random()
        if choice < 0.3:
            value = r.choice(SINGLE_EDGES)
        elif choice < 0.6:
            value = round(r.uniform(-1e6, 1e6), r.randint(0, 4))
        else:
            while True:
                value = struct.unpack("<f", struct.pack("<I", r.getrandbits(32)))[0]
                if math.isfinite(value):
                    break
        # The exact double of the nearest float32, so that the tool stores what we expect.
        return struct.unpack("<f", struct.pack("<f", value))[0]

    def double(self):
        r = self.rng
        choice = r.random()
        if choice < 0.3:
            return r.choice(DOUBLE_EDGES)
        if choice < 0.6:
            return round(r.uniform(-1e9, 1e9), r.randint(0, 6))
        if choice < 0.7:
            return float(r.randint(-2 ** 53, 2 ** 53))
        while True:
            value = struct.unpack("<d", struct.pack("<Q", r.getrandbits(64)))[0]
            if math.isfinite(value):
                return value

    def currency(self):
        r = self.rng
        choice = r.random()
        if choice < 0.25:
            return r.choice(CURRENCY_EDGES)
        if choice < 0.35:
            # A JSON number that a double holds exactly, with up to four places.
            return r.randint(-10 ** 6, 10 ** 6) + r.randint(0, 15) / 16
        units = r.randint(-2 ** 63, 2 ** 63 - 1) if r.random() < 0.5 else r.randint(-10 ** 9, 10 ** 9)
        sign = "-" if units < 0 else ""
        whole, fraction = divmod(abs(units), 10000)
        places = "%04d" % fraction
        if r.random() < 0.5:
            places = places.rstrip("0")
        return sign + str(whole) + ("." + places if places or r.random() < 0.2 else "")

    def date_time(self):
        r = self.rng
        choice = r.random()
        if choice < 0.1:
            # Access's own number: days from 1899-12-30, the time as a fraction.
            day = r.randint(-600000, 2900000)
            seconds = r.randint(0, 86399)
            return day + seconds / 86400 if day >= 0 else day - seconds / 86400
        if choice < 0.2:
            hour, minute = r.randint(0, 23), r.randint(0, 59)
            if r.random() < 0.5:
                return "%d:%02d" % (hour, minute)
            return "%02d:%02d:%02d" % (hour, minute, r.randint(0, 59))
        era = r.random()
        if era < 0.3:
            year = r.randint(100, 1899)
        elif era < 0.6:
            year = r.randint(2101, 9999)
        elif era < 0.7:
            year = r.choice([100, 1899, 1900, 9999])
        else:
            year = r.randint(1900, 2100)
        month = r.randint(1, 12)
        day = r.randint(1, 28) if r.random() < 0.8 else calendar.monthrange(year, month)[1]
        text = "%04d-%02d-%02d" % (year, month, day) if year >= 1000 or r.random() < 0.5 else \
            "%d-%d-%d" % (year, month, day)
        shape = r.random()
        if shape < 0.3:
            return text
        separator = "T" if r.random() < 0.2 else " "
        if shape < 0.5:
            return text + separator + "%02d:%02d" % (r.randint(0, 23), r.randint(0, 59))
        return text + separator + "%02d:%02d:%02d" % (r.randint(0, 23), r.randint(0, 59), r.randint(0, 59))

    def guid(self):
        r = self.rng
        digits = "%032x" % r.getrandbits(128)
        if r.random() < 0.5:
            digits = digits.upper()
        text = "-".join([digits[:8], digits[8:12], digits[12:16], digits[16:20], digits[20:]])
        return "{" + text + "}" if r.random() < 0.7 else text

    def value(self, column):
        r = self.rng
        if "lookup" in column:
            return self.lookups.lookup_value(self.source)
        if column.get("hyperlink") and r.random() >= 0.15:
            return self.lookups.hyperlink_value()
        if column.get("richText"):
            # Rich text is HTML: any other text would be read as markup too.
            if column.get("nullable", True) and r.random() < 0.15:
                return None
            stored, shown = self.lookups.rich_text_value()
            self.rich[stored] = shown
            return stored
        kind = value_type(column)
        calculated = "calculated" in column  # an expression may give Null, even Yes/No
        if column.get("nullable", True) and (kind != "boolean" or calculated) and r.random() < 0.15:
            return None
        if kind == "text":
            return storable(self.text(column.get("size", 255)))
        if kind == "memo":
            return storable(self.memo())
        if kind in INTEGER_RANGES:
            low, high = INTEGER_RANGES[kind]
            return r.choice([low, high, 0, r.randint(low, high), r.randint(low, high)])
        if kind == "single":
            return self.single()
        if kind == "double":
            return self.double()
        if kind == "currency":
            return self.currency()
        if kind == "datetime":
            return self.date_time()
        if kind == "boolean":
            return r.random() < 0.5
        if kind == "guid":
            return self.guid()
        raise ValueError(kind)

    # ---- tables -----------------------------------------------------------------

    def column(self, taken, kind=None):
        r = self.rng
        if kind is None and r.random() < 0.1:
            return self.calculated_column(taken, r.choice(TYPES))
        column = {"name": self.name(taken), "type": kind or r.choice(TYPES)}
        if column["type"] == "memo" and kind is None and r.random() < 0.3:
            column[r.choice(["hyperlink", "richText"])] = True
        if column["type"] == "text" and r.random() < 0.7:
            column["size"] = r.choice([1, 10, 50, 255, r.randint(1, 255)])
        if column["type"] != "boolean" and r.random() < 0.15:
            column["nullable"] = False
        return column

    def calculated_column(self, taken, result):
        """A calculated column as Access may leave it: its entry keeps a type
        code other than its result type, which only its properties record."""
        r = self.rng
        entry = r.choice([t for t in CALCULATED_ENTRY_TYPES if t != result])
        column = {"name": self.name(taken), "type": entry,
                  "calculated": {"result": result, "expression": "[%s]" % r.choice(SQL_WORDS)}}
        if result == "text" and r.random() < 0.7:
            column["size"] = r.choice([1, 10, 50, 255, r.randint(1, 255)])
        return column

    def row(self, columns):
        row = [self.value(column) for column in columns]
        # Cut the longest texts until the row fits on a data page.
        while row_bytes(columns, row) > ROW_BUDGET:
            longest = max((i for i, c in enumerate(columns) if value_type(c) == "text" and row[i]),
                          key=lambda i: utf16_units(row[i]))
            row[longest] = truncate_units(row[longest], utf16_units(row[longest]) // 2)
        return row

    def table(self, table_names, every_type=False):
        r = self.rng
        taken = set()
        columns = [self.column(taken) for _ in range(r.choice([1, 2, 3, r.randint(1, 12), r.randint(1, 12)]))]
        if every_type:
            columns += [self.column(taken, kind) for kind in TYPES]
            columns += [self.calculated_column(taken, kind) for kind in TYPES]
            columns += [dict(self.column(taken, "memo"), hyperlink=True), dict(self.column(taken, "memo"), richText=True)]
        shown = {}
        if self.source and r.random() < 0.8:
            for _ in range(r.randint(1, 3)):
                column, shown_text = self.lookups.lookup_column(self.name(taken), self.source)
                columns.insert(r.randint(0, len(columns)), column)
                shown[column["name"]] = shown_text
            r.shuffle(columns)
        count = 0 if r.random() < 0.1 else r.randint(1, 25)
        table = {"name": self.name(table_names), "columns": columns,
                 "rows": [self.row(columns) for _ in range(count)]}
        for column_name, shown_text in shown.items():
            self.lookups.shown[(table["name"], column_name)] = shown_text
        if count and r.random() < 0.5:
            table["layout"] = self.layout(len(columns), count)
        return table

    def layout(self, columns, count):
        """Some rows moved to a later page, some (keeping values for the
        columns they leave out, which are not stored) short."""
        r = self.rng
        numbers = range(1, count + 1)
        layout = {"moved": sorted(r.sample(numbers, r.randint(0, count)))}
        if columns > 1:
            layout["short"] = [[row, r.randint(1, columns - 1)]
                               for row in sorted(r.sample(numbers, r.randint(0, count)))]
        return layout

    def description(self):
        r = self.rng
        table_names = set()
        # Most seeds have lookups into a row-source table of their own.
        if r.random() < 0.7:
            self.source = self.lookups.source_table(self.name(table_names))
        # The first table has a column of every type, so every seed covers them all.
        description = {"tables": [self.table(table_names, every_type=(i == 0)) for i in range(r.randint(1, 3))]}
        if self.source:
            description["tables"].insert(r.randint(0, len(description["tables"])), self.source)
        if r.random() < 0.25:
            description["password"] = "".join(r.choice(NAME_CHARS + ";=") for _ in range(r.randint(1, 20)))
        return description

    def shown_text(self, table, column, value):
        """The text the document shows for a stored value, as Access shows it."""
        if value is None:
            return ""
        lookup = self.lookups.shown.get((table["name"], column["name"]))
        if lookup:
            return lookup(value)
        if column.get("hyperlink"):
            return hyperlink_shown(value)
        if column.get("richText") and value in self.rich:
            return self.rich[value]
        return text_of(value_type(column), value)

    def separator(self):
        r = self.rng
        if r.random() < 0.15:
            return None  # the default
        return "".join(r.choice(SEPARATOR_CHARS) for _ in range(r.randint(0, 3)))


def storable(text):
    """Jet marks compressed text with FF FE, so a text that starts with U+FEFF
    must be stored compressed, which a character whose low byte is zero rules
    out; such a text gets another first character."""
    units = text.encode("utf-16-le", "surrogatepass")
    if text.startswith("\ufeff") and any(units[i] == 0 for i in range(0, len(units), 2)):
        return "x" + text[1:]
    return text


def row_bytes(columns, row):
    """An upper bound of the bytes a row takes on a Jet 4 data page. A
    calculated column's result is a variable value, wrapped in 23 bytes."""
    fixed = sum(FIXED_BYTES.get(c["type"], 0) for c in columns if "calculated" not in c)
    variable = [i for i, c in enumerate(columns) if value_type(c) in ("text", "memo") or "calculated" in c]
    data = 0
    for i in variable:
        if row[i] is None:
            continue
        kind = value_type(columns[i])
        wrapping = CALCULATED_WRAPPING if "calculated" in columns[i] else 0
        if kind == "memo":
            data += 12 + 64  # longer memos live on their own pages
        elif kind == "text":
            data += 3 * utf16_units(row[i]) + 2 + wrapping
        else:
            data += FIXED_BYTES.get(kind, 0) + 1 + wrapping
    trailer = 2 + 2 * len(variable) + 2 if variable else 0
    return 2 + fixed + data + trailer + (len(columns) + 7) // 8
