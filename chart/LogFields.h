#pragma once
// Numbers as the logs write them, read strictly: a field holds the number and nothing else.
// They are read by hand, without the locale or streams, as a large log holds millions.
#include <string_view>

// A whole number of `digitsMin` to `digitsMax` decimal digits, no sign.
bool ParseDigits(std::string_view text, int digitsMin, int digitsMax, int& value);

// A number with a decimal point or a decimal comma; finite.
bool ParseValue(std::string_view text, float& value);

// The same numbers, the logs' usual "-12.345" with at most three decimals read at once
// as thousandths, which gives the same float as reading the text.
bool ParseLambda(std::string_view text, float& value);
