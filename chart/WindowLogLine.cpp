#include "chart/WindowLogLine.h"

#include "chart/LogFields.h"
#include "core/LogText.h"

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr std::string_view HeaderStart = "VORLANX Log V1.0";
constexpr std::string_view FieldSeparator = ", ";
constexpr std::size_t RecordFields = 5;

// Splits at ", ": a decimal comma is never followed by a space, so it stays in its field.
bool SplitFields(std::string_view line, std::array<std::string_view, RecordFields>& fields) {
    for (std::size_t i = 0; i + 1 < RecordFields; ++i) {
        const std::size_t end = line.find(FieldSeparator);
        if (end == std::string_view::npos)
            return false;
        fields[i] = line.substr(0, end);
        line.remove_prefix(end + FieldSeparator.size());
    }
    fields[RecordFields - 1] = line;
    return line.find(FieldSeparator) == std::string_view::npos;
}

// "H:MM:SS" or "HH:MM:SS", with ":" or "." between the parts and an optional AM or PM.
bool ParseClock(std::string_view text, int& secondOfDay) {
    int hourLimit = 23;
    int pm = -1;
    if (text.size() > 3 && text[text.size() - 3] == ' ') {
        const std::string_view suffix = text.substr(text.size() - 2);
        if (suffix != "AM" && suffix != "PM" && suffix != "am" && suffix != "pm")
            return false;
        pm = suffix[0] == 'P' || suffix[0] == 'p';
        hourLimit = 12;
        text.remove_suffix(3);
    }
    const std::size_t a = text.find_first_of(":.");
    const std::size_t b = a == std::string_view::npos ? a : text.find_first_of(":.", a + 1);
    if (b == std::string_view::npos)
        return false;
    int h = 0, m = 0, s = 0;
    if (!ParseDigits(text.substr(0, a), 1, 2, h) ||
        !ParseDigits(text.substr(a + 1, b - a - 1), 2, 2, m) ||
        !ParseDigits(text.substr(b + 1), 2, 2, s) || h > hourLimit || m > 59 || s > 59)
        return false;
    if (pm >= 0)
        h = h % 12 + (pm ? 12 : 0);
    secondOfDay = (h * 60 + m) * 60 + s;
    return true;
}
// Two digits at the text's position.
bool TakeTwoDigits(std::string_view text, std::size_t& at, int& value) {
    if (at + 2 > text.size() || !IsDigit(text[at]) || !IsDigit(text[at + 1]))
        return false;
    value = (text[at] - '0') * 10 + (text[at + 1] - '0');
    at += 2;
    return true;
}

// "[-]D[D][.|,D[D[D]]]" up to the end or the next ", ".
bool TakeThousandths(std::string_view text, std::size_t& at, std::int16_t& thousandths) {
    const bool negative = at < text.size() && text[at] == '-';
    at += negative;
    int whole = 0, digits = 0;
    for (; at < text.size() && IsDigit(text[at]) && digits < 3; ++at, ++digits)
        whole = whole * 10 + (text[at] - '0');
    if (digits == 0 || digits > 2)
        return false;
    int fraction = 0, decimals = 0;
    if (at + 1 < text.size() && (text[at] == '.' || text[at] == ',') && IsDigit(text[at + 1])) {
        for (++at; at < text.size() && IsDigit(text[at]) && decimals < 4; ++at, ++decimals)
            fraction = fraction * 10 + (text[at] - '0');
        if (decimals > 3)
            return false;
    }
    for (int d = decimals; d < 3; ++d)
        fraction *= 10;
    const int value = whole * 1000 + fraction;
    if (value > 32767)
        return false;
    thousandths = std::int16_t(negative ? -value : value);
    return true;
}
} // namespace

bool IsWindowLogHeader(std::string_view line, std::string_view& date) {
    if (!line.starts_with(HeaderStart))
        return false;
    line.remove_prefix(HeaderStart.size());
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    date = line;
    return true;
}

bool IsWindowLogColumns(std::string_view line) {
    return line == LogColumnLine;
}

bool ParseWindowRecord(std::string_view line, int& secondOfDay, std::array<float, 4>& lambda) {
    std::array<std::string_view, RecordFields> fields;
    if (!SplitFields(line, fields) || !ParseClock(fields[0], secondOfDay))
        return false;
    for (std::size_t n = 0; n < lambda.size(); ++n)
        if (!ParseLambda(fields[n + 1], lambda[n]))
            return false;
    return true;
}

bool ParseCommonWindowRecord(std::string_view line, int& secondOfDay,
                             std::array<std::int16_t, 4>& thousandths) {
    std::size_t at = 0;
    int h = 0, m = 0, s = 0;
    if (!TakeTwoDigits(line, at, h) || at >= line.size() || line[at++] != ':' ||
        !TakeTwoDigits(line, at, m) || at >= line.size() || line[at++] != ':' ||
        !TakeTwoDigits(line, at, s) || h > 23 || m > 59 || s > 59)
        return false;
    for (std::int16_t& value : thousandths) {
        if (line.substr(at, FieldSeparator.size()) != FieldSeparator)
            return false;
        at += FieldSeparator.size();
        if (!TakeThousandths(line, at, value))
            return false;
    }
    secondOfDay = (h * 60 + m) * 60 + s;
    return at == line.size();
}
