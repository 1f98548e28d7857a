// The min/max decimation: every pixel column keeps its true extremes, the points stay
// within twice the width, and pauses in the records break the line.
#include "chart/Decimation.h"
#include "chart/LiveTrace.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {
// The records as plain lists, and the same records in a series.
struct Records {
    std::vector<long long> ms;
    std::vector<double> times;
    std::vector<std::array<float, 4>> lambda;
    TLogSeries series;

    void Add(long long tick, const std::array<float, 4>& values) {
        ms.push_back(tick);
        times.push_back(double(tick) / 1000.0);
        lambda.push_back(values);
        series.AppendTick(tick, values);
    }
    double Time(std::size_t i) const { return times[i]; }
};

// The same records stamped with whole seconds, as the main window's log is: the records
// of a second spread evenly across it, their times written out here.
Records InWholeSeconds(const Records& r) {
    Records seconds{{}, {}, r.lambda, TLogSeries(TLogSeries::TTimeUnit::SpreadSecond)};
    for (std::size_t i = 0; i < r.ms.size(); ++i) {
        seconds.ms.push_back(r.ms[i] / 1000);
        seconds.series.AppendTick(r.ms[i] / 1000, r.lambda[i]);
    }
    for (std::size_t i = 0; i < r.ms.size();) {
        std::size_t end = i;
        while (end < r.ms.size() && seconds.ms[end] == seconds.ms[i])
            ++end;
        for (std::size_t k = i; k < end; ++k)
            seconds.times.push_back(double(seconds.ms[i]) + double(k - i) / double(end - i));
        i = end;
    }
    return seconds;
}

// The decimation written out plainly over the lists: every record of the span visited.
std::array<TTrace, 4> BruteForce(const Records& r, double x0, double x1, int columns, double gap) {
    std::array<TTrace, 4> out;
    const std::size_t size = r.ms.size();
    std::size_t first = 0, last = 0;
    while (first < size && r.Time(first) < x0)
        ++first;
    while (last < size && r.Time(last) <= x1)
        ++last;
    first -= first > 0 ? 1 : 0;
    last += last < size ? 1 : 0;
    const double perColumn = double(columns) / (x1 - x0);
    auto columnOf = [&](std::size_t i) { return std::floor((r.Time(i) - x0) * perColumn); };
    for (int n = 0; n < 4; ++n) {
        std::vector<QPointF>& points = out[n].Points;
        out[n].RunStarts.push_back(0);
        std::size_t minAt = first, maxAt = first;
        auto flush = [&] {
            points.emplace_back(r.Time(std::min(minAt, maxAt)),
                                r.lambda[std::min(minAt, maxAt)][n]);
            if (minAt != maxAt)
                points.emplace_back(r.Time(std::max(minAt, maxAt)),
                                    r.lambda[std::max(minAt, maxAt)][n]);
        };
        for (std::size_t i = first + 1; i < last; ++i) {
            const bool broken = r.Time(i) - r.Time(i - 1) > gap;
            if (columnOf(i) == columnOf(i - 1) && !broken) {
                minAt = r.lambda[i][n] < r.lambda[minAt][n] ? i : minAt;
                maxAt = r.lambda[i][n] > r.lambda[maxAt][n] ? i : maxAt;
                continue;
            }
            flush();
            if (broken)
                out[n].RunStarts.push_back(points.size());
            minAt = maxAt = i;
        }
        flush();
    }
    return out;
}

// Records of a few levels only, so that extremes tie, now and then pausing.
Records RandomRecords(std::mt19937& random, int count) {
    std::uniform_int_distribution<int> step(0, 40);
    std::uniform_int_distribution<int> level(800, 812);
    std::uniform_int_distribution<int> pause(0, 400);
    Records r;
    long long t = 36000000;
    for (int i = 0; i < count; ++i) {
        t += step(random) + (pause(random) == 0 ? 5000 : 0);
        std::array<float, 4> values{};
        for (float& v : values)
            v = float(level(random)) / 1000.0f;
        r.Add(t, values);
    }
    return r;
}
} // namespace

// Every pixel column keeps its true extremes and the pauses break the line, at every
// span and for both kinds of stamps: the pyramid's answer is point for point the one of
// visiting every record.
TEST(Decimation, DrawsWhatVisitingEveryRecordDraws) {
    std::mt19937 random(12345);
    for (int round = 0; round < 12; ++round) {
        const Records stamped = RandomRecords(random, 30000 + round * 1111);
        const Records r = round % 2 ? InWholeSeconds(stamped) : stamped;
        const double front = r.Time(0), back = r.Time(r.ms.size() - 1);
        const double span = (back - front) / double(1 << (round % 6 * 2));
        const double x0 = front + (back - front - span) * (round % 4) / 3.0 - round;
        const int columns = 50 + round * 97;
        for (double gap : {2.0, 1e9}) {
            const auto drawn = Decimate(r.series, x0, x0 + span, columns, gap);
            const auto truth = BruteForce(r, x0, x0 + span, columns, gap);
            for (int n = 0; n < 4; ++n) {
                ASSERT_EQ(drawn[n].Points, truth[n].Points)
                    << "round " << round << " gap " << gap << " CH" << n + 1;
                ASSERT_EQ(drawn[n].RunStarts, truth[n].RunStarts)
                    << "round " << round << " gap " << gap << " CH" << n + 1;
                EXPECT_LE(drawn[n].Points.size(), std::size_t(2 * columns + 4) * 2);
            }
        }
    }
}

