#pragma once
// Four lambda channels against time, stored by column so that a channel can be scanned
// without touching the others. Times are seconds and never decrease.
#include <QString>
#include <array>
#include <cstddef>
#include <optional>
#include <vector>

constexpr int ChartChannels = 4;
constexpr double SecondsPerDay = 86400.0;

struct TLogSeries {
    std::vector<double> Time;
    std::array<std::vector<float>, ChartChannels> Lambda;

    std::size_t Size() const { return Time.size(); }
    bool Empty() const { return Time.empty(); }
    void Append(double time, const std::array<float, ChartChannels>& lambda);
    void Clear();
    // Drops the records before `time`.
    void DropBefore(double time);
    // Index of the first record at or after `time`.
    std::size_t LowerBound(double time) const;
};

// A stretch of time in which the controller reported sensor warm-up, whose frames carry
// no lambda.
struct TWarmUpSpan {
    double From = 0;
    double To = 0;
};

struct TSpanStats {
    std::size_t Count = 0;
    float Min = 0;
    float Max = 0;
    double Mean = 0;
};

// Minimum, mean and maximum of one channel over the records in [x0, x1].
TSpanStats SpanStats(const TLogSeries& series, int channel, double x0, double x1);

// The record nearest to `time`, unless the nearest is further than `reach` away.
std::optional<std::size_t> NearestRecord(const TLogSeries& series, double time, double reach);

// "HH:MM:SS" of a time counted in seconds from a midnight; later days wrap around.
QString ClockText(double seconds);

// The records in [x0, x1] as CSV: an elapsed-seconds column counted from `origin`, the
// time of day and the four channels, each value multiplied by `scale` (1 for lambda).
// Numbers use the locale's decimal separator, as the data log does.
QString SpanCsv(const TLogSeries& series, double x0, double x1, double origin, double scale,
                const QString& unit);
