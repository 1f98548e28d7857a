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
// A record: the long time, then ", " and each channel's lambda as LogValue writes it.
QString LogRecordLine(TDateTime when, const std::array<float, 4>& lambda);
