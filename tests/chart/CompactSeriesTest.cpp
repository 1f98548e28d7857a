// The compact series gives back exactly what the logs hold, its pyramid answers as a
// visit of every record would, and the logs' numbers are read as the text says.
#include "chart/LogFields.h"
#include "chart/LogSeries.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace {
struct Row {
    long long tick;
    std::array<float, 4> lambda;
};

TLogSeries SeriesOf(const std::vector<Row>& rows,
                    TLogSeries::TTimeUnit unit = TLogSeries::TTimeUnit::Millisecond) {
    TLogSeries series(unit);
    for (const Row& row : rows)
        series.AppendTick(row.tick, row.lambda);
    return series;
}
} // namespace

// Three decimals within ±32.767 are kept as thousandths; anything else is kept beside
// them. Either way each value and time comes back as it went in.
TEST(CompactSeries, GivesBackEveryValueAndTimeExactly) {
    const std::vector<Row> rows{
        {0, {0.988f, 1.020f, 0.850f, 1.000f}},
        {11, {-32.767f, 32.767f, 0.001f, -0.001f}},
        {65534, {32.768f, -40.5f, 100.125f, 0.0005f}}, // beyond thousandths
        {65535, {14.524f, 9.765f, 0.0f, 7.999f}},      // the first tick that does not fit
        {86400000, {1.0f, 1.0f, 1.0f, 1.0f}},          // a day later, in the same block
        {86400100, {0.1234f, 3.0e-7f, 1.5f, 2.25f}},
        {5000000000LL, {1.001f, 1.002f, 1.003f, 1.004f}}, // past 32 bits of milliseconds
    };
    std::vector<Row> many = rows;
    for (int i = 0; i < 300; ++i) // more blocks, each starting afresh
        many.push_back({5000000000LL + 100 * (i + 1), {float(i) / 1000.0f, 0.5f, 0.25f, 1.0f}});
    const TLogSeries series = SeriesOf(many);
    ASSERT_EQ(series.Size(), many.size());
    for (std::size_t i = 0; i < many.size(); ++i) {
        EXPECT_EQ(series.Tick(i), many[i].tick) << "record " << i;
        EXPECT_EQ(series.Time(i), double(many[i].tick) / 1000.0) << "record " << i;
        for (int n = 0; n < 4; ++n)
            EXPECT_EQ(series.Value(n, i), many[i].lambda[n]) << "record " << i << " CH" << n + 1;
    }
}

TEST(CompactSeries, TakesAboutADozenBytesARecord) {
    TLogSeries series;
    for (int i = 0; i < 100000; ++i)
        series.AppendTick(11 * i, {0.9f, 1.0f, 1.1f, 1.2f});
    EXPECT_LE(series.Bytes(), 12u * series.Size());
}

// The main window's log stamps whole seconds: the records of a second are spread evenly
// across it, also while the second is still filling.
TEST(CompactSeries, SpreadsTheRecordsOfASecond) {
    TLogSeries series(TLogSeries::TTimeUnit::SpreadSecond);
    const long long seconds[] = {10, 11, 11, 11, 11, 14, 15, 15, 15};
    for (long long s : seconds)
        series.AppendTick(s, {1, 1, 1, 1});
    const double expected[] = {10, 11, 11.25, 11.5, 11.75, 14, 15, 15 + 1 / 3.0, 15 + 2 / 3.0};
    for (std::size_t i = 0; i < series.Size(); ++i)
        EXPECT_DOUBLE_EQ(series.Time(i), expected[i]) << "record " << i;
    series.AppendTick(15, {1, 1, 1, 1});
    EXPECT_DOUBLE_EQ(series.Time(7), 15.25);
    EXPECT_EQ(series.LowerBound(11.3), 3u);
    EXPECT_EQ(series.UpperBound(15.0), 7u);
}

TEST(CompactSeries, DroppingOldRecordsKeepsTheRest) {
    TLogSeries series;
    for (int i = 0; i < 1000; ++i)
        series.AppendTick(100 * i, {float(i) / 1000.0f, 1, 1, 1});
    series.DropBefore(50.0);
    ASSERT_EQ(series.Size(), 500u);
    EXPECT_EQ(series.Time(0), 50.0);
    EXPECT_EQ(series.Value(0, 0), 0.5f);
    EXPECT_EQ(series.Value(0, 499), 0.999f);
}

