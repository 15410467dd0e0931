#include "Values.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdint>
#include <limits>

namespace qm::jetwriter {

namespace {

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar
// (the year counted from March so that the leap day comes last).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const int shiftedMonth = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDay {
    std::int64_t year;
    int month;
    int day;
};

CivilDay civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int shiftedMonth = int((5 * dayOfYear + 2) / 153);
    const int day = int(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

const std::int64_t kAccessEpoch = daysFromCivil(1899, 12, 30);

bool validDay(int year, int month, int day) {
    if (month < 1 || month > 12 || day < 1)
        return false;
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= lengths[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace

std::optional<DateTime> MakeDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 100 || year > 9999 || !validDay(year, month, day))
        return std::nullopt;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    const double dayNumber = double(daysFromCivil(year, month, day) - kAccessEpoch);
    const double time = double(hour * 3600 + minute * 60 + second) / 86400.0;
    // Before the epoch the fraction still counts forward from midnight.
    return DateTime{dayNumber >= 0 ? dayNumber + time : dayNumber - time};
}

std::optional<DateTime> ParseDateTime(QStringView text) {
    static const QRegularExpression dateTime(
        QStringLiteral(R"(^(\d{3,4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2}))?)?$)"));
    static const QRegularExpression timeOnly(QStringLiteral(R"(^(\d{1,2}):(\d{2})(?::(\d{2}))?$)"));
    const QString trimmed = text.trimmed().toString();
    if (const auto m = dateTime.match(trimmed); m.hasMatch()) {
        return MakeDateTime(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                            m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    }
    if (const auto m = timeOnly.match(trimmed); m.hasMatch()) {
        const int hour = m.captured(1).toInt(), minute = m.captured(2).toInt(),
                  second = m.captured(3).toInt();
        if (hour > 23 || minute > 59 || second > 59)
            return std::nullopt;
        return DateTime{double(hour * 3600 + minute * 60 + second) / 86400.0};
    }
    return std::nullopt;
}

QString FormatDateTime(DateTime value) {
    const double whole = std::trunc(value.days);
    const double fraction = std::fabs(value.days - whole);
    auto seconds = std::int64_t(std::llround(fraction * 86400.0));
    auto dayNumber = std::int64_t(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        dayNumber += 1;  // the time counts forward on both sides of the epoch
    }
    const CivilDay c = civilFromDays(dayNumber + kAccessEpoch);
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(c.year, 4, 10, QLatin1Char('0'))
        .arg(c.month, 2, 10, QLatin1Char('0'))
        .arg(c.day, 2, 10, QLatin1Char('0'))
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

std::optional<Currency> ParseCurrency(QStringView text) {
    static const QRegularExpression number(QStringLiteral(R"(^([+-]?)(\d+)(?:\.(\d{0,4}))?$)"));
    const auto m = number.match(text.trimmed().toString());
    if (!m.hasMatch())
        return std::nullopt;
    const bool negative = m.captured(1) == QLatin1String("-");
    QString digits = m.captured(2) + m.captured(3).leftJustified(4, QLatin1Char('0'));
    // Accumulate negatively so that the most negative value fits.
    std::int64_t value = 0;
    for (const QChar c : digits) {
        const int digit = c.digitValue();
        if (__builtin_mul_overflow(value, std::int64_t(10), &value) ||
            __builtin_sub_overflow(value, std::int64_t(digit), &value))
            return std::nullopt;
    }
    if (!negative) {
        if (value == std::numeric_limits<std::int64_t>::min())
            return std::nullopt;
        value = -value;
    }
    return Currency{value};
}

QString FormatCurrency(Currency value) {
    const bool negative = value.tenThousandths < 0;
    // Magnitude without overflow for the most negative value.
    const std::uint64_t magnitude =
        negative ? std::uint64_t(-(value.tenThousandths + 1)) + 1 : std::uint64_t(value.tenThousandths);
    return QStringLiteral("%1%2.%3")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(magnitude / 10000)
        .arg(magnitude % 10000, 4, 10, QLatin1Char('0'));
}

std::optional<Guid> ParseGuid(QStringView text) {
    static const QRegularExpression guid(QStringLiteral(
        R"(^\{?([0-9A-Fa-f]{8})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{4})-([0-9A-Fa-f]{12})\}?$)"));
    const QString trimmed = text.trimmed().toString();
    const auto m = guid.match(trimmed);
    if (!m.hasMatch() || trimmed.startsWith(QLatin1Char('{')) != trimmed.endsWith(QLatin1Char('}')))
        return std::nullopt;
    const QByteArray hex =
        (m.captured(1) + m.captured(2) + m.captured(3) + m.captured(4) + m.captured(5)).toLatin1();
    const QByteArray raw = QByteArray::fromHex(hex);
    Guid g;
    // The first three groups are kept little-endian, the rest as written.
    static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        g.bytes[std::size_t(i)] = std::uint8_t(raw[order[i]]);
    return g;
}

QString FormatGuid(const Guid& value) {
    static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    QByteArray raw(16, 0);
    for (int i = 0; i < 16; ++i)
        raw[order[i]] = char(value.bytes[std::size_t(i)]);
    const QString hex = QString::fromLatin1(raw.toHex()).toUpper();
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(hex.mid(0, 8), hex.mid(8, 4), hex.mid(12, 4), hex.mid(16, 4), hex.mid(20, 12));
}

}  // namespace qm::jetwriter
