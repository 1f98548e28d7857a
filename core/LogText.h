#pragma once
// The text of the data log: its two header lines and its records.
#include "core/DateTime.h"

#include <QString>
#include <array>

// The value rounded to three significant digits, written with three decimals and the
// locale's decimal separator: 0.98765 → 0.988, 65.535 → 65.500.
QString LogValue(double value);

// The first header line: "VORLANX Log V1.0  " and the short date.
QString LogHeaderLine(TDateTime when);
extern const char* const LogColumnLine;
// uego-log's precise format: its header row. Each record then holds the local time in
// ISO 8601 with milliseconds and UTC offset, elapsed seconds, the four lambda values, the
// supply voltage and the warm-up flag, with a decimal point and commas between fields.
extern const char* const PreciseHeaderLine;
// A record: the long time, then ", " and each channel's lambda as LogValue writes it.
QString LogRecordLine(TDateTime when, const std::array<float, 4>& lambda);
