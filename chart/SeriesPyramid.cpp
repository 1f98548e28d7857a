#include "chart/SeriesPyramid.h"

#include "chart/LogSeries.h"

#include <cmath>
#include <limits>

static_assert(ChartChannels == 4, "a bucket holds four channels");

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
    for (int n = 0; n < 4; ++n) {
        bucket.Min[n] = bucket.Max[n] = series.Value(n, first);
        bucket.MinAt[n] = bucket.MaxAt[n] = std::uint32_t(first);
    }
    double longest = series.Step(first);
    for (std::size_t i = first; i < first + BucketRecords; ++i) {
        if (i > first)
            longest = std::max(longest, series.Step(i));
        for (int n = 0; n < 4; ++n) {
            const float v = series.Value(n, i);
            bucket.Sum[n] += v;
            if (v < bucket.Min[n]) {
                bucket.Min[n] = v;
                bucket.MinAt[n] = std::uint32_t(i);
            }
            if (v > bucket.Max[n]) {
                bucket.Max[n] = v;
                bucket.MaxAt[n] = std::uint32_t(i);
            }
        }
    }
    bucket.LongestStep = RoundedUp(longest);
    return bucket;
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

// Walks [a, b) left to right in the largest gathered pieces that fit: records up to a
// bucket's edge, then buckets, climbing and descending the levels.
template <class OnRecord, class OnBucket>
void TSeriesPyramid::Visit(std::size_t a, std::size_t b, OnRecord onRecord,
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
            onRecord(i);
            ++i;
            continue;
        }
        span /= Fanout;
        onBucket(level - 1, i / span, FLevels[level - 1][i / span]);
        i += span;
    }
}

TExtremes TSeriesPyramid::Extremes(const TLogSeries& series, int channel, std::size_t a,
                                   std::size_t b) const {
    TExtremes at{a, a};
    float low = series.Value(channel, a);
    float high = low;
    Visit(
        a + 1, b,
        [&](std::size_t i) {
            const float v = series.Value(channel, i);
            if (v < low) {
                low = v;
                at.MinAt = i;
            }
            if (v > high) {
                high = v;
                at.MaxAt = i;
            }
        },
        [&](std::size_t, std::size_t, const TBucket& bucket) {
            if (bucket.Min[channel] < low) {
                low = bucket.Min[channel];
                at.MinAt = bucket.MinAt[channel];
            }
            if (bucket.Max[channel] > high) {
                high = bucket.Max[channel];
                at.MaxAt = bucket.MaxAt[channel];
            }
        });
    return at;
}

double TSeriesPyramid::Sum(const TLogSeries& series, int channel, std::size_t a,
                           std::size_t b) const {
    double sum = 0;
    Visit(
        a, b, [&](std::size_t i) { sum += series.Value(channel, i); },
        [&](std::size_t, std::size_t, const TBucket& bucket) { sum += bucket.Sum[channel]; });
    return sum;
}

std::size_t TSeriesPyramid::FirstStepOver(const TLogSeries& series, std::size_t a, std::size_t b,
                                          double gap) const {
    std::size_t found = b;
    Visit(
        a, b,
        [&](std::size_t i) {
            if (found == b && series.Step(i) > gap)
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

// The first step over the gap inside a bucket whose longest step may exceed it.
std::size_t TSeriesPyramid::FindStep(const TLogSeries& series, std::size_t level,
                                     std::size_t bucket, double gap) const {
    const std::size_t first = bucket * Span(level);
    const std::size_t end = first + Span(level);
    if (level == 0) {
        for (std::size_t i = first; i < end; ++i)
            if (series.Step(i) > gap)
                return i;
        return end;
    }
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
