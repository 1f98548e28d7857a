// Reading data logs: both decimal conventions and line ends, seconds holding several
// records, midnight, unfinished and malformed lines, and files that are not logs.
#include "chart/LogReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace {
const std::string Header = "VORLANX Log V1.0  24.12.2024\r\nTime, CH1, CH2, CH3, CH4\r\n";

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
        {"an empty file", "", S::Empty, {}, 0, false},
        {"only the header", Header, S::Log, {}, 0, false},
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
        EXPECT_NEAR(series.Time[i], c.records[i].time, 1e-9) << "record " << i;
        for (int n = 0; n < 4; ++n)
            EXPECT_EQ(series.Lambda[n][i], c.records[i].lambda[n])
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

TEST(LogReader, ATruncatedLineIsReadOnceItsEndArrives) {
    TLogParser parser;
    parser.Feed(Header + "14:03:27, 0.98");
    EXPECT_EQ(parser.Series().Size(), 0u);
    parser.Feed("8, 1.020, 0.850, 1.000\r\n");
    ASSERT_EQ(parser.Series().Size(), 1u);
    EXPECT_EQ(parser.Series().Lambda[0][0], 0.988f);
    EXPECT_FALSE(parser.LinePending());
}

TEST(LogReader, RecordsArrivingInTheSameSecondAreSpreadAgain) {
    TLogParser parser;
    parser.Feed(Header + Records(2, "10:00:00", "1.000, 1.000, 1.000, 1.000"));
    EXPECT_NEAR(parser.Series().Time[1], 36000.5, 1e-9);
    parser.Feed(Records(2, "10:00:00", "1.000, 1.000, 1.000, 1.000"));
    EXPECT_NEAR(parser.Series().Time[1], 36000.25, 1e-9);
    EXPECT_NEAR(parser.Series().Time[3], 36000.75, 1e-9);
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
    EXPECT_EQ(follower.Parser().Series().Lambda[3][4], 0.6f);
    Append(path, "00, 0.500, 0.500, 0.500\r\n");
    EXPECT_TRUE(follower.Poll());
    ASSERT_EQ(follower.Parser().Series().Size(), 6u);
    EXPECT_EQ(follower.Parser().Series().Lambda[0][5], 0.5f);
    EXPECT_EQ(follower.Generation(), 1);
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
    EXPECT_EQ(follower.Parser().Series().Time[0], 39600.0);
    EXPECT_EQ(follower.Generation(), 2);

    QFile cut(path); // started again in place, as Log Start does with an existing file
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const std::string anew = Header + Records(10, "12:00:00", "0.800, 0.800, 0.800, 0.800");
    cut.write(anew.data(), qint64(anew.size()));
    cut.close();
    EXPECT_TRUE(follower.Poll()) << "written anew in place, and longer than before";
    ASSERT_EQ(follower.Parser().Series().Size(), 10u);
    EXPECT_EQ(follower.Parser().Series().Time[0], 43200.0);
}

TEST(LogFollower, AMissingFileIsAnInputOutputError) {
    TLogFollower follower;
    EXPECT_THROW(follower.Open(QStringLiteral("/nonexistent-folder/run.csv")), std::runtime_error);
    EXPECT_FALSE(follower.IsOpen());
}
