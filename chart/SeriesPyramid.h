#pragma once
// Min/max levels over a series, so that a view at any span reads about its width in
// buckets and never the records in it: a bucket holds the extremes, sums and longest
// step of 128 records, and each level above gathers eight buckets of the one below.
// Only complete buckets are kept, so a growing series extends the levels without a
// rebuild; a query reads the records and buckets not yet gathered one by one.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class TLogSeries;

struct TExtremes {
    std::size_t MinAt = 0; // the first record holding the smallest value
    std::size_t MaxAt = 0; // and the largest
};

class TSeriesPyramid {
public:
    static constexpr std::size_t BucketRecords = 128;
    static constexpr std::size_t Fanout = 8;

    void Clear() { FLevels.clear(); }
    // Gathers the buckets the series' records have completed.
    void Extend(const TLogSeries& series);

    // The extremes of a channel over the records [a, b), a < b.
    TExtremes Extremes(const TLogSeries& series, int channel, std::size_t a, std::size_t b) const;
    std::array<TExtremes, 4> Extremes(const TLogSeries& series, std::size_t a, std::size_t b) const;
    double Sum(const TLogSeries& series, int channel, std::size_t a, std::size_t b) const;
    // The first record in [a, b) further than `gap` seconds from the one before; b if none.
    std::size_t FirstStepOver(const TLogSeries& series, std::size_t a, std::size_t b,
                              double gap) const;
    std::size_t Bytes() const;

private:
    struct TBucket {
        std::array<float, 4> Min{};
        std::array<float, 4> Max{};
        std::array<std::uint32_t, 4> MinAt{};
        std::array<std::uint32_t, 4> MaxAt{};
        std::array<double, 4> Sum{};
        float LongestStep = 0; // rounded up, so it never hides a step over a gap
    };

    static std::size_t Span(std::size_t level);
    template <class OnRecords, class OnBucket>
    void Visit(std::size_t a, std::size_t b, OnRecords onRecords, OnBucket onBucket) const;
    static std::size_t FirstStepOverIn(const TLogSeries& series, std::size_t first, std::size_t end,
                                       double gap);
    static std::size_t FirstStepOverByTime(const TLogSeries& series, std::size_t first,
                                           std::size_t end, double gap);
    TBucket GatherRecords(const TLogSeries& series, std::size_t first) const;
    static bool GatherThousandths(const TLogSeries& series, int channel, std::size_t first,
                                  TBucket& bucket);
    static void GatherValues(const TLogSeries& series, int channel, std::size_t first,
                             TBucket& bucket);
    TBucket GatherBuckets(const std::vector<TBucket>& below, std::size_t first) const;
    std::size_t FindStep(const TLogSeries& series, std::size_t level, std::size_t bucket,
                         double gap) const;

    std::vector<std::vector<TBucket>> FLevels;
};
