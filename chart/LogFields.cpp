#include "chart/LogFields.h"

#include <charconv>
#include <cmath>

bool ParseDigits(std::string_view text, int digitsMin, int digitsMax, int& value) {
    if (text.size() < std::size_t(digitsMin) || text.size() > std::size_t(digitsMax))
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
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
