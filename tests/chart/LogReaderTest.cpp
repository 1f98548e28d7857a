// Reading the logs the project writes: the main window's data log (uego-log's window format
// is the same) and uego-log's precise format; both decimal conventions and line ends,
// seconds holding several records, midnight, joined and appended logs, warm-up, unfinished
// and malformed lines, and files that are not logs.
#include "chart/LogReader.h"

#include "core/InOutError.h"
#include "tests/support/Privileges.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
const std::string Header = "VORLANX Log V1.0  24.12.2024\r\nTime, CH1, CH2, CH3, CH4\r\n";
const std::string PreciseHeader = "time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\r\n";

struct Expected {
    double time;
    std::array<float, 4> lambda;
};

struct Case {
    const char* name;
    std::string bytes;
    TLogParser::TState state;
    std::vector<Expected> records;
    std::size_t malformed;
    bool pending;
};

std::string Records(int count, const char* clock, const char* values) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::string(clock) + ", " + values + "\r\n";
    return text;
}

std::vector<Expected> Spread(double second, int count, std::array<float, 4> lambda) {
    std::vector<Expected> out;
    for (int i = 0; i < count; ++i)
        out.push_back({second + double(i) / count, lambda});
    return out;
}

std::vector<Expected> Join(std::vector<Expected> a, const std::vector<Expected>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr double T140327 = 14 * 3600 + 3 * 60 + 27;
const std::string PreciseRecord =
    "2025-12-09T14:03:27.120+01:00,12.340,0.988,1.020,0.850,1.000,12.55,0\r\n";
const std::array<float, 4> Sample{0.988f, 1.02f, 0.85f, 1.0f};

std::vector<Case> Cases() {
    using S = TLogParser::TState;
    return {
        {"decimal point, CR LF",
         Header + "14:03:27, 0.988, 1.020, 0.850, 1.000\r\n",
         S::Log,
         {{T140327, Sample}},
         0,
         false},
        {"decimal comma, CR LF",
         Header + "14:03:27, 0,988, 1,020, 0,850, 1,000\r\n",
         S::Log,
         {{T140327, Sample}},
         0,
         false},
        {"decimal point, LF",
         "VORLANX Log V1.0  2024-12-24\nTime, CH1, CH2, CH3, CH4\n14:03:27, 0.988, 1.020, 0.850, "
         "1.000\n",
         S::Log,
         {{T140327, Sample}},
         0,
         false},
        {"decimal comma, LF",
         "VORLANX Log V1.0  24.12.2024\nTime, CH1, CH2, CH3, CH4\n14:03:27, 0,988, 1,020, 0,850, "
         "1,000\n",
         S::Log,
         {{T140327, Sample}},
         0,
         false},
        {"a second with one, ten and eleven records",
         Header + Records(1, "10:00:00", "1.000, 1.000, 1.000, 1.000") +
             Records(10, "10:00:01", "0.900, 0.900, 0.900, 0.900") +
             Records(11, "10:00:02", "1.100, 1.100, 1.100, 1.100"),
         S::Log,
         Join(Join(Spread(36000, 1, {1, 1, 1, 1}), Spread(36001, 10, {0.9f, 0.9f, 0.9f, 0.9f})),
              Spread(36002, 11, {1.1f, 1.1f, 1.1f, 1.1f})),
         0, false},
        {"past midnight",
         Header + Records(2, "23:59:59", "1.000, 1.000, 1.000, 1.000") +
             Records(1, "00:00:00", "0.900, 0.900, 0.900, 0.900") +
             Records(1, "00:00:01", "0.800, 0.800, 0.800, 0.800"),
         S::Log,
         Join(Join(Spread(86399, 2, {1, 1, 1, 1}), Spread(86400, 1, {0.9f, 0.9f, 0.9f, 0.9f})),
              Spread(86401, 1, {0.8f, 0.8f, 0.8f, 0.8f})),
         0, false},
        {"twelve-hour clock past midnight",
         Header + Records(1, "11:59:59 PM", "1.000, 1.000, 1.000, 1.000") +
             Records(1, "12:00:00 AM", "0.900, 0.900, 0.900, 0.900"),
         S::Log, Join(Spread(86399, 1, {1, 1, 1, 1}), Spread(86400, 1, {0.9f, 0.9f, 0.9f, 0.9f})),
         0, false},
        {"a clock set back an hour carries on",
         Header + Records(1, "02:59:59", "1.000, 1.000, 1.000, 1.000") +
             Records(1, "02:00:00", "0.900, 0.900, 0.900, 0.900"),
         S::Log, Join(Spread(10799, 1, {1, 1, 1, 1}), Spread(10800, 1, {0.9f, 0.9f, 0.9f, 0.9f})),
         0, false},
        {"a truncated last line waits",
         Header + "14:03:27, 0.988, 1.020, 0.850, 1.000\r\n14:03:27, 0.9",
         S::Log,
         {{T140327, Sample}},
         0,
         true},
        {"garbage lines are counted and skipped",
         Header +
             "garbage\r\n14:03:27, 0.988, 1.020, 0.850, 1.000\r\n14:03:27; 1; 2; 3; 4\r\n"
             "25:00:00, 1.000, 1.000, 1.000, 1.000\r\n14:03:27, 1.000, 1.000, 1.000\r\n"
             "14:03:27, 1.000, 1.000, 1.000, 1.000, 1.000\r\n14:03:27, 1.0x0, 1.000, 1.000, "
             "1.000\r\n"
             "14:03:27, 1.000,1.000, 1.000, 1.000\r\n\r\n" +
             std::string("\x00\xff\x01\r\n", 5),
         S::Log,
         {{T140327, Sample}},
         8,
         false},
        {"precise, stamps to the millisecond used as they are",
         PreciseHeader + "2025-12-09T14:03:27.120+01:00,0.000,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09T14:03:27.220+01:00,0.100,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09T14:03:28.005+01:00,0.885,0.988,1.020,0.850,1.000,12.55,0\r\n",
         S::Log,
         {{T140327 + 0.12, Sample}, {T140327 + 0.22, Sample}, {T140327 + 1.005, Sample}},
         0,
         false},
        {"precise, LF, past midnight and through a change of the clock's offset",
         "time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\n"
         "2025-10-25T23:59:59.950+02:00,0.000,0.988,1.020,0.850,1.000,12.55,0\n"
         "2025-10-26T02:59:59.900+02:00,10799.950,0.988,1.020,0.850,1.000,12.55,0\n"
         "2025-10-26T02:00:00.000+01:00,10800.050,0.988,1.020,0.850,1.000,12.55,0\n"
         "2025-10-26T10:00:00.000Z,39600.050,0.988,1.020,0.850,1.000,12.55,0\n",
         S::Log,
         {{86399.95, Sample},
          {86400 + 10799.9, Sample},
          {86400 + 10800, Sample},
          {86400 + 10800 + 8 * 3600 + 3600, Sample}},
         0,
         false},
        {"precise, warm-up records carry no lambda",
         PreciseHeader + "2025-12-09T14:03:27.000+01:00,0.000,1.000,1.000,1.000,1.000,12.55,1\r\n"
                         "2025-12-09T14:03:27.120+01:00,0.120,0.988,1.020,0.850,1.000,12.55,0\r\n",
         S::Log,
         {{T140327 + 0.12, Sample}},
         0,
         false},
        {"precise, malformed lines counted and skipped",
         PreciseHeader + "2025-12-09T14:03:27.120+01:00,0.000,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09T14:03:27.220+01:00,0.100,0,988,1,020,0,850,1,000,12,55,0\r\n"
                         "2025-13-09T14:03:27.220+01:00,0.100,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09 14:03:27.220+01:00,0.100,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09T14:03:27.220,0.100,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09T14:03:27.220+01:00,0.100,0.988,1.020,0.850,1.000,12.55,2\r\n"
                         "2025-12-09T14:03:27.220+01:00,0.100,0.988,1.020,0.850,1.000,12.55\r\n"
                         "2025-02-29T14:03:27.220+01:00,0.100,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09T24:00:00.000+01:00,0.100,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09T14:03:27.220+1:00,0.100,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09T14:03:27.+01:00,0.100,0.988,1.020,0.850,1.000,12.55,0\r\n"
                         "2025-12-09T14:03:27.220+01:00,0.100,0.988,1.020,0.850,1.0x0,12.55,0\r\n"
                         "14:03:27, 0.988, 1.020, 0.850, 1.000\r\n",
         S::Log,
         {{T140327 + 0.12, Sample}},
         12,
         false},
        {"precise, continued with its header row again",
         PreciseHeader + "2025-12-09T14:03:27.120+01:00,0.000,0.988,1.020,0.850,1.000,12.55,0\r\n" +
             PreciseHeader +
             "2025-12-09T14:03:28.120+01:00,0.000,0.988,1.020,0.850,1.000,12.55,0\r\n",
         S::Log,
         {{T140327 + 0.12, Sample}, {T140327 + 1.12, Sample}},
         0,
         false},
        {"the main window's log continued with its two header lines again",
         Header + "14:03:27, 0.988, 1.020, 0.850, 1.000\r\n" + Header +
             "14:05:00, 0.988, 1.020, 0.850, 1.000\r\n",
         S::Log,
         {{T140327, Sample}, {T140327 + 93, Sample}},
         0,
         false},
        {"precise, appended: a second run's elapsed seconds start again, without a header",
         PreciseHeader + "2025-12-09T10:00:00.000+01:00,0.000,1.000,1.000,1.000,1.000,12.55,0\r\n"
                         "2025-12-09T10:00:00.100+01:00,0.100,1.000,1.000,1.000,1.000,12.55,0\r\n"
                         "2025-12-09T11:30:00.000+01:00,0.000,0.900,0.900,0.900,0.900,12.50,0\r\n"
                         "2025-12-09T11:30:00.100+01:00,0.100,0.900,0.900,0.900,0.900,12.50,0\r\n",
         S::Log,
         {{36000.0, {1, 1, 1, 1}},
          {36000.1, {1, 1, 1, 1}},
          {41400.0, {0.9f, 0.9f, 0.9f, 0.9f}},
          {41400.1, {0.9f, 0.9f, 0.9f, 0.9f}}},
         0,
         false},
        {"a precise clock set back carries on from the last record",
         PreciseHeader + "2025-12-09T10:00:05.000+01:00,0.000,1.000,1.000,1.000,1.000,12.55,0\r\n"
                         "2025-12-09T10:00:01.000+01:00,0.100,0.900,0.900,0.900,0.900,12.55,0\r\n",
         S::Log,
         {{36005.0, {1, 1, 1, 1}}, {36005.0, {0.9f, 0.9f, 0.9f, 0.9f}}},
         0,
         false},
        {"fewer than three decimals, decimal point",
         Header + "14:03:27, 0.9, 1.02, 14.7, 1\r\n14:03:27, -0.5, 0.05, 10.10, 0.0\r\n",
         S::Log,
         {{T140327, {0.9f, 1.02f, 14.7f, 1.0f}}, {T140327 + 0.5, {-0.5f, 0.05f, 10.1f, 0.0f}}},
         0,
         false},
        {"fewer than three decimals, decimal comma",
         Header + "14:03:27, 0,9, 1,02, 14,7, 1\r\n14:03:27, -0,5, 0,05, 10,10, 0,0\r\n",
         S::Log,
         {{T140327, {0.9f, 1.02f, 14.7f, 1.0f}}, {T140327 + 0.5, {-0.5f, 0.05f, 10.1f, 0.0f}}},
         0,
         false},
        {"precise, fewer than three decimals",
         PreciseHeader + "2025-12-09T14:03:27.120+01:00,0.0,0.9,1.02,14.7,1,12.5,0\r\n",
         S::Log,
         {{T140327 + 0.12, {0.9f, 1.02f, 14.7f, 1.0f}}},
         0,
         false},
        {"an empty file", "", S::Empty, {}, 0, false},
        {"only the header", Header, S::Log, {}, 0, false},
        {"only the precise header", PreciseHeader, S::Log, {}, 0, false},
        {"a file that is not a log",
         "Date,Time,AFR\r\n2024-12-24,14:03:27,14.7\r\n",
         S::NotALog,
         {},
         0,
         false},
        {"a binary file without line ends", std::string(100000, '\x01'), S::NotALog, {}, 0, true},
    };
}

void Check(const TLogParser& parser, const Case& c) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parser.State(), c.state);
    EXPECT_EQ(parser.Malformed(), c.malformed);
    EXPECT_EQ(parser.LinePending(), c.pending);
    const TLogSeries& series = parser.Series();
    ASSERT_EQ(series.Size(), c.records.size());
    for (std::size_t i = 0; i < series.Size(); ++i) {
        EXPECT_NEAR(series.Time(i), c.records[i].time, 1e-9) << "record " << i;
        for (int n = 0; n < 4; ++n)
            EXPECT_EQ(series.Value(n, i), c.records[i].lambda[n])
                << "record " << i << " CH" << n + 1;
    }
}
} // namespace

