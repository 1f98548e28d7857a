#include "chart/LogFields.h"

#include <charconv>
#include <cmath>

namespace {
constexpr int MostWholeDigits = 4; // keeps the thousandths exact in a float
constexpr int MostDecimals = 3;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "[-]D[DDD][.|,D[D[D]]]" as thousandths; anything else is left to the full reading.
bool ParseThousandths(std::string_view text, int& thousandths) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    i += negative;
    // Digits past the most that are read here end the reading before they are added, so
    // a long field cannot overflow: the full reading takes it.
    int whole = 0, digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
        if (digits == MostWholeDigits)
            return false;
        whole = whole * 10 + (text[i] - '0');
    }
    if (digits == 0)
        return false;
    int fraction = 0, decimals = 0;
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        for (++i; i < text.size() && IsDigit(text[i]); ++i, ++decimals) {
            if (decimals == MostDecimals)
                return false;
            fraction = fraction * 10 + (text[i] - '0');
        }
        if (decimals == 0)
            return false;
    }
    if (i != text.size())
        return false;
    for (int d = decimals; d < MostDecimals; ++d)
        fraction *= 10;
    thousandths = (whole * 1000 + fraction) * (negative ? -1 : 1);
    return true;
}
} // namespace

bool ParseDigits(std::string_view text, int digitsMin, int digitsMax, int& value) {
    if (text.size() < std::size_t(digitsMin) || text.size() > std::size_t(digitsMax))
        return false;
    int result = 0;
    for (char c : text) {
        if (!IsDigit(c))
            return false;
        result = result * 10 + (c - '0');
    }
    value = result;
    return true;
}

bool ParseValue(std::string_view text, float& value) {
    char buffer[32];
    if (text.empty() || text.size() >= sizeof buffer)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        buffer[i] = text[i] == ',' ? '.' : text[i];
    const char* end = buffer + text.size();
    const auto [stop, error] = std::from_chars(buffer, end, value, std::chars_format::fixed);
    return error == std::errc() && stop == end && std::isfinite(value);
}

// Dividing the exact thousandths by the exact 1000 rounds once, as reading the text does.
bool ParseLambda(std::string_view text, float& value) {
    int thousandths = 0;
    if (!ParseThousandths(text, thousandths))
        return ParseValue(text, value);
    value = float(thousandths) / 1000.0f;
    if (thousandths == 0 && text[0] == '-')
        value = -0.0f;
    return true;
}
