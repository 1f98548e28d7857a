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

namespace {
bool DecimalComma() {
    return DecimalSeparator() == QLatin1Char(',');
}

QString SheetNumber(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    if (DecimalComma())
        text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

// A cell holding the separator or a quote goes in quotes, as CSV has it.
QString SheetCell(const QString& text) {
    if (!text.contains(SheetSeparator()) && !text.contains(QLatin1Char('"')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
} // namespace

QChar SheetSeparator() {
    return DecimalComma() ? QLatin1Char(';') : QLatin1Char(',');
}

QString SheetHeaderLine(const QString& unit) {
    const QChar separator = SheetSeparator();
    QString line = QStringLiteral("Time");
    for (int n = 1; n <= 4; ++n)
        line += separator + QStringLiteral("CH%1 ").arg(n) + unit;
    return line + separator + QStringLiteral("Supply V");
}

QString SheetRecordLine(const QString& time, const std::array<float, 4>& values,
                        std::optional<float> supplyVolts) {
    const QChar separator = SheetSeparator();
    QString line = SheetCell(time);
    for (float value : values)
        line += separator + SheetNumber(value, 3);
    line += separator;
    if (supplyVolts)
        line += SheetNumber(*supplyVolts, 2);
    return line;
}
