#pragma once
// The lines of the data log the main window writes, which uego-log also writes byte for
// byte: "VORLANX Log V1.0  <date>", "Time, CH1, CH2, CH3, CH4", then records
// "HH:MM:SS, v1, v2, v3, v4" with the locale's time and decimal separator.
#include <array>
#include <cstdint>
#include <string_view>

// The header line; `date` is what follows its fixed start.
bool IsWindowLogHeader(std::string_view line, std::string_view& date);
bool IsWindowLogColumns(std::string_view line);

// A record: the second of the day its clock shows and the four lambdas.
bool ParseWindowRecord(std::string_view line, int& secondOfDay, std::array<float, 4>& lambda);

// The record as the logs almost always write it, "HH:MM:SS, v, v, v, v" with at most three
// decimals within ±32.767, read in one pass as thousandths. False for any other shape,
// which ParseWindowRecord then reads; what this reads, that reads alike.
bool ParseCommonWindowRecord(std::string_view line, int& secondOfDay,
                             std::array<std::int16_t, 4>& thousandths);
