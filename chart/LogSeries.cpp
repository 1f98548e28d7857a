#include "chart/LogSeries.h"

#include "core/CodePage.h"
#include "core/LogText.h"
#include "core/Numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr float LargestThousandths = 32.767f;

// The value kept beside the compact ones under this key, in a list sorted by key.
template <class T>
const T& Escaped(const std::vector<std::pair<std::uint64_t, T>>& list, std::uint64_t key) {
    const auto at = std::lower_bound(list.begin(), list.end(), key,
                                     [](const auto& e, std::uint64_t k) { return e.first < k; });
    return at->second;
}
} // namespace

std::int64_t TLogSeries::Tick(std::size_t i) const {
    const std::uint16_t offset = FOffset[i];
    if (offset != TickEscape)
        return FBlockTick[i / BlockSize] + offset;
    const auto at = std::lower_bound(FTickEscapes.begin(), FTickEscapes.end(), std::uint32_t(i),
                                     [](const auto& e, std::uint32_t k) { return e.first < k; });
    return at->second;
}

// The records that share record i's second: their first and the one after their last.
// Searched outward in doubling strides, so a long stuck clock costs a logarithm.
std::pair<std::size_t, std::size_t> TLogSeries::SameSecond(std::size_t i) const {
    const std::int64_t tick = Tick(i);
    std::size_t low = i, stride = 1;
    while (low > 0 && Tick(low - std::min(stride, low)) == tick) {
        low -= std::min(stride, low);
        stride *= 2;
    }
    std::size_t from = low - std::min(stride, low); // Tick(from) < tick, or from is 0
    while (from < low) {
        const std::size_t middle = from + (low - from) / 2;
        if (Tick(middle) == tick)
            low = middle;
        else
            from = middle + 1;
    }
    std::size_t high = i + 1;
    stride = 1;
    while (high < Size() && Tick(std::min(high + stride, Size()) - 1) == tick) {
        high = std::min(high + stride, Size());
        stride *= 2;
    }
    std::size_t to = std::min(high + stride, Size()); // past the group, or the end
    while (high < to) {
        const std::size_t middle = high + (to - high) / 2;
        if (Tick(middle) == tick)
            high = middle + 1;
        else
            to = middle;
    }
    return {low, high};
}

double TLogSeries::Time(std::size_t i) const {
    const std::int64_t tick = Tick(i);
    if (FUnit == TTimeUnit::Millisecond)
        return double(tick) / 1000.0;
    const auto [first, end] = SameSecond(i);
    return double(tick) + double(i - first) / double(end - first);
}

void TLogSeries::Times(std::size_t first, std::size_t end, std::vector<double>& out) const {
    out.clear();
    for (std::size_t i = first; i < end;) {
        if (FUnit == TTimeUnit::Millisecond) {
            out.push_back(double(Tick(i)) / 1000.0);
            ++i;
            continue;
        }
        const auto [groupFirst, groupEnd] = SameSecond(i);
        const double tick = double(Tick(i));
        for (; i < std::min(groupEnd, end); ++i)
            out.push_back(tick + double(i - groupFirst) / double(groupEnd - groupFirst));
    }
}

float TLogSeries::Value(int channel, std::size_t i) const {
    const std::int16_t thousandths = FValue[channel].At(i);
    if (thousandths != ValueEscape)
        return float(thousandths) / 1000.0f;
    return Escaped(FValueEscapes, std::uint64_t(i) * ChartChannels + std::uint64_t(channel));
}

void TLogSeries::AppendTick(std::int64_t tick, const TLambdas& lambda) {
    AppendTickOnly(tick);
    for (int n = 0; n < ChartChannels; ++n)
        StoreValue(n, lambda[n]);
    if (Size() % TSeriesPyramid::BucketRecords == 0)
        FPyramid.Extend(*this);
}

void TLogSeries::AppendThousandths(std::int64_t tick,
                                   const std::array<std::int16_t, ChartChannels>& thousandths) {
    AppendTickOnly(tick);
    for (int n = 0; n < ChartChannels; ++n)
        FValue[n].Append(thousandths[n]);
    if (Size() % TSeriesPyramid::BucketRecords == 0)
        FPyramid.Extend(*this);
}

// The time of a record about to be appended; its values follow.
void TLogSeries::AppendTickOnly(std::int64_t tick) {
    const std::size_t i = Size();
    if (i % BlockSize == 0)
        FBlockTick.push_back(tick);
    const std::int64_t offset = tick - FBlockTick.back();
    if (offset >= 0 && offset < TickEscape) {
        FOffset.push_back(std::uint16_t(offset));
    } else {
        FOffset.push_back(TickEscape);
        FTickEscapes.emplace_back(std::uint32_t(i), tick);
    }
}