TEST(LogReader, ParsesTheLogFormatWhole) {
    for (const Case& c : Cases()) {
        TLogParser parser;
        parser.Feed(c.bytes);
        Check(parser, c);
    }
}

// Each log fed a byte at a time, as a growing file may be read: the same result.
TEST(LogReader, ParsesTheLogFormatByteByByte) {
    for (const Case& c : Cases()) {
        TLogParser parser;
        for (char b : c.bytes)
            parser.Feed(std::string_view(&b, 1));
        Check(parser, c);
    }
}

TEST(LogReader, KeepsTheHeadersDate) {
    TLogParser parser;
    parser.Feed(Header);
    EXPECT_EQ(parser.Date(), QStringLiteral("24.12.2024"));
}

TEST(LogReader, KeepsThePreciseLogsFirstDate) {
    TLogParser parser;
    parser.Feed(PreciseHeader + PreciseRecord);
    EXPECT_EQ(parser.Format(), TLogParser::TFormat::Precise);
    EXPECT_EQ(parser.Date(), QStringLiteral("2025-12-09"));
}

// Warm-up records carry no lambda: they are left out of the series and shown as spans
// reaching to the next record, as the live view shades warm-up; a pause ends a span.
TEST(LogReader, PreciseWarmUpRecordsBecomeSpans) {
    TLogParser parser;
    parser.Feed(PreciseHeader +
                "2025-12-09T10:00:00.000Z,0.000,1.000,1.000,1.000,1.000,12.55,0\r\n"
                "2025-12-09T10:00:00.100Z,0.100,0.000,0.000,0.000,0.000,12.55,1\r\n"
                "2025-12-09T10:00:00.200Z,0.200,0.000,0.000,0.000,0.000,12.55,1\r\n"
                "2025-12-09T10:00:00.300Z,0.300,0.900,0.900,0.900,0.900,12.55,0\r\n"
                "2025-12-09T10:00:10.000Z,10.000,0.000,0.000,0.000,0.000,12.55,1\r\n");
    const TLogSeries& series = parser.Series();
    ASSERT_EQ(series.Size(), 2u);
    EXPECT_NEAR(series.Time(0), 36000.0, 1e-9);
    EXPECT_NEAR(series.Time(1), 36000.3, 1e-9);
    EXPECT_EQ(series.Value(0, 1), 0.9f);
    EXPECT_EQ(parser.WarmUpRecords(), 3u);
    ASSERT_EQ(parser.WarmUp().size(), 2u);
    EXPECT_NEAR(parser.WarmUp()[0].From, 36000.1, 1e-9);
    EXPECT_NEAR(parser.WarmUp()[0].To, 36000.3, 1e-9);
    EXPECT_NEAR(parser.WarmUp()[1].From, 36010.0, 1e-9);
    EXPECT_NEAR(parser.WarmUp()[1].To, 36010.0, 1e-9);
    EXPECT_EQ(parser.Malformed(), 0u);
}

