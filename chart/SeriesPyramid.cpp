#include "chart/SeriesPyramid.h"

#include "chart/LogSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

static_assert(ChartChannels == 4, "a bucket holds four channels");
static_assert(TSeriesPyramid::BucketRecords == TBlockValues::BlockSize,
              "a bucket is gathered from one block of values");

namespace {
// A step stored as a float no smaller than the step itself.
float RoundedUp(double step) {
    float stored = float(step);
    if (double(stored) < step)
        stored = std::nextafter(stored, std::numeric_limits<float>::infinity());
    return stored;
}
} // namespace

std::size_t TSeriesPyramid::Span(std::size_t level) {
    std::size_t span = BucketRecords;
    for (std::size_t l = 0; l < level; ++l)
        span *= Fanout;
    return span;
}

void TSeriesPyramid::Extend(const TLogSeries& series) {
    for (std::size_t level = 0;; ++level) {
        const std::size_t complete = series.Size() / Span(level);
        if (complete == 0)
            return;
        if (FLevels.size() <= level)
            FLevels.emplace_back();
        std::vector<TBucket>& buckets = FLevels[level];
        for (std::size_t k = buckets.size(); k < complete; ++k)
            buckets.push_back(level == 0 ? GatherRecords(series, k * BucketRecords)
                                         : GatherBuckets(FLevels[level - 1], k * Fanout));
    }
}

TSeriesPyramid::TBucket TSeriesPyramid::GatherRecords(const TLogSeries& series,
                                                      std::size_t first) const {
    TBucket bucket;
    for (int n = 0; n < 4; ++n)
        if (!GatherThousandths(series, n, first, bucket))
            GatherValues(series, n, first, bucket);
    // The times from the record before the bucket on, for the steps into each record.
    std::vector<double> times;
    times.reserve(BucketRecords + 1);
    series.Times(first > 0 ? first - 1 : 0, first + BucketRecords, times);
    double longest = 0;
    for (std::size_t k = 1; k < times.size(); ++k)
        longest = std::max(longest, times[k] - times[k - 1]);
    bucket.LongestStep = RoundedUp(longest);
    return bucket;
}

// A channel's bucket from its thousandths alone; false when a value is kept beside them.
bool TSeriesPyramid::GatherThousandths(const TLogSeries& series, int channel, std::size_t first,
                                       TBucket& bucket) {
    std::array<std::int16_t, BucketRecords> values;
    series.BlockThousandths(channel, first / BucketRecords, values.data());
    int low = values[0], high = values[0];
    std::size_t lowAt = 0, highAt = 0;
    long long sum = 0;
    for (std::size_t k = 0; k < BucketRecords; ++k) {
        const int v = values[k];
        sum += v;
        if (v < low) {
            low = v;
            lowAt = k;
        }
        if (v > high) {
            high = v;
            highAt = k;
        }
    }
    if (low == TLogSeries::ValueEscape)
        return false;
    bucket.Min[channel] = float(low) / 1000.0f;
    bucket.Max[channel] = float(high) / 1000.0f;
    bucket.MinAt[channel] = std::uint32_t(first + lowAt);
    bucket.MaxAt[channel] = std::uint32_t(first + highAt);
    bucket.Sum[channel] = double(sum) / 1000.0;
    return true;
}

void TSeriesPyramid::GatherValues(const TLogSeries& series, int channel, std::size_t first,
                                  TBucket& bucket) {
    bucket.Min[channel] = bucket.Max[channel] = series.Value(channel, first);
    bucket.MinAt[channel] = bucket.MaxAt[channel] = std::uint32_t(first);
    bucket.Sum[channel] = 0;
    for (std::size_t i = first; i < first + BucketRecords; ++i) {
        const float v = series.Value(channel, i);
        bucket.Sum[channel] += v;
        if (v < bucket.Min[channel]) {
            bucket.Min[channel] = v;
            bucket.MinAt[channel] = std::uint32_t(i);
        }
        if (v > bucket.Max[channel]) {
            bucket.Max[channel] = v;
            bucket.MaxAt[channel] = std::uint32_t(i);
        }
    }
}