// Thousandths when they give back the very value; the value itself beside them if not.
void TLogSeries::StoreValue(int channel, float value) {
    TBlockValues& values = FValue[channel];
    if (std::fabs(value) <= LargestThousandths) {
        const auto thousandths = std::int16_t(std::lrint(double(value) * 1000.0));
        if (thousandths != ValueEscape && float(thousandths) / 1000.0f == value) {
            values.Append(thousandths);
            return;
        }
    }
    FValueEscapes.emplace_back(
        std::uint64_t(values.Size()) * ChartChannels + std::uint64_t(channel), value);
    values.Append(ValueEscape);
}

void TLogSeries::Append(double time, const TLambdas& lambda) {
    AppendTick(std::llround(time * 1000.0), lambda);
}

void TLogSeries::Clear() {
    *this = TLogSeries(FUnit);
}

void TLogSeries::DropBefore(double time) {
    TLogSeries kept(FUnit);
    for (std::size_t i = LowerBound(time); i < Size(); ++i)
        kept.AppendTick(Tick(i), {Value(0, i), Value(1, i), Value(2, i), Value(3, i)});
    *this = std::move(kept);
}

void TLogSeries::Reserve(std::size_t records) {
    FBlockTick.reserve(records / BlockSize + 1);
    FOffset.reserve(records);
    for (auto& channel : FValue)
        channel.Reserve(records);
}

std::size_t TLogSeries::LowerBound(double time) const {
    std::size_t low = 0, high = Size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (Time(middle) < time)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

std::size_t TLogSeries::UpperBound(double time) const {
    std::size_t low = 0, high = Size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (Time(middle) <= time)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

std::size_t TLogSeries::Bytes() const {
    std::size_t bytes = FBlockTick.size() * sizeof(std::int64_t) +
                        FOffset.size() * sizeof(std::uint16_t) +
                        FTickEscapes.size() * sizeof(FTickEscapes[0]) +
                        FValueEscapes.size() * sizeof(FValueEscapes[0]);
    for (const auto& channel : FValue)
        bytes += channel.Bytes();
    return bytes + FPyramid.Bytes();
}

TSpanStats SpanStats(const TLogSeries& series, int channel, double x0, double x1) {
    const std::size_t first = series.LowerBound(x0);
    const std::size_t last = series.UpperBound(x1);
    TSpanStats stats;
    if (first >= last)
        return stats;
    const TExtremes at = series.Pyramid().Extremes(series, channel, first, last);
    stats.Min = series.Value(channel, at.MinAt);
    stats.Max = series.Value(channel, at.MaxAt);
    stats.Count = last - first;
    stats.Mean = series.Pyramid().Sum(series, channel, first, last) / double(stats.Count);
    return stats;
}

std::optional<std::size_t> NearestRecord(const TLogSeries& series, double time, double reach) {
    if (series.Empty())
        return std::nullopt;
    std::size_t i = series.LowerBound(time);
    if (i == series.Size() || (i > 0 && time - series.Time(i - 1) < series.Time(i) - time))
        --i;
    if (std::abs(series.Time(i) - time) > reach)
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

bool WriteSheetRecords(
    const TLogSeries& series, std::size_t first, std::size_t end, std::optional<double> day,
    double scale, const std::function<bool(const QByteArray& lines, std::size_t records)>& write) {
    constexpr qsizetype PieceChars = 64 << 10;
    const double tickSeconds = series.Unit() == TLogSeries::TTimeUnit::Millisecond ? 0.001 : 1.0;
    QString text;
    text.reserve(PieceChars + 256);
    for (std::size_t i = first; i < end; ++i) {
        const double time = double(series.Tick(i)) * tickSeconds / SecondsPerDay;
        TLambdas values;
        for (int n = 0; n < ChartChannels; ++n)
            values[n] = float(double(series.Value(n, i)) * scale);
        text += SheetRecordLine(day ? FormatSheetDateTime(*day + time) : FormatSheetTime(time),
                                values, std::nullopt);
        text += QLatin1String("\r\n");
        if (text.size() >= PieceChars || i + 1 == end) {
            if (!write(ToCodePage(text), i + 1 - first))
                return false;
            text.clear();
        }
    }
    return true;
}
