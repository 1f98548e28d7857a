#pragma once
// The text of the data log: its two header lines and its records.
#include "core/DateTime.h"

#include <QString>
#include <array>
#include <optional>

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

// The log for spreadsheets (uego-log's sheet format, the chart's CSV export): what a
// spreadsheet under the same regional settings reads without a choice in its import
// dialog. Where the decimal separator is a comma, ";" between fields and the decimal
// comma; elsewhere "," and the point. A record is the time (FormatSheetDateTime, one
// cell), the four channels with three decimals and the supply voltage with two:
//   "09.12.2025 14:03:27,120;0,988;1,023;0,850;1,000;12,55"
//   "12/09/2025 14:03:27.120,0.988,1.023,0.850,1.000,12.55"
QChar SheetSeparator();
// "Time;CH1 lambda;CH2 lambda;CH3 lambda;CH4 lambda;Supply V" for the unit "lambda".
QString SheetHeaderLine(const QString& unit);
// A record whose time cell is written already; no supply voltage leaves its cell empty.
QString SheetRecordLine(const QString& time, const std::array<float, 4>& values,
                        std::optional<float> supplyVolts);