TSeriesPyramid::TBucket TSeriesPyramid::GatherBuckets(const std::vector<TBucket>& below,
                                                      std::size_t first) const {
    TBucket bucket = below[first];
    for (std::size_t k = first + 1; k < first + Fanout; ++k) {
        const TBucket& child = below[k];
        bucket.LongestStep = std::max(bucket.LongestStep, child.LongestStep);
        for (int n = 0; n < 4; ++n) {
            bucket.Sum[n] += child.Sum[n];
            if (child.Min[n] < bucket.Min[n]) {
                bucket.Min[n] = child.Min[n];
                bucket.MinAt[n] = child.MinAt[n];
            }
            if (child.Max[n] > bucket.Max[n]) {
                bucket.Max[n] = child.Max[n];
                bucket.MaxAt[n] = child.MaxAt[n];
            }
        }
    }
    return bucket;
}

// Walks [a, b) left to right in the largest gathered pieces that fit: runs of records up
// to a bucket's edge, then buckets, climbing and descending the levels.
template <class OnRecords, class OnBucket>
void TSeriesPyramid::Visit(std::size_t a, std::size_t b, OnRecords onRecords,
                           OnBucket onBucket) const {
    std::size_t i = a;
    while (i < b) {
        std::size_t level = 0;
        std::size_t span = BucketRecords;
        while (level < FLevels.size() && i % span == 0 && i + span <= b &&
               i / span < FLevels[level].size()) {
            ++level;
            span *= Fanout;
        }
        if (level == 0) {
            // Up to the next bucket that is gathered and fits, or the end.
            std::size_t end = std::min(b, (i / BucketRecords + 1) * BucketRecords);
            if (FLevels.empty() || end / BucketRecords >= FLevels[0].size() ||
                end + BucketRecords > b)
                end = b;
            onRecords(i, end);
            i = end;
            continue;
        }
        span /= Fanout;
        onBucket(level - 1, i / span, FLevels[level - 1][i / span]);
        i += span;
    }
}

TExtremes TSeriesPyramid::Extremes(const TLogSeries& series, int channel, std::size_t a,
                                   std::size_t b) const {
    return Extremes(series, a, b)[std::size_t(channel)];
}

// One walk for the four channels; runs of records are read a block at a time.
std::array<TExtremes, 4> TSeriesPyramid::Extremes(const TLogSeries& series, std::size_t a,
                                                  std::size_t b) const {
    std::array<TExtremes, 4> at;
    std::array<float, 4> low{}, high{};
    for (int n = 0; n < 4; ++n) {
        at[n] = {a, a};
        low[n] = high[n] = series.Value(n, a);
    }
    auto take = [&](int n, float v, std::size_t i) {
        if (v < low[n]) {
            low[n] = v;
            at[n].MinAt = i;
        }
        if (v > high[n]) {
            high[n] = v;
            at[n].MaxAt = i;
        }
    };
    Visit(
        a + 1, b,
        [&](std::size_t first, std::size_t end) {
            for (std::size_t from = first; from < end;) {
                const std::size_t index = from / BucketRecords;
                const std::size_t to = std::min(end, (index + 1) * BucketRecords);
                const std::size_t start = index * BucketRecords;
                for (int n = 0; n < 4; ++n) {
                    const TRunExtremes run =
                        series.RunThousandths(n, index, from - start, to - start);
                    // Without a value kept beside them, the run's first smallest and first
                    // largest are all that can count.
                    if (run.Least != TLogSeries::ValueEscape) {
                        take(n, float(run.Least) / 1000.0f, start + run.LeastAt);
                        take(n, float(run.Most) / 1000.0f, start + run.MostAt);
                        continue;
                    }
                    for (std::size_t i = from; i < to; ++i)
                        take(n, series.Value(n, i), i);
                }
                from = to;
            }
        },
        [&](std::size_t, std::size_t, const TBucket& bucket) {
            for (int n = 0; n < 4; ++n) {
                if (bucket.Min[n] < low[n]) {
                    low[n] = bucket.Min[n];
                    at[n].MinAt = bucket.MinAt[n];
                }
                if (bucket.Max[n] > high[n]) {
                    high[n] = bucket.Max[n];
                    at[n].MaxAt = bucket.MaxAt[n];
                }
            }
        });
    return at;
}

