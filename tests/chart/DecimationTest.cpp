// The min/max decimation: every pixel column keeps its true extremes, the points stay
// within twice the width, and pauses in the records break the line.
#include "chart/Decimation.h"
#include "chart/LiveTrace.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <random>

namespace {
struct Extremes {
    float min = std::numeric_limits<float>::max();
    float max = std::numeric_limits<float>::lowest();
    void Take(float v) {
        min = std::min(min, v);
        max = std::max(max, v);
    }
};

// Column of a time, as the decimation slices [x0, x1].
long ColumnOf(double t, double x0, double x1, int columns) {
    return long(std::floor((t - x0) * (double(columns) / (x1 - x0))));
}
} // namespace

TEST(Decimation, EachColumnKeepsItsTrueMinimumAndMaximum) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> step(0.0, 0.05);
    std::uniform_real_distribution<float> lambda(0.6f, 1.4f);
    for (int round = 0; round < 20; ++round) {
        std::vector<double> time;
        std::vector<float> value;
        double t = 0;
        for (int i = 0; i < 20000; ++i) {
            t += step(random);
            time.push_back(t);
            value.push_back(lambda(random));
        }
        const int columns = 50 + round * 37;
        const double x0 = t * (round % 3) / 10.0;
        const double x1 = x0 + t * (0.2 + round % 5 / 10.0);

        std::map<long, Extremes> truth;
        for (std::size_t i = 0; i < time.size(); ++i)
            if (time[i] >= x0 && time[i] <= x1)
                truth[ColumnOf(time[i], x0, x1, columns)].Take(value[i]);
        const TTrace trace = Decimate(time, value, x0, x1, columns, 1e9);

        std::map<long, Extremes> drawn;
        std::size_t inside = 0;
        for (const QPointF& p : trace.Points) {
            if (p.x() < x0 || p.x() > x1)
                continue;
            ++inside;
            drawn[ColumnOf(p.x(), x0, x1, columns)].Take(float(p.y()));
        }
        ASSERT_EQ(drawn.size(), truth.size()) << "round " << round;
        for (const auto& [column, extremes] : truth) {
            EXPECT_EQ(drawn[column].min, extremes.min) << "round " << round << " column " << column;
            EXPECT_EQ(drawn[column].max, extremes.max) << "round " << round << " column " << column;
        }
        EXPECT_LE(inside, std::size_t(2 * columns));
        EXPECT_LE(trace.Points.size(), std::size_t(2 * columns + 2));
        EXPECT_TRUE(
            std::is_sorted(trace.Points.begin(), trace.Points.end(),
                           [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); }));
        ASSERT_EQ(trace.RunStarts, std::vector<std::size_t>{0});
    }
}

TEST(Decimation, TheLineReachesBothEdgesThroughTheNeighboursOutside) {
    const std::vector<double> time{0, 1, 2, 3, 4, 5};
    const std::vector<float> value{1, 2, 3, 4, 5, 6};
    const TTrace trace = Decimate(time, value, 1.5, 3.5, 100, 10);
    ASSERT_EQ(trace.Points.size(), 4u);
    EXPECT_EQ(trace.Points.front(), QPointF(1, 2));
    EXPECT_EQ(trace.Points.back(), QPointF(4, 5));
}

TEST(Decimation, PausesLongerThanTheGapBreakTheLine) {
    const std::vector<double> time{0, 0.1, 0.2, 2.0, 2.1, 5.0};
    const std::vector<float> value{1, 1, 1, 2, 2, 3};
    const TTrace trace = Decimate(time, value, 0, 5, 1000, 0.45);
    EXPECT_EQ(trace.Points.size(), 6u);
    EXPECT_EQ(trace.RunStarts, (std::vector<std::size_t>{0, 3, 5}));
}

TEST(Decimation, NothingToDraw) {
    EXPECT_TRUE(Decimate({}, {}, 0, 1, 100, 1).Points.empty());
    EXPECT_TRUE(Decimate({1.0}, {1.0f}, 1, 1, 100, 1).Points.empty()) << "an empty span";
    EXPECT_TRUE(Decimate({1.0}, {1.0f}, 0, 2, 0, 1).Points.empty()) << "no columns";
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
    EXPECT_LE(trace.Series().Time.front(), seconds - TLiveTrace::KeptSeconds);
    EXPECT_GE(trace.Series().Time.front(), seconds - TLiveTrace::KeptSeconds - 200);
}
