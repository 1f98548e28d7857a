#include "chart/PreciseLogLine.h"

#include "chart/LogFields.h"
#include "core/LogText.h"

namespace {
constexpr std::size_t RecordFields = 8;

bool SplitFields(std::string_view line, std::array<std::string_view, RecordFields>& fields) {
    for (std::size_t i = 0; i + 1 < RecordFields; ++i) {
        const std::size_t end = line.find(',');
        if (end == std::string_view::npos)
            return false;
        fields[i] = line.substr(0, end);
        line.remove_prefix(end + 1);
    }
    fields[RecordFields - 1] = line;
    return line.find(',') == std::string_view::npos;
}

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 to the date in the proleptic Gregorian calendar.
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yearOfEra = y - era * 400;
    const long long dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// Reads "<digits><separator>" from the front of the text.
bool TakeDigits(std::string_view& text, std::size_t digits, char separator, int& value) {
    if (text.size() < digits + (separator ? 1 : 0) ||
        !ParseDigits(text.substr(0, digits), int(digits), int(digits), value))
        return false;
    if (separator && text[digits] != separator)
        return false;
    text.remove_prefix(digits + (separator ? 1 : 0));
    return true;
}

// "YYYY-MM-DD"
bool ParseDate(std::string_view& text, long long& day) {
    int y = 0, m = 0, d = 0;
    if (!TakeDigits(text, 4, '-', y) || !TakeDigits(text, 2, '-', m) ||
        !TakeDigits(text, 2, 'T', d))
        return false;
    if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m))
        return false;
    day = DaysFromCivil(y, m, d);
    return true;
}

// "HH:MM:SS", then an optional fraction of the second.
bool ParseClock(std::string_view& text, int& secondOfDay, double& fraction) {
    int h = 0, m = 0, s = 0;
    if (!TakeDigits(text, 2, ':', h) || !TakeDigits(text, 2, ':', m) || !TakeDigits(text, 2, 0, s))
        return false;
    if (h > 23 || m > 59 || s > 59)
        return false;
    secondOfDay = (h * 60 + m) * 60 + s;
    fraction = 0;
    if (text.empty() || text.front() != '.')
        return true;
    text.remove_prefix(1);
    double scale = 0.1;
    std::size_t digits = 0;
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        fraction += (text[digits] - '0') * scale;
        scale /= 10;
    }
    text.remove_prefix(digits);
    return digits > 0 && digits <= 9;
}

// "Z", or "+HH:MM" or "-HH:MM".
bool ParseOffset(std::string_view text, int& offsetSeconds) {
    if (text == "Z") {
        offsetSeconds = 0;
        return true;
    }
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-'))
        return false;
    const int sign = text[0] == '-' ? -1 : 1;
    text.remove_prefix(1);
    int h = 0, m = 0;
    if (!TakeDigits(text, 2, ':', h) || !TakeDigits(text, 2, 0, m) || h > 23 || m > 59)
        return false;
    offsetSeconds = sign * (h * 3600 + m * 60);
    return true;
}

bool ParseTimestamp(std::string_view text, TPreciseRecord& record) {
    int secondOfDay = 0;
    if (!ParseDate(text, record.LocalDay) || !ParseClock(text, secondOfDay, record.Fraction) ||
        !ParseOffset(text, record.OffsetSeconds))
        return false;
    record.UtcSecond = record.LocalDay * 86400 + secondOfDay - record.OffsetSeconds;
    return true;
}
} // namespace

bool IsPreciseLogHeader(std::string_view line) {
    return line == PreciseHeaderLine;
}

bool ParsePreciseRecord(std::string_view line, TPreciseRecord& record) {
    std::array<std::string_view, RecordFields> fields;
    float elapsed = 0;
    if (!SplitFields(line, fields) || !ParseTimestamp(fields[0], record) ||
        !ParseLambda(fields[1], elapsed))
        return false;
    for (std::size_t n = 0; n < record.Lambda.size(); ++n)
        if (!ParseLambda(fields[2 + n], record.Lambda[n]))
            return false;
    if (!ParseLambda(fields[6], record.SupplyVolts) || (fields[7] != "0" && fields[7] != "1"))
        return false;
    record.WarmUp = fields[7] == "1";
    return true;
}