double TSeriesPyramid::Sum(const TLogSeries& series, int channel, std::size_t a,
                           std::size_t b) const {
    double sum = 0;
    Visit(
        a, b,
        [&](std::size_t first, std::size_t end) {
            for (std::size_t i = first; i < end; ++i)
                sum += series.Value(channel, i);
        },
        [&](std::size_t, std::size_t, const TBucket& bucket) { sum += bucket.Sum[channel]; });
    return sum;
}

std::size_t TSeriesPyramid::FirstStepOver(const TLogSeries& series, std::size_t a, std::size_t b,
                                          double gap) const {
    std::size_t found = b;
    Visit(
        a, b,
        [&](std::size_t first, std::size_t end) {
            if (found != b)
                return;
            const std::size_t i = FirstStepOverIn(series, first, end, gap);
            if (i < end)
                found = i;
        },
        [&](std::size_t level, std::size_t index, const TBucket& bucket) {
            if (found != b || !(bucket.LongestStep > gap))
                return;
            const std::size_t i = FindStep(series, level, index, gap);
            if (i < (index + 1) * Span(level))
                found = i;
        });
    return found;
}

// The first record of [first, end) further than the gap from the one before; end if none.
// Ticks rule out most steps at once: in milliseconds a step is the ticks' difference, and
// a spread second's records are closer than the seconds' difference.
std::size_t TSeriesPyramid::FirstStepOverIn(const TLogSeries& series, std::size_t first,
                                            std::size_t end, double gap) {
    const bool spread = series.Unit() == TLogSeries::TTimeUnit::SpreadSecond;
    if (spread && gap < 1.0)
        return FirstStepOverByTime(series, first, end, gap);
    const double least = spread ? gap : gap * 1000.0 - 1.0;
    std::int64_t before = series.Tick(first > 0 ? first - 1 : 0);
    for (std::size_t i = first; i < end; ++i) {
        const std::int64_t tick = series.Tick(i);
        if (double(tick - before) > least && series.Step(i) > gap)
            return i;
        before = tick;
    }
    return end;
}

std::size_t TSeriesPyramid::FirstStepOverByTime(const TLogSeries& series, std::size_t first,
                                                std::size_t end, double gap) {
    std::vector<double> times;
    const std::size_t from = first > 0 ? first - 1 : 0;
    series.Times(from, end, times);
    for (std::size_t i = std::max<std::size_t>(first, 1); i < end; ++i)
        if (times[i - from] - times[i - 1 - from] > gap)
            return i;
    return end;
}

// The first step over the gap inside a bucket whose longest step may exceed it.
std::size_t TSeriesPyramid::FindStep(const TLogSeries& series, std::size_t level,
                                     std::size_t bucket, double gap) const {
    const std::size_t first = bucket * Span(level);
    const std::size_t end = first + Span(level);
    if (level == 0)
        return FirstStepOverIn(series, first, end, gap);
    for (std::size_t k = bucket * Fanout; k < (bucket + 1) * Fanout; ++k)
        if (FLevels[level - 1][k].LongestStep > gap) {
            const std::size_t i = FindStep(series, level - 1, k, gap);
            if (i < (k + 1) * Span(level - 1))
                return i;
        }
    return end;
}

std::size_t TSeriesPyramid::Bytes() const {
    std::size_t bytes = 0;
    for (const std::vector<TBucket>& level : FLevels)
        bytes += level.capacity() * sizeof(TBucket);
    return bytes;
}
