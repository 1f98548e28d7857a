#pragma once
// Numbers as the regional settings write them: rounding, the separators and the float
// format pictures.
#include <QChar>
#include <QString>

// Nearest integer, halves to the even neighbour (saturating at the int range).
int Round(double x);
// The decimal separator of the regional settings (localeconv()).
QChar DecimalSeparator();
// The thousands separator of the regional settings; a null character where there is none.
QChar ThousandSeparator();
// The value with a fixed number of decimals and the locale's decimal separator: 1.5, 3 → 1.500.
QString FixedDecimals(double value, int decimals);
// Formats `value` with a float format picture: "0" mandatory digit, "#" optional digit,
// "." decimal separator, "E+"/"E-"/"e+"/"e-" exponent, "'…'" or "\"…\"" literal text, ";"
// separating the sections for positive, negative and zero values. The value is rounded
// (halves to even, on its exact binary value) to the picture's last decimal place.
QString FormatFloat(const QString& picture, double value);
