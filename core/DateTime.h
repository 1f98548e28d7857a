#pragma once
// Dates and times as the program keeps them, and their local formats.
#include <QString>

// Days since 30 Dec 1899, local time, with the time of day as the fraction.
using TDateTime = double;
TDateTime Now();
// The date (nl_langinfo(D_FMT)) and the time (nl_langinfo(T_FMT)) of the regional settings.
QString FormatLocaleDate(TDateTime dt);
QString FormatLocaleTime(TDateTime dt);
