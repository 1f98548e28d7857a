#pragma once
// Dates and times as the program keeps them, and their local formats.
#include <QString>

// Days since 30 Dec 1899, local time, with the time of day as the fraction.
using TDateTime = double;
TDateTime Now();
// The date and the time in the formats of the regional settings: nl_langinfo(D_FMT) and
// nl_langinfo(T_FMT) on Linux, the short date and long time of GetLocaleInfoEx on Windows
// (core/Regional.cpp, core/RegionalWin32.cpp).
QString FormatLocaleDate(TDateTime dt);
QString FormatLocaleTime(TDateTime dt);
