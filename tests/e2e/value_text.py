"""The text a value of each Access type becomes in the document, worked out
from the value as quillmerge-mkdb's JSON description gives it, by the table in
README.md ("What the document holds"). Written from those rules alone, not from
the program's code, so that the two can disagree.

  Null                       nothing
  Text, Memo                 as stored
  Byte, Integer, Long        decimal
  Single, Double             shortest text that reads back to the same number, "." as point
  Currency                   exact, without trailing zeros
  Yes/No                     True / False
  Date/Time                  1974-09-21 (midnight), 13:45:00 (time only), 1974-09-21 13:45:00
  Replication ID             {6F9619FF-8B86-D011-B42D-00C04FC964FF}
  Calculated                 the stored result by the rules of its result type
                             (the column's "calculated" "result"); an empty
                             result is nothing

A short row (tools/README.md, "Moved and short rows") gives the columns it
leaves out as Null, Yes/No ones as No; a moved row keeps its place.
"""
import datetime
import math
import re
import struct
from decimal import ROUND_HALF_EVEN, Decimal

ACCESS_EPOCH = datetime.date(1899, 12, 30)

_DATE_TIME = re.compile(r"^(\d{3,4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2}))?)?$")
_TIME = re.compile(r"^(\d{1,2}):(\d{2})(?::(\d{2}))?$")


def value_type(column):
    """The type of a column's values: a calculated column's result type."""
    calculated = column.get("calculated")
    return calculated["result"] if calculated else column["type"]


def rows_as_read(table):
    """The rows of a quillmerge-mkdb table description as a reader gives them."""
    layout = table.get("layout", {})
    held = dict(layout.get("short", []))
    rows = []
    for number, row in enumerate(table["rows"], 1):
        count = held.get(number, len(row))
        rows.append([value if i < count else
                     (False if column["type"] == "boolean" and "calculated" not in column else None)
                     for i, (column, value) in enumerate(zip(table["columns"], row))])
    return rows


def text_of(kind, value):
    if value is None:
        return ""
    if kind in ("text", "memo"):
        return value
    if kind in ("byte", "integer", "long"):
        return str(int(value))
    if kind == "boolean":
        return "True" if value else "False"
    if kind == "currency":
        return exact_decimal(Decimal(value) if isinstance(value, str) else Decimal(value))
    if kind == "double":
        return shortest(value, float32=False)
    if kind == "single":
        return shortest(to_float32(value), float32=True)
    if kind == "datetime":
        return date_time_text(value)
    if kind == "guid":
        return guid_text(value)
    raise ValueError("unknown type " + kind)


# ---- Currency ---------------------------------------------------------------

def exact_decimal(number):
    text = format(number, "f")
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    if text.lstrip("+-") in ("0", ""):
        return "0"
    return text.lstrip("+")


# ---- Single and Double --------------------------------------------------------

def to_float32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def _float32_bits(x):
    return struct.unpack("<I", struct.pack("<f", x))[0]


def _float32_from_bits(bits):
    return struct.unpack("<f", struct.pack("<I", bits))[0]


# Half a unit in the last place above the largest float32: from here on, infinity.
_FLOAT32_OVERFLOW = Decimal(2 ** 128) - Decimal(2 ** 103)


def _nearest_float32(number):
    """The float32 nearest to an exact decimal (ties to even), without the
    double rounding of going through a double first."""
    if abs(number) >= _FLOAT32_OVERFLOW:
        return math.copysign(math.inf, number)
    guess = to_float32(max(min(float(number), 3.4028234663852886e38), -3.4028234663852886e38))
    bits = _float32_bits(guess)
    candidates = [guess]
    for step in (-1, 1):
        neighbour = bits + step
        if 0 <= neighbour < 2 ** 32:
            value = _float32_from_bits(neighbour)
            if math.isfinite(value):
                candidates.append(value)
    best = min(candidates, key=lambda f: (abs(Decimal(f) - number), _float32_bits(f) & 1))
    return best


def _shortest_digits_float32(x):
    """Sign, digits and decimal exponent of the shortest decimal that reads back
    as the float32 x, the nearest to x among those of that length."""
    exact = Decimal(x)
    for precision in range(1, 10):
        rounded = Decimal("%.*e" % (precision - 1, x))
        # The correctly rounded one and its neighbours one unit in the last place away.
        unit = Decimal(1).scaleb(rounded.adjusted() - precision + 1)
        fits = [c for c in (rounded, rounded - unit, rounded + unit)
                if len(c.normalize().as_tuple().digits) <= precision and _nearest_float32(c) == x]
        if fits:
            return min(fits, key=lambda c: abs(c - exact)).normalize()
    raise AssertionError("no shortest form for %r" % x)


def shortest(x, float32):
    if x == 0:
        return "0"  # -0 is the same number and reads back the same
    number = _shortest_digits_float32(x) if float32 else Decimal(repr(x)).normalize()
    sign, digits, exponent = number.as_tuple()
    digits = "".join(map(str, digits))
    point = len(digits) + exponent  # digits before the decimal point
    if point <= 0:
        fixed = "0." + "0" * -point + digits
    elif point >= len(digits):
        # A whole number: of the texts this long, the one nearest to x, which
        # spells out its digits instead of padding with zeros.
        fixed = str(abs(int(Decimal(x).to_integral_value(rounding=ROUND_HALF_EVEN))))
    else:
        fixed = digits[:point] + "." + digits[point:]
    power = point - 1
    scientific = digits[0] + ("." + digits[1:] if len(digits) > 1 else "") + \
        "e%s%02d" % ("-" if power < 0 else "+", abs(power))
    # Plain digits from 0.0001 to below 10^16, the exponent form outside.
    text = fixed if 1e-4 <= abs(x) < 1e16 else scientific
    return ("-" if sign else "") + text


# ---- Date/Time ----------------------------------------------------------------

def _format(day_number, seconds):
    """Days from 1899-12-30 and seconds after midnight, as README shows them."""
    day = ACCESS_EPOCH + datetime.timedelta(days=day_number)
    date = "%04d-%02d-%02d" % (day.year, day.month, day.day)
    time = "%02d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)
    if seconds == 0:
        return date
    if day_number == 0:
        return time
    return date + " " + time


def date_time_text(value):
    if isinstance(value, (int, float)):
        # Access's own number: whole days from the epoch, the fraction the time
        # of day, counted forward from midnight also before the epoch.
        day = math.trunc(value)
        seconds = round(abs(value - day) * 86400)
        if seconds == 86400:
            day, seconds = day + 1, 0
        return _format(day, seconds)
    text = value.strip()
    match = _DATE_TIME.match(text)
    if match:
        year, month, day, hour, minute, second = (int(g or 0) for g in match.groups())
        day_number = (datetime.date(year, month, day) - ACCESS_EPOCH).days
        return _format(day_number, hour * 3600 + minute * 60 + second)
    match = _TIME.match(text)
    if match:
        hour, minute, second = (int(g or 0) for g in match.groups())
        return _format(0, hour * 3600 + minute * 60 + second)
    raise ValueError("not a date: %r" % value)


# ---- Replication ID -------------------------------------------------------------

def guid_text(value):
    return "{" + value.strip().strip("{}").upper() + "}"