// A log written once every few seconds still draws as a line; one written ten times a
// second breaks where it paused for more than two seconds.
TEST(LogReader, TheGapFollowsTheLogsRate) {
    struct GapCase {
        const char* name;
        std::string bytes;
        double gap;
    };
    const std::vector<GapCase> cases{
        {"window log, ten a second",
         Header + Records(10, "10:00:00", "1.000, 1.000, 1.000, 1.000") +
             Records(10, "10:00:01", "1.000, 1.000, 1.000, 1.000"),
         2.0},
        {"window log, one every five seconds",
         Header + Records(1, "10:00:00", "1.000, 1.000, 1.000, 1.000") +
             Records(1, "10:00:05", "1.000, 1.000, 1.000, 1.000") +
             Records(1, "10:00:10", "1.000, 1.000, 1.000, 1.000"),
         15.0},
        {"precise log, one every ten seconds",
         PreciseHeader + "2025-12-09T10:00:00.000Z,0.000,1.000,1.000,1.000,1.000,12.55,0\r\n" +
             "2025-12-09T10:00:10.000Z,10.000,1.000,1.000,1.000,1.000,12.55,0\r\n" +
             "2025-12-09T10:00:20.000Z,20.000,1.000,1.000,1.000,1.000,12.55,0\r\n",
         30.0},
        {"only a header", Header, 2.0},
    };
    for (const GapCase& c : cases) {
        TLogParser parser;
        parser.Feed(c.bytes);
        EXPECT_NEAR(parser.Gap(), c.gap, 1e-9) << c.name;
    }
}

