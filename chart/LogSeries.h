#pragma once
// Four lambda channels against time, stored compactly so that a day at the line's limit
// fits in little memory, and losing nothing the logs hold:
// - times as whole ticks (milliseconds, or for the main window's log the elapsed second),
//   each a 16-bit offset from its block's first tick;
// - values as thousandths, the logs' three decimals, mostly a byte each (TBlockValues).
// What does not fit (a long pause inside a block, a value beyond ±32.767 or with more
// decimals) is kept exactly beside them. Times never decrease.
#include "chart/BlockValues.h"
#include "chart/SeriesPyramid.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

constexpr int ChartChannels = 4;
constexpr double SecondsPerDay = 86400.0;

using TLambdas = std::array<float, ChartChannels>;

class TLogSeries {
public:
    enum class TTimeUnit {
        Millisecond,
        // The main window's log: a tick is the elapsed second, and the records that share
        // a second are spread evenly across it.
        SpreadSecond,
    };
    static constexpr std::size_t BlockSize = 128;

    explicit TLogSeries(TTimeUnit unit = TTimeUnit::Millisecond) : FUnit(unit) {}

    TTimeUnit Unit() const { return FUnit; }
    std::size_t Size() const { return FOffset.size(); }
    bool Empty() const { return FOffset.empty(); }
    double Time(std::size_t i) const;
    // The times of the records [first, end), found a second at a time.
    void Times(std::size_t first, std::size_t end, std::vector<double>& out) const;
    double FrontTime() const { return Time(0); }
    double BackTime() const { return Time(Size() - 1); }
    float Value(int channel, std::size_t i) const;
    std::int64_t Tick(std::size_t i) const;
    // A channel's values of a block in thousandths, and the mark of a value kept beside them.
    void BlockThousandths(int channel, std::size_t block, std::int16_t* out) const {
        FValue[channel].Decode(block, out);
    }
    // The extremes of a channel's thousandths [from, to) within a block.
    TRunExtremes RunThousandths(int channel, std::size_t block, std::size_t from,
                                std::size_t to) const {
        return FValue[channel].RunExtremes(block, from, to);
    }
    static constexpr std::int16_t ValueEscape = INT16_MIN;

    // Appends a record at a tick no earlier than the last.
    void AppendTick(std::int64_t tick, const TLambdas& lambda);
    // The same with the values in thousandths, none of them -32.768.
    void AppendThousandths(std::int64_t tick,
                           const std::array<std::int16_t, ChartChannels>& thousandths);
    // Appends a record at a time in seconds, kept to the millisecond.
    void Append(double time, const TLambdas& lambda);
    void Clear();
    // Drops the records before `time`.
    void DropBefore(double time);
    // Room for this many records without moving the ones stored.
    void Reserve(std::size_t records);
    // Index of the first record at or after `time`, and after it.
    std::size_t LowerBound(double time) const;
    std::size_t UpperBound(double time) const;
    // Seconds from the record before to this one; 0 for the first.
    double Step(std::size_t i) const { return i == 0 ? 0.0 : Time(i) - Time(i - 1); }
    const TSeriesPyramid& Pyramid() const { return FPyramid; }
    // Bytes held for the records and their pyramid.
    std::size_t Bytes() const;

private:
    static constexpr std::uint16_t TickEscape = 0xFFFF;

    void AppendTickOnly(std::int64_t tick);
    std::pair<std::size_t, std::size_t> SameSecond(std::size_t i) const;
    void StoreValue(int channel, float value);

    TTimeUnit FUnit;
    std::vector<std::int64_t> FBlockTick;
    std::vector<std::uint16_t> FOffset;
    std::vector<std::pair<std::uint32_t, std::int64_t>> FTickEscapes;
    std::array<TBlockValues, ChartChannels> FValue;
    std::vector<std::pair<std::uint64_t, float>> FValueEscapes; // key: index * channels + channel
    TSeriesPyramid FPyramid;
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

// The records [first, end) as the lines of the log for spreadsheets (core/LogText), each
// value multiplied by `scale` (1 for lambda), the supply voltage's cell empty: the series
// keeps none. A record's time cell is `day`, the midnight the series counts from, plus its
// time (the main window's log: its whole second); without a day, the time of day alone.
// The lines go to `write` some 64 KiB at a time, with the count of records written so far;
// it returns false to stop. True when every line was taken.
bool WriteSheetRecords(
    const TLogSeries& series, std::size_t first, std::size_t end, std::optional<double> day,
    double scale, const std::function<bool(const QByteArray& lines, std::size_t records)>& write);
