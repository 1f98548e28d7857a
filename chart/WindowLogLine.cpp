#include "chart/WindowLogLine.h"

#include "chart/LogFields.h"
#include "core/LogText.h"

namespace {
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