TEST(LogReader, ATruncatedLineIsReadOnceItsEndArrives) {
    TLogParser parser;
    parser.Feed(Header + "14:03:27, 0.98");
    EXPECT_EQ(parser.Series().Size(), 0u);
    parser.Feed("8, 1.020, 0.850, 1.000\r\n");
    ASSERT_EQ(parser.Series().Size(), 1u);
    EXPECT_EQ(parser.Series().Value(0, 0), 0.988f);
    EXPECT_FALSE(parser.LinePending());
}

TEST(LogReader, RecordsArrivingInTheSameSecondAreSpreadAgain) {
    TLogParser parser;
    parser.Feed(Header + Records(2, "10:00:00", "1.000, 1.000, 1.000, 1.000"));
    EXPECT_NEAR(parser.Series().Time(1), 36000.5, 1e-9);
    parser.Feed(Records(2, "10:00:00", "1.000, 1.000, 1.000, 1.000"));
    EXPECT_NEAR(parser.Series().Time(1), 36000.25, 1e-9);
    EXPECT_NEAR(parser.Series().Time(3), 36000.75, 1e-9);
}

namespace {
void Append(const QString& path, const std::string& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(bytes.data(), qint64(bytes.size()));
}
} // namespace

TEST(LogFollower, LinesAppendedToAnOpenLogAppear) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    Append(path, Header + Records(3, "10:00:00", "1.000, 1.000, 1.000, 1.000"));
    TLogFollower follower;
    follower.Open(path);
    ASSERT_EQ(follower.Parser().Series().Size(), 3u);
    EXPECT_FALSE(follower.Poll()) << "nothing new";

    Append(path, Records(2, "10:00:01", "0.900, 0.800, 0.700, 0.600") + "10:00:02, 0.5");
    EXPECT_TRUE(follower.Poll());
    ASSERT_EQ(follower.Parser().Series().Size(), 5u);
    EXPECT_EQ(follower.Parser().Series().Value(3, 4), 0.6f);
    Append(path, "00, 0.500, 0.500, 0.500\r\n");
    EXPECT_TRUE(follower.Poll());
    ASSERT_EQ(follower.Parser().Series().Size(), 6u);
    EXPECT_EQ(follower.Parser().Series().Value(0, 5), 0.5f);
    EXPECT_EQ(follower.Generation(), 1);
}

