#include "core/LogText.h"

#include "core/Numbers.h"

#include <charconv>

const char* const LogColumnLine = "Time, CH1, CH2, CH3, CH4";
const char* const PreciseHeaderLine = "time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup";

QString LogValue(double value) {
    char text[64];
    // Three significant digits first (decimal rounding of the exact value), then three decimals.
    const auto significant =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 2);
    double rounded = value;
    std::from_chars(text, significant.ptr, rounded);
    const auto fixed =
        std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, 3);
    QString result = QString::fromLatin1(text, fixed.ptr - text);
    return result.replace(QLatin1Char('.'), DecimalSeparator());
}

QString LogHeaderLine(TDateTime when) {
    return QStringLiteral("VORLANX Log V1.0  ") + FormatLocaleDate(when);
}

QString LogRecordLine(TDateTime when, const std::array<float, 4>& lambda) {
    QString line = FormatLocaleTime(when);
    for (float value : lambda)
        line += QStringLiteral(", ") + LogValue(value);
    return line;
}
