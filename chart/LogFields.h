#pragma once
// Numbers as the logs write them, read strictly: a field holds the number and nothing else.
#include <string_view>

// A whole number of `digitsMin` to `digitsMax` decimal digits, no sign.
bool ParseDigits(std::string_view text, int digitsMin, int digitsMax, int& value);

// A number with a decimal point or a decimal comma; finite.
bool ParseValue(std::string_view text, float& value);