// uego-log writes a precise log a line at a time; an --append run carries on the file
// without a header. Both are followed as they arrive.
TEST(LogFollower, AFollowedPreciseLogStartsInWarmUpAndTakesAnAppendedRun) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p10.csv");
    Append(path, PreciseHeader +
                     "2025-12-09T10:00:00.000+01:00,0.000,0.000,0.000,0.000,0.000,12.55,1\r\n");
    TLogFollower follower;
    follower.Open(path);
    const TLogParser& parser = follower.Parser();
    EXPECT_EQ(parser.Series().Size(), 0u);
    EXPECT_EQ(parser.WarmUpRecords(), 1u);
    EXPECT_FALSE(follower.Poll()) << "nothing new";

    Append(path, "2025-12-09T10:00:00.100+01:00,0.100,0.988,1.020,0.850,1.000,12.55,0\r\n"
                 "2025-12-09T10:00:00.200+01:00,0.2");
    EXPECT_TRUE(follower.Poll());
    ASSERT_EQ(parser.Series().Size(), 1u);
    EXPECT_TRUE(parser.LinePending());
    Append(path, "00,0.900,0.900,0.900,0.900,12.55,0\r\n");
    EXPECT_TRUE(follower.Poll());
    ASSERT_EQ(parser.Series().Size(), 2u);
    EXPECT_NEAR(parser.Series().Time(1), 36000.2, 1e-9);
    ASSERT_EQ(parser.WarmUp().size(), 1u);
    EXPECT_NEAR(parser.WarmUp()[0].To, 36000.1, 1e-9);

    Append(path, "2025-12-09T12:00:00.000+01:00,0.000,0.800,0.800,0.800,0.800,12.55,0\r\n");
    EXPECT_TRUE(follower.Poll());
    ASSERT_EQ(parser.Series().Size(), 3u);
    EXPECT_NEAR(parser.Series().Time(2), 43200.0, 1e-9);
    EXPECT_EQ(parser.Series().Value(3, 2), 0.8f);
    EXPECT_EQ(parser.Malformed(), 0u);
    EXPECT_EQ(follower.Generation(), 1);
}

TEST(LogFollower, APreciseLogGrowingAsUegoLogWritesItIsFollowed) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p10.csv");
    Append(path, PreciseHeader +
                     "2025-12-09T14:03:27.120+01:00,0.000,0.988,1.020,0.850,1.000,12.55,0\r\n");
    TLogFollower follower;
    follower.Open(path);
    ASSERT_EQ(follower.Parser().State(), TLogParser::TState::Log);
    ASSERT_EQ(follower.Parser().Series().Size(), 1u);
    Append(path, "2025-12-09T14:03:27.220+01:00,0.100,0.900,0.800,0.700,0.600,12.55,0\r\n"
                 "2025-12-09T14:03:27.3");
    EXPECT_TRUE(follower.Poll());
    ASSERT_EQ(follower.Parser().Series().Size(), 2u);
    EXPECT_NEAR(follower.Parser().Series().Time(1), T140327 + 0.22, 1e-9);
    Append(path, "20+01:00,0.200,0.500,0.500,0.500,0.500,12.55,0\r\n");
    EXPECT_TRUE(follower.Poll());
    ASSERT_EQ(follower.Parser().Series().Size(), 3u);
    EXPECT_NEAR(follower.Parser().Series().Time(2), T140327 + 0.32, 1e-9);
    EXPECT_EQ(follower.Parser().Series().Value(3, 2), 0.5f);
    EXPECT_EQ(follower.Parser().Malformed(), 0u);
}

TEST(LogFollower, AReplacedLogIsReadAgainFromItsStart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    Append(path, Header + Records(5, "10:00:00", "1.000, 1.000, 1.000, 1.000"));
    TLogFollower follower;
    follower.Open(path);
    ASSERT_EQ(follower.Parser().Series().Size(), 5u);
    QFile::remove(path);
    Append(path, Header + Records(2, "11:00:00", "0.900, 0.900, 0.900, 0.900"));
    EXPECT_TRUE(follower.Poll());
    ASSERT_EQ(follower.Parser().Series().Size(), 2u);
    EXPECT_EQ(follower.Parser().Series().Time(0), 39600.0);
    EXPECT_EQ(follower.Generation(), 2);

    QFile cut(path); // started again in place, as Log Start does with an existing file
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const std::string anew = Header + Records(10, "12:00:00", "0.800, 0.800, 0.800, 0.800");
    cut.write(anew.data(), qint64(anew.size()));
    cut.close();
    EXPECT_TRUE(follower.Poll()) << "written anew in place, and longer than before";
    ASSERT_EQ(follower.Parser().Series().Size(), 10u);
    EXPECT_EQ(follower.Parser().Series().Time(0), 43200.0);
}

