#include "chart/LogSeries.h"

#include "core/Numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

void TLogSeries::Append(double time, const std::array<float, ChartChannels>& lambda) {
    Time.push_back(time);
    for (int n = 0; n < ChartChannels; ++n)
        Lambda[n].push_back(lambda[n]);
}

void TLogSeries::Clear() {
    Time.clear();
    for (auto& channel : Lambda)
        channel.clear();
}

void TLogSeries::DropBefore(double time) {
    const auto count = std::ptrdiff_t(LowerBound(time));
    Time.erase(Time.begin(), Time.begin() + count);
    for (auto& channel : Lambda)
        channel.erase(channel.begin(), channel.begin() + count);
}

std::size_t TLogSeries::LowerBound(double time) const {
    return std::size_t(std::lower_bound(Time.begin(), Time.end(), time) - Time.begin());
}

TSpanStats SpanStats(const TLogSeries& series, int channel, double x0, double x1) {
    const std::size_t first = series.LowerBound(x0);
    const std::size_t last = std::size_t(
        std::upper_bound(series.Time.begin(), series.Time.end(), x1) - series.Time.begin());
    TSpanStats stats;
    if (first >= last)
        return stats;
    const std::vector<float>& values = series.Lambda[channel];
    stats.Min = std::numeric_limits<float>::max();
    stats.Max = std::numeric_limits<float>::lowest();
    double sum = 0;
    for (std::size_t i = first; i < last; ++i) {
        stats.Min = std::min(stats.Min, values[i]);
        stats.Max = std::max(stats.Max, values[i]);
        sum += values[i];
    }
    stats.Count = last - first;
    stats.Mean = sum / double(stats.Count);
    return stats;
}

std::optional<std::size_t> NearestRecord(const TLogSeries& series, double time, double reach) {
    if (series.Empty())
        return std::nullopt;
    std::size_t i = series.LowerBound(time);
    if (i == series.Size() || (i > 0 && time - series.Time[i - 1] < series.Time[i] - time))
        --i;
    if (std::abs(series.Time[i] - time) > reach)
        return std::nullopt;
    return i;
}

QString ClockText(double seconds) {
    const auto whole = static_cast<long long>(std::floor(seconds));
    const long long ofDay = ((whole % 86400) + 86400) % 86400;
    return QStringLiteral("%1:%2:%3")
        .arg(ofDay / 3600, 2, 10, QLatin1Char('0'))
        .arg(ofDay / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(ofDay % 60, 2, 10, QLatin1Char('0'));
}

QString SpanCsv(const TLogSeries& series, double x0, double x1, double origin, double scale,
                const QString& unit) {
    QString text = QStringLiteral("Elapsed s, Time");
    for (int n = 1; n <= ChartChannels; ++n)
        text += QStringLiteral(", CH%1 %2").arg(n).arg(unit);
    text += QStringLiteral("\r\n");
    for (std::size_t i = series.LowerBound(x0); i < series.Size() && series.Time[i] <= x1; ++i) {
        text += FixedDecimals(series.Time[i] - origin, 3) + QStringLiteral(", ") +
                ClockText(series.Time[i]);
        // Three decimals, not the log's three significant digits, which would cut an
        // air-fuel ratio such as 14.524 to 14.500.
        for (int n = 0; n < ChartChannels; ++n)
            text += QStringLiteral(", ") + FixedDecimals(series.Lambda[n][i] * scale, 3);
        text += QStringLiteral("\r\n");
    }
    return text;
}
