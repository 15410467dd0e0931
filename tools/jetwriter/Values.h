#pragma once

// Text forms of the values that JSON cannot carry exactly, and the calendar
// arithmetic of Access dates.

#include "JetWriter.h"

#include <QString>
#include <QStringView>
#include <optional>

namespace qm::jetwriter {

// The Access date of a day and time of the proleptic Gregorian calendar.
// Access keeps years 100 to 9999; values outside are refused with nullopt.
std::optional<DateTime> MakeDateTime(int year, int month, int day, int hour = 0, int minute = 0,
                                     int second = 0);

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" (or with 'T' between),
// and a time of day alone ("HH:MM[:SS]", the day Access counts as 0).
std::optional<DateTime> ParseDateTime(QStringView text);

// Back to "YYYY-MM-DD HH:MM:SS" (to the nearest second).
QString FormatDateTime(DateTime value);

// A decimal with at most four places: "12", "-0.5", "922337203685477.5807".
std::optional<Currency> ParseCurrency(QStringView text);
// The exact decimal with four places: "12.0000", "-0.5000".
QString FormatCurrency(Currency value);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", braces optional, either case.
std::optional<Guid> ParseGuid(QStringView text);
// The form with braces and capitals.
QString FormatGuid(const Guid& value);

}  // namespace qm::jetwriter