// A log rotated with copytruncate: cut to nothing in place while it is followed, then
// written on from its start by the logger, header first. Seen empty or not, it is read
// again from its start, and only what it now holds is shown.
TEST(LogFollower, ALogCutToNothingAndWrittenOnIsReadAgainFromItsStart) {
    for (const bool seenEmpty : {true, false}) {
        SCOPED_TRACE(seenEmpty ? "polled while empty" : "polled once refilled");
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        Append(path, Header + Records(20, "10:00:00", "1.000, 1.000, 1.000, 1.000"));
        TLogFollower follower;
        follower.Open(path);
        ASSERT_EQ(follower.Parser().Series().Size(), 20u);
        ASSERT_EQ(::truncate(path.toLocal8Bit().constData(), 0), 0);
        if (seenEmpty) {
            EXPECT_TRUE(follower.Poll());
            EXPECT_EQ(follower.Parser().Series().Size(), 0u);
            EXPECT_EQ(follower.Parser().State(), TLogParser::TState::Empty);
        }
        Append(path, Header + Records(3, "11:00:00", "0.900, 0.900, 0.900, 0.900"));
        EXPECT_TRUE(follower.Poll());
        Append(path, Records(2, "11:00:01", "0.800, 0.800, 0.800, 0.800"));
        follower.Poll();
        const TLogParser& parser = follower.Parser();
        EXPECT_EQ(parser.State(), TLogParser::TState::Log);
        ASSERT_EQ(parser.Series().Size(), 5u);
        EXPECT_NEAR(parser.Series().Time(0), 39600.0, 1e-9);
        EXPECT_EQ(parser.Series().Value(0, 0), 0.9f);
        EXPECT_EQ(parser.Series().Value(0, 4), 0.8f);
        EXPECT_EQ(parser.Malformed(), 0u);
        EXPECT_EQ(follower.Generation(), 2);
    }
}

TEST(LogFollower, AMissingFileIsAnInputOutputError) {
    TLogFollower follower;
    EXPECT_THROW(follower.Open(QStringLiteral("/nonexistent-folder/run.csv")), std::runtime_error);
    EXPECT_FALSE(follower.IsOpen());
}

namespace {
// A large log with a malformed line now and then, written here line by line, and what
// each of its records must read as.
struct LargeLog {
    std::string bytes;
    std::vector<Expected> records;
    std::size_t malformed = 0;
};

LargeLog LargeWindowLog() {
    LargeLog log{Header, {}, 0};
    char line[96];
    for (int i = 0; i < 60000; ++i) {
        const int second = 23 * 3600 + i / 4; // past midnight, four records a second
        const int k = 500 + i % 1000;
        std::snprintf(line, sizeof line, "%02d:%02d:%02d, %d,%03d, %d,%03d, 1,000, 0,%03d\r\n",
                      second / 3600 % 24, second / 60 % 60, second % 60, k / 1000, k % 1000,
                      k / 1000, k % 1000, i % 1000);
        log.bytes += line;
        const float v = float(k) / 1000.0f;
        log.records.push_back({second + (i % 4) / 4.0, {v, v, 1.0f, float(i % 1000) / 1000.0f}});
        if (i % 997 == 0) {
            log.bytes += "12:00:00, 1,000, 1,000\r\n";
            ++log.malformed;
        }
    }
    return log;
}

LargeLog LargePreciseLog() {
    LargeLog log{PreciseHeader, {}, 0};
    char line[128];
    for (int i = 0; i < 40000; ++i) {
        const int ms = i * 11;
        const int k = 700 + i % 613;
        std::snprintf(
            line, sizeof line,
            "2025-12-09T10:%02d:%02d.%03d+01:00,%d.%03d,%d.%03d,1.000,1.000,1.000,12.55,0\n",
            ms / 60000, ms / 1000 % 60, ms % 1000, ms / 1000, ms % 1000, k / 1000, k % 1000);
        log.bytes += line;
        log.records.push_back({36000 + ms / 1000.0, {float(k) / 1000.0f, 1, 1, 1}});
        if (i % 1009 == 0) {
            log.bytes += "2025-12-09T10:00:00.000+01:00,0.000,x,1.000,1.000,1.000,12.55,0\n";
            ++log.malformed;
        }
    }
    return log;
}
} // namespace

// A large block is read on two threads; read whole or in small pieces, every record
// comes out as written, in its order.
TEST(LogReader, ReadsALargeLogInOneBlockAsInSmallPieces) {
    for (const LargeLog& log : {LargeWindowLog(), LargePreciseLog()}) {
        for (std::size_t piece : {log.bytes.size(), std::size_t(777)}) {
            SCOPED_TRACE(piece);
            TLogParser parser;
            for (std::size_t at = 0; at < log.bytes.size(); at += piece)
                parser.Feed(std::string_view(log.bytes).substr(at, piece));
            EXPECT_EQ(parser.Malformed(), log.malformed);
            const TLogSeries& series = parser.Series();
            ASSERT_EQ(series.Size(), log.records.size());
            for (std::size_t i = 0; i < series.Size(); ++i) {
                ASSERT_NEAR(series.Time(i), log.records[i].time, 1e-9) << "record " << i;
                for (int n = 0; n < 4; ++n)
                    ASSERT_EQ(series.Value(n, i), log.records[i].lambda[n])
                        << "record " << i << " CH" << n + 1;
            }
        }
    }
}

