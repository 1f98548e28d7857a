#pragma once
// Dates and times as the program keeps them, and their local formats.
#include <QString>
#include <optional>

// Days since 30 Dec 1899, local time, with the time of day as the fraction.
using TDateTime = double;
TDateTime Now();
// The date and the time in the formats of the regional settings: nl_langinfo(D_FMT) and
// nl_langinfo(T_FMT) on Linux, the short date and long time of GetLocaleInfoEx on Windows
// (core/Regional.cpp, core/RegionalWin32.cpp).
QString FormatLocaleDate(TDateTime dt);
QString FormatLocaleTime(TDateTime dt);
// The date as the regional settings write it, with the whole year ("%y" widened to "%Y"),
// then the 24-hour time with milliseconds after the decimal separator:
// "09.12.2025 14:03:27,120". A spreadsheet under the same settings takes it as a date-time.
QString FormatSheetDateTime(TDateTime dt);
// The time of day alone in the same form: "14:03:27,120".
QString FormatSheetTime(TDateTime dt);
// A date as logs write it: in the regional settings' form, ISO 8601, or the day-first and
// month-first forms with dots or slashes, two- or four-digit year. The midnight it starts
// with, or nothing when the text is none of these.
std::optional<TDateTime> ParseLogDate(const QString& text);