// Extremes (the first of equal ones), sums and the first step over a gap over random
// ranges of literal records, against a visit of every record written out here.
TEST(SeriesPyramid, AnswersAsAVisitOfEveryRecord) {
    std::mt19937 random(777);
    std::uniform_int_distribution<int> level(-20, 20);
    std::uniform_int_distribution<int> step(0, 30);
    std::uniform_int_distribution<int> pause(0, 3000);
    std::vector<Row> rows;
    long long t = 0;
    for (int i = 0; i < 150000; ++i) {
        t += step(random) + (pause(random) == 0 ? 9000 : 0);
        rows.push_back({t,
                        {float(level(random)) / 1000.0f, float(level(random)) / 100.0f,
                         float(level(random)) / 10.0f, 1.0f}});
    }
    const TLogSeries series = SeriesOf(rows);
    const TSeriesPyramid& pyramid = series.Pyramid();
    std::uniform_int_distribution<std::size_t> at(0, rows.size() - 1);
    for (int round = 0; round < 300; ++round) {
        std::size_t a = at(random), b = at(random);
        if (round % 3 == 0)
            b = std::min(rows.size(), a + round); // short ranges too
        if (a > b)
            std::swap(a, b);
        if (a == b)
            continue;
        for (int n = 0; n < 4; ++n) {
            std::size_t minAt = a, maxAt = a;
            double sum = 0;
            for (std::size_t i = a; i < b; ++i) {
                minAt = rows[i].lambda[n] < rows[minAt].lambda[n] ? i : minAt;
                maxAt = rows[i].lambda[n] > rows[maxAt].lambda[n] ? i : maxAt;
                sum += rows[i].lambda[n];
            }
            const TExtremes found = pyramid.Extremes(series, n, a, b);
            EXPECT_EQ(found.MinAt, minAt) << a << ".." << b << " CH" << n + 1;
            EXPECT_EQ(found.MaxAt, maxAt) << a << ".." << b << " CH" << n + 1;
            EXPECT_NEAR(pyramid.Sum(series, n, a, b), sum, 1e-6 * double(b - a));
        }
        std::size_t pauseAt = b;
        for (std::size_t i = std::max<std::size_t>(a, 1); i < b && pauseAt == b; ++i)
            if (rows[i].tick - rows[i - 1].tick > 8000)
                pauseAt = i;
        EXPECT_EQ(pyramid.FirstStepOver(series, a, b, 8.0), pauseAt) << a << ".." << b;
    }
}

// A run of records up to the series' last, in the block still being filled, in a block
// kept a byte a value and in one kept whole: the extremes are the first of equal ones, and
// the last record counts.
TEST(SeriesPyramid, RunsEndingAtTheLastRecordCountIt) {
    std::vector<Row> rows;
    for (int i = 0; i < 300; ++i) { // blocks 0 and 1 sealed, 44 records in block 2
        const float narrow = 1.0f + float(i % 7) / 1000.0f;
        const float wide = i % 2 ? 0.5f : 2.0f;
        rows.push_back({i * 10LL, {narrow, wide, narrow, 1.0f}});
    }
    rows[299].lambda = {1.5f, 3.0f, 0.5f, 1.0f}; // the last record holds every extreme
    rows[200].lambda[0] = 0.9f;                  // one smallest earlier in the open block
    rows[127].lambda = {1.2f, 4.0f, 1.2f, 1.0f}; // the last of a sealed block
    const TLogSeries series = SeriesOf(rows);
    const TSeriesPyramid& pyramid = series.Pyramid();
    const struct {
        std::size_t a, b;
        int channel;
        std::size_t minAt, maxAt;
    } cases[] = {
        {290, 300, 0, 294, 299}, // the block being filled: 1.000 at 294, 1.5 last
        {290, 300, 1, 291, 299}, {290, 300, 2, 299, 293}, // 0.5 last, 1.006 at 293
        {150, 300, 0, 200, 299}, {100, 128, 0, 105, 127}, // a narrow block's last record
        {100, 128, 1, 101, 127},                          // a wide block's last record
        {0, 300, 3, 0, 0},                                // all equal: the first
    };
    for (const auto& c : cases) {
        const TExtremes found = pyramid.Extremes(series, c.channel, c.a, c.b);
        EXPECT_EQ(found.MinAt, c.minAt) << c.a << ".." << c.b << " CH" << c.channel + 1;
        EXPECT_EQ(found.MaxAt, c.maxAt) << c.a << ".." << c.b << " CH" << c.channel + 1;
    }
}