namespace {
// A main window's log of about this many bytes, ten records a second, CH1 counting the
// records in thousandths; and the path it was written to.
QString WriteCountingLog(const QString& path, std::size_t bytes, std::size_t& records) {
    std::string text = Header;
    char line[64];
    records = 0;
    while (text.size() < bytes) {
        const std::size_t second = 36000 + records / 10;
        std::snprintf(line, sizeof line, "%02zu:%02zu:%02zu, %zu.%03zu, 1.000, 1.000, 1.000\r\n",
                      second / 3600, second / 60 % 60, second % 60, records % 20000 / 1000,
                      records % 1000);
        text += line;
        ++records;
    }
    Append(path, text);
    return path;
}
} // namespace

// The chart reads a large log a step at a time, so that its window answers between
// steps: each step takes the next bytes from where the last stopped, up to the end.
TEST(LogFollower, ReadsALargeLogStepByStepToItsEnd) {
    QTemporaryDir dir;
    std::size_t records = 0;
    const QString path = WriteCountingLog(dir.filePath("large.csv"), 13 << 20, records);
    constexpr std::uint64_t Step = 4 << 20;
    TLogFollower follower;
    follower.Start(path, Step);
    const std::uint64_t size = std::uint64_t(QFileInfo(path).size());
    EXPECT_EQ(follower.Size(), size);
    EXPECT_EQ(follower.Offset(), Step);
    for (int step = 2; step <= 4; ++step) {
        const std::uint64_t before = follower.Offset();
        EXPECT_TRUE(follower.Continue(Step)) << "step " << step;
        EXPECT_EQ(follower.Offset(), std::min(before + Step, size)) << "step " << step;
    }
    ASSERT_EQ(follower.Offset(), size) << "four steps read 13 MiB";
    EXPECT_FALSE(follower.Continue(Step)) << "nothing left";
    const TLogSeries& series = follower.Parser().Series();
    ASSERT_EQ(series.Size(), records);
    EXPECT_EQ(follower.Parser().Malformed(), 0u);
    EXPECT_EQ(series.Value(0, records - 1), float((records - 1) % 20000) / 1000.0f);
    EXPECT_EQ(series.Tick(records - 1), std::int64_t(36000 + (records - 1) / 10));
}

// Hundreds of blocks, each large enough to be read on two threads: the thread that takes
// the pieces in their order must be woken for every piece the other thread reads, or it
// sleeps for ever. Each block ends in the piece that takes longest to read, so that one
// thread waits for the other in most blocks. A reading that makes no progress for a
// minute has lost a wake-up.
TEST(LogReader, ReadingOnTwoThreadsNeverLosesAWakeUp) {
    struct Shared {
        std::string block;
        TLogParser parser;
        std::atomic<int> fed{0};
        std::atomic<bool> done{false};
    };
    constexpr int Blocks = 300;
    auto shared = std::make_shared<Shared>();
    std::string& block = shared->block;
    std::size_t perBlock = 0;
    // Four pieces of records, then one of blank lines that costs the most to read: while
    // one thread reads it, the other has nothing left but to wait.
    while (block.size() < 256 * 1024) {
        block += "10:00:00, 0.988, 1.020, 0.850, 1.000\r\n";
        ++perBlock;
    }
    block += std::string(64 * 1024, '\n');
    shared->parser.Feed(Header);
    // Detached, so that a reader asleep for ever fails the test instead of hanging it.
    std::thread([shared] {
        for (int k = 0; k < Blocks; ++k) {
            shared->parser.Feed(shared->block);
            shared->fed.store(k + 1);
        }
        shared->done.store(true);
    }).detach();
    int seen = 0;
    auto progress = std::chrono::steady_clock::now();
    while (!shared->done.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (shared->fed.load() != seen) {
            seen = shared->fed.load();
            progress = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - progress > std::chrono::minutes(1)) {
            FAIL() << "block " << seen + 1 << " of " << Blocks
                   << " still waits for its pieces after a minute";
        }
    }
    EXPECT_EQ(shared->parser.Series().Size(), perBlock * Blocks);
    EXPECT_EQ(shared->parser.Malformed(), 0u);
}

namespace {
// Runs Start on a thread of its own, so that one that never returns fails the test
// instead of hanging it: the error it threw, "opened" when it threw none, nothing when it
// had not returned after half a minute.
std::optional<std::string> StartRefusal(const QString& path) {
    struct Shared {
        TLogFollower follower;
        std::string error = "opened";
        std::atomic<bool> done{false};
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, path] {
        try {
            shared->follower.Start(path, 4 << 20);
        } catch (const EInOutError& e) {
            shared->error = e.what();
        }
        shared->done.store(true);
    }).detach();
    const auto start = std::chrono::steady_clock::now();
    while (!shared->done.load()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(30))
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return shared->error;
}
} // namespace