TEST(Decimation, TheLineReachesBothEdgesThroughTheNeighboursOutside) {
    Records r;
    for (int i = 0; i < 6; ++i)
        r.Add(i * 1000, {float(i + 1), 1, 1, 1});
    const TTrace trace = Decimate(r.series, 1.5, 3.5, 100, 10)[0];
    ASSERT_EQ(trace.Points.size(), 4u);
    EXPECT_EQ(trace.Points.front(), QPointF(1, 2));
    EXPECT_EQ(trace.Points.back(), QPointF(4, 5));
}

TEST(Decimation, PausesLongerThanTheGapBreakTheLine) {
    Records r;
    const long long ms[] = {0, 100, 200, 2000, 2100, 5000};
    const float value[] = {1, 1, 1, 2, 2, 3};
    for (int i = 0; i < 6; ++i)
        r.Add(ms[i], {value[i], value[i], value[i], value[i]});
    const TTrace trace = Decimate(r.series, 0, 5, 1000, 0.45)[2];
    EXPECT_EQ(trace.Points.size(), 6u);
    EXPECT_EQ(trace.RunStarts, (std::vector<std::size_t>{0, 3, 5}));
}

TEST(Decimation, NothingToDraw) {
    TLogSeries one;
    one.Append(1.0, {1, 1, 1, 1});
    EXPECT_TRUE(Decimate(TLogSeries(), 0, 1, 100, 1)[0].Points.empty());
    EXPECT_TRUE(Decimate(one, 1, 1, 100, 1)[0].Points.empty()) << "an empty span";
    EXPECT_TRUE(Decimate(one, 0, 2, 0, 1)[0].Points.empty()) << "no columns";
}

TEST(LiveTrace, WarmUpFramesMakeSpansAndNoPoints) {
    TLiveTrace trace;
    const std::array<float, 4> lambda{0.9f, 1.0f, 1.1f, 1.2f};
    for (int i = 0; i < 5; ++i)
        trace.Add(i * 0.1, lambda, true);
    for (int i = 5; i < 10; ++i)
        trace.Add(i * 0.1, lambda, false);
    trace.Add(3.0, lambda, true);
    EXPECT_EQ(trace.Series().Size(), 5u);
    ASSERT_EQ(trace.WarmUp().size(), 2u);
    EXPECT_DOUBLE_EQ(trace.WarmUp()[0].From, 0.0);
    EXPECT_DOUBLE_EQ(trace.WarmUp()[0].To, 0.5);
    EXPECT_DOUBLE_EQ(trace.WarmUp()[1].From, 3.0);
    EXPECT_DOUBLE_EQ(trace.LastTime(), 3.0);
}

TEST(LiveTrace, KeepsTheWidestSpanAndDropsOlderFrames) {
    TLiveTrace trace;
    const double seconds = 2 * TLiveTrace::KeptSeconds;
    for (int i = 0; i <= int(seconds * 10); ++i)
        trace.Add(i * 0.1, {1, 1, 1, 1}, false);
    EXPECT_LE(trace.Series().FrontTime(), seconds - TLiveTrace::KeptSeconds);
    EXPECT_GE(trace.Series().FrontTime(), seconds - TLiveTrace::KeptSeconds - 200);
}

// Zoomed out so far that each pixel column holds whole buckets of records, a pause that
// starts at a bucket's edge (128·k) or a record either side still breaks the line there,
// for both kinds of stamps.
TEST(Decimation, APauseAtABucketsEdgeBreaksTheLineZoomedOut) {
    for (bool wholeSeconds : {false, true}) {
        for (std::size_t edge : {std::size_t(128), std::size_t(1024), std::size_t(5 * 128)}) {
            for (std::size_t pause : {edge - 1, edge, edge + 1}) {
                Records stamped;
                long long t = 36000000;
                for (std::size_t i = 0; i < 12000; ++i)
                    stamped.Add(t += (i == pause ? 20000 : 100), {float(i % 7), 1, 1, 1});
                const Records r = wholeSeconds ? InWholeSeconds(stamped) : stamped;
                const double front = r.Time(0), back = r.Time(r.ms.size() - 1);
                const int columns = 4; // about 3000 records, 23 buckets, a column
                const TTrace trace = Decimate(r.series, front, back, columns, 2.0)[0];
                const std::string where = std::string(wholeSeconds ? "whole seconds" : "ms") +
                                          ", pause before record " + std::to_string(pause);
                ASSERT_EQ(trace.RunStarts.size(), 2u) << where;
                const std::size_t cut = trace.RunStarts[1];
                ASSERT_GT(cut, 0u) << where;
                ASSERT_LT(cut, trace.Points.size()) << where;
                EXPECT_LE(trace.Points[cut - 1].x(), r.Time(pause - 1)) << where;
                EXPECT_GE(trace.Points[cut].x(), r.Time(pause)) << where;
                const auto truth = BruteForce(r, front, back, columns, 2.0);
                EXPECT_EQ(trace.Points, truth[0].Points) << where;
            }
        }
    }
}