TEST(LogFields, ReadsTheLogsNumbersAsTheTextSays) {
    const struct {
        const char* text;
        bool ok;
        float value;
    } cases[] = {
        {"0.988", true, 0.988f},
        {"0,988", true, 0.988f},
        {"14.524", true, 14.524f},
        {"-1.5", true, -1.5f},
        {"1", true, 1.0f},
        {"7.1", true, 7.1f},
        {"32.767", true, 32.767f},
        {"12345.678", true, 12345.678f},
        {"0.98765", true, 0.98765f},
        {".5", true, 0.5f},
        {"1.", true, 1.0f},
        {"", false, 0},
        {"1.0x0", false, 0},
        {"1,000,0", false, 0},
        {" 1.0", false, 0},
        {"1e3", false, 0},
        {"inf", false, 0},
        {"-", false, 0},
        // Ten digits and more, whole or decimal, read in full.
        {"12345678901", true, 12345678901.0f},
        {"-9876543210.5", true, -9876543210.5f},
        {"1.00000000001", true, 1.0f},
        {"0,1234567890123", true, 0.1234567890123f},
        {"99999999999999999999", true, 1e20f},
    };
    for (const auto& c : cases) {
        float value = -99;
        EXPECT_EQ(ParseLambda(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

// A block whose values lie within 0.255 of its smallest is kept a byte a value; one that
// spreads further, or is still being filled, as it is: either way each value comes back.
TEST(CompactSeries, KeepsNarrowAndWideBlocksExactly) {
    std::vector<Row> rows;
    const int spreads[] = {255, 256, 0, 32767, 1};
    long long tick = 0;
    for (int spread : spreads)
        for (int k = 0; k < 128; ++k) {
            const int thousandths = k % 2 ? -1000 + spread : -1000;
            const float v = float(std::min(thousandths, 32767)) / 1000.0f;
            rows.push_back({tick += 10, {v, -v, float(k) / 1000.0f, 1.5f}});
        }
    rows.push_back({tick += 10, {2.0f, 2.5f, 3.0f, 3.5f}}); // a block being filled
    const TLogSeries series = SeriesOf(rows);
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (int n = 0; n < 4; ++n)
            ASSERT_EQ(series.Value(n, i), rows[i].lambda[n]) << "record " << i << " CH" << n + 1;
    EXPECT_LT(series.Bytes(), rows.size() * 12) << "the narrow blocks take a byte a value";
}

// A value kept beside the thousandths (past ±32.767, more than three decimals, or the
// mark's own -32.768) at every position of a block: the extremes of the whole bucket, of
// runs that start, end or lie around it, and of spans across blocks, count it.
TEST(SeriesPyramid, ExtremesCountAValueKeptBesideTheThousandthsWhereverItLies) {
    const float kept[] = {65.5f, 40.0f, -33.0f, -32.768f, 1.2345f, 0.5005f};
    for (float value : kept) {
        for (std::size_t p = 0; p < TSeriesPyramid::BucketRecords; ++p) {
            std::vector<Row> rows;
            for (int i = 0; i < 400; ++i) { // blocks 0 to 2 sealed, 16 records in block 3
                const float base = 1.0f + float(i % 11) / 1000.0f;
                rows.push_back({i * 10LL, {base, base, 2.0f - base, base}});
            }
            const std::size_t at = TSeriesPyramid::BucketRecords + p; // in block 1
            rows[at].lambda[0] = value;
            rows[at].lambda[2] = value;
            const TLogSeries series = SeriesOf(rows);
            const std::size_t ranges[][2] = {
                {128, 256},                    // the whole bucket
                {at, 256},                     // a run that starts with it
                {128, at + 1},                 // one that ends with it
                {at > 0 ? at - 1 : 0, at + 2}, // one around it
                {at, at + 1},                  // it alone
                {5, 395},                      // across blocks
                {at, 400},                     // to the block being filled
            };
            for (const auto& r : ranges) {
                for (int n = 0; n < 4; ++n) {
                    std::size_t minAt = r[0], maxAt = r[0];
                    for (std::size_t i = r[0]; i < r[1]; ++i) {
                        minAt = rows[i].lambda[n] < rows[minAt].lambda[n] ? i : minAt;
                        maxAt = rows[i].lambda[n] > rows[maxAt].lambda[n] ? i : maxAt;
                    }
                    const TExtremes found = series.Pyramid().Extremes(series, n, r[0], r[1]);
                    ASSERT_EQ(found.MinAt, minAt)
                        << value << " at " << at << ", " << r[0] << ".." << r[1] << " CH" << n + 1;
                    ASSERT_EQ(found.MaxAt, maxAt)
                        << value << " at " << at << ", " << r[0] << ".." << r[1] << " CH" << n + 1;
                }
            }
        }
    }
}

// A pause in logging that starts at a bucket's first record, or just before or after it,
// at the edges of buckets of each level: found from wherever the search starts.
TEST(SeriesPyramid, APauseAtABucketsEdgeIsFound) {
    const std::size_t edges[] = {128, 1024, 1152, 8192, 9 * 128};
    for (std::size_t edge : edges) {
        for (std::size_t pause : {edge - 1, edge, edge + 1}) {
            std::vector<Row> rows;
            long long tick = 0;
            for (std::size_t i = 0; i < 20000; ++i)
                rows.push_back({tick += (i == pause ? 10000 : 100), {1, 1, 1, 1}});
            const TLogSeries series = SeriesOf(rows);
            for (std::size_t from : {std::size_t(0), std::size_t(1),
                                     pause - std::min<std::size_t>(pause, 128), pause - 1, pause})
                EXPECT_EQ(series.Pyramid().FirstStepOver(series, from, 20000, 2.0), pause)
                    << "pause before record " << pause << ", searched from " << from;
            EXPECT_EQ(series.Pyramid().FirstStepOver(series, pause + 1, 20000, 2.0), 20000u)
                << "none after record " << pause;
        }
    }
}