// Only a regular file is read as a log: a pipe would hold the open until a writer came,
// a device be read for ever. Each refusal names the file and says why, at once.
TEST(LogFollower, OpensOnlyARegularFileAndSaysWhyNot) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.csv");
    ASSERT_EQ(::mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
    const QString folder = dir.filePath("folder.csv");
    ASSERT_TRUE(QDir().mkdir(folder));
    const struct {
        QString path;
        const char* error;
    } cases[] = {
        {pipe, "pipe.csv is a pipe, not a data log"},
        {QStringLiteral("/dev/zero"), "zero is a device, not a data log"},
        {folder, "folder.csv is a folder, not a data log"},
        {dir.filePath("missing.csv"), "missing.csv was not found"},
    };
    for (const auto& c : cases) {
        const std::optional<std::string> error = StartRefusal(c.path);
        if (!error) {
            ADD_FAILURE() << c.path.toStdString() << ": still opening after 30 s";
            continue;
        }
        EXPECT_EQ(*error, c.error) << c.path.toStdString();
    }
    // A writer, if one was waited for, lets the open go on.
    const int writer = ::open(pipe.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0)
        ::close(writer);
}

// A file the operator may not read (without the right to read past permissions, as
// root has): named in the refusal.
TEST(LogFollower, AFileThatMayNotBeReadIsNamed) {
    QTemporaryDir dir;
    const QString path = dir.filePath("locked.csv");
    Append(path, Header);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::Permissions()));
    WithoutReadOverride unprivileged;
    TLogFollower follower;
    try {
        follower.Start(path, 4 << 20);
        FAIL() << "read a file without read permission";
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "locked.csv may not be read: access denied");
    }
    EXPECT_FALSE(follower.IsOpen());
}

// Reading stops at the size the file had when the read began; a regular file's growth is
// followed, and a pipe put in its place is not read.
TEST(LogFollower, FollowsOnlyARegularFilesGrowth) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    Append(path, Header + Records(3, "10:00:00", "1.000, 1.000, 1.000, 1.000"));
    TLogFollower follower;
    follower.Open(path);
    ASSERT_EQ(follower.Parser().Series().Size(), 3u);
    EXPECT_EQ(follower.Offset(), follower.Size());
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(follower.Poll()) << "a pipe is not followed";
    EXPECT_EQ(follower.Parser().Series().Size(), 3u);
    ASSERT_TRUE(QFile::remove(path));
    Append(path, Header + Records(2, "11:00:00", "0.900, 0.900, 0.900, 0.900"));
    EXPECT_TRUE(follower.Poll()) << "a regular file again";
    EXPECT_EQ(follower.Parser().Series().Size(), 2u);
}

// Precise stamps across month ends, leap days and changes of a negative offset: each pair
// lies the given seconds apart; impossible dates are malformed lines.
TEST(LogReader, PreciseStampsAcrossMonthEndsLeapDaysAndOffsets) {
    const struct {
        const char* first;
        const char* second;
        double apart;
    } pairs[] = {
        {"2025-01-31T23:59:59.000Z", "2025-02-01T00:00:01.000Z", 2},
        {"2025-02-28T23:59:59.000Z", "2025-03-01T00:00:00.000Z", 1},
        {"2024-02-28T23:59:59.000Z", "2024-03-01T00:00:00.000Z", 86401}, // 2024 is leap
        {"2000-02-28T23:59:59.000Z", "2000-03-01T00:00:00.000Z", 86401}, // so is 2000
        {"2100-02-28T23:59:59.000Z", "2100-03-01T00:00:00.000Z", 1},     // 2100 is not
        {"2025-04-30T23:59:59.000Z", "2025-05-01T00:00:00.000Z", 1},
        {"2025-12-31T23:59:59.500Z", "2026-01-01T00:00:00.250Z", 0.75},
        {"2025-03-09T01:59:59.000-05:00", "2025-03-09T03:00:00.000-04:00", 1},
        {"2025-11-02T01:59:59.000-04:00", "2025-11-02T01:00:00.000-05:00", 1},
        {"2025-06-01T10:00:00.000-03:30", "2025-06-01T13:30:00.000Z", 0},
    };
    const std::string values = ",0.000,1.000,1.000,1.000,1.000,12.55,0\r\n";
    for (const auto& p : pairs) {
        std::string log = PreciseHeader;
        log.append(p.first).append(values).append(p.second).append(values);
        TLogParser parser;
        parser.Feed(log);
        ASSERT_EQ(parser.Series().Size(), 2u) << p.first;
        EXPECT_NEAR(parser.Series().Time(1) - parser.Series().Time(0), p.apart, 1e-9)
            << p.first << " to " << p.second;
    }
    for (const char* impossible :
         {"1900-02-29T10:00:00.000Z", "2100-02-29T10:00:00.000Z", "2025-04-31T10:00:00.000Z",
          "2025-06-31T10:00:00.000Z", "2025-09-31T10:00:00.000Z", "2025-11-31T10:00:00.000Z",
          "2025-00-10T10:00:00.000Z", "2025-01-00T10:00:00.000Z"}) {
        std::string log = PreciseHeader;
        log.append(impossible).append(values);
        TLogParser parser;
        parser.Feed(log);
        EXPECT_EQ(parser.Malformed(), 1u) << impossible;
        EXPECT_EQ(parser.Series().Size(), 0u) << impossible;
    }
}
