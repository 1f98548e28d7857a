// uego-log's command line and its precise record line.
#include "logger/LogOptions.h"
#include "link/Frames.h"
#include "logger/UegoLog.h"

#include <gtest/gtest.h>

namespace {

TLogOptions Parsed(const QStringList& arguments) {
    TLogOptions options;
    EXPECT_EQ(ParseLogOptions(arguments, options), TLogCommand::Run)
        << arguments.join(' ').toStdString();
    return options;
}

TEST(LogOptions, DefaultsAreTenHertzWindowFormatToStandardOutputOnPortOne) {
    const TLogOptions options = Parsed({});
    EXPECT_EQ(options.Port, 1);
    EXPECT_EQ(options.Rate, 10);
    EXPECT_FALSE(options.MaxRate);
    EXPECT_TRUE(options.ToStandardOutput());
    EXPECT_EQ(options.Format, TLogFormat::Window);
    EXPECT_FALSE(options.Duration);
    EXPECT_FALSE(options.Quiet);
    EXPECT_EQ(options.Existing, TExistingOutput::Refuse);
    EXPECT_FALSE(options.WaitForPort);
}

TEST(LogOptions, EveryOptionIsRead) {
    const TLogOptions options =
        Parsed({"--port", "5", "--rate=max", "--out", "run.csv", "--format", "precise",
                "--duration=2.5", "--quiet", "--wait-for-port", "--append"});
    EXPECT_EQ(options.Port, 5);
    EXPECT_TRUE(options.MaxRate);
    EXPECT_EQ(options.Out, QStringLiteral("run.csv"));
    EXPECT_FALSE(options.ToStandardOutput());
    EXPECT_EQ(options.Format, TLogFormat::Precise);
    EXPECT_EQ(options.Duration, 2.5);
    EXPECT_TRUE(options.Quiet);
    EXPECT_TRUE(options.WaitForPort);
    EXPECT_EQ(options.Existing, TExistingOutput::Append);

    EXPECT_EQ(Parsed({"--rate", "33.5"}).Rate, 33.5);
    EXPECT_TRUE(Parsed({"--out", "-"}).ToStandardOutput());
    EXPECT_EQ(Parsed({"--format", "precise", "--format", "window"}).Format, TLogFormat::Window);
    EXPECT_EQ(Parsed({"--format", "sheet"}).Format, TLogFormat::Sheet);
    EXPECT_EQ(Parsed({"--force", "--out", "run.csv"}).Existing, TExistingOutput::Replace);
    EXPECT_EQ(Parsed({"--append", "--append", "--out", "run.csv"}).Existing,
              TExistingOutput::Append);
}

TEST(LogOptions, HelpAndVersionWinOverTheRest) {
    TLogOptions options;
    EXPECT_EQ(ParseLogOptions({"--port", "3", "--help"}, options), TLogCommand::Help);
    EXPECT_EQ(ParseLogOptions({"--version"}, options), TLogCommand::Version);
}

TEST(LogOptions, BadOptionsNameTheOptionAndWhatIsWrong) {
    const std::vector<std::pair<QStringList, std::string>> cases{
        {{"--port", "0"}, "--port: '0' is out of range (1..255)"},
        {{"--port", "256"}, "--port: '256' is out of range (1..255)"},
        {{"--port", "x"}, "--port: 'x' is not a whole number"},
        {{"--port"}, "--port needs a value"},
        {{"--rate", "0"}, "--rate: '0' is out of range (0.1..1000)"},
        {{"--rate", "fast"}, "--rate: 'fast' is not a number"},
        {{"--rate", "nan"}, "--rate: 'nan' is not a number"},
        {{"--format", "csv"}, "--format: 'csv' is not one of window, precise, sheet"},
        {{"--format", "design"}, "--format: 'design' is not one of window, precise, sheet"},
        {{"--append", "--force", "--out", "a"}, "--force: --append and --force exclude each other"},
        {{"--force", "--append", "--out", "a"},
         "--append: --append and --force exclude each other"},
        {{"--append"}, "--append needs --out FILE"},
        {{"--force", "--out", "-"}, "--force needs --out FILE"},
        {{"--wait-for-port=1"}, "--wait-for-port takes no value"},
        {{"--force=yes"}, "--force takes no value"},
        {{"--duration", "-1"}, "--duration: '-1' is out of range (0.001..1000000000)"},
        {{"--out", ""}, "--out: '' is not a file name"},
        {{"--quiet=yes"}, "--quiet takes no value"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"run.csv"}, "unexpected argument 'run.csv'"},
    };
    for (const auto& [arguments, message] : cases) {
        TLogOptions options;
        try {
            ParseLogOptions(arguments, options);
            ADD_FAILURE() << arguments.join(' ').toStdString() << " was accepted";
        } catch (const EUsageError& e) {
            EXPECT_EQ(e.what(), message);
        }
    }
}

TLiveBuf LiveBufOf(std::vector<std::uint8_t> frame) {
    frame.push_back(frames::Checksum(frame.data(), frame.size()));
    TLiveBuf buffer;
    for (std::size_t i = 0; i < frame.size(); ++i)
        buffer.Store(int(i) + 1, frame[i]);
    return buffer;
}

TEST(PreciseFormat, RecordHoldsStampElapsedLambdasSupplyAndWarmUp) {
    const QDateTime when(QDate(2025, 12, 9), QTime(12, 0, 0, 250), Qt::OffsetFromUTC, 3600);
    const TLiveBuf running = LiveBufOf(
        {0xC0, 0x11, 0x27, 0x03, 0xE8, 0x05, 0xDC, 0xFF, 0xFF, 0x00, 0x01, 0, 0, 0, 0, 200});
    EXPECT_EQ(
        PreciseRecordLine(when, 1.23456, running),
        QStringLiteral("2025-12-09T12:00:00.250+01:00,1.235,1.000,1.500,65.535,0.001,12.55,0"));
    const TLiveBuf warming = LiveBufOf(
        {0xC0, 0x11, 0x27, 0x03, 0xE8, 0x03, 0xE8, 0x03, 0xE8, 0x03, 0xE8, 0, 1, 0, 0, 255});
    const QDateTime west(QDate(2025, 6, 1), QTime(23, 59, 59, 999), Qt::OffsetFromUTC, -4 * 3600);
    EXPECT_EQ(
        PreciseRecordLine(west, 0, warming),
        QStringLiteral("2025-06-01T23:59:59.999-04:00,0.000,1.000,1.000,1.000,1.000,16.00,1"));
    EXPECT_STREQ(PreciseHeaderLine, "time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup");
}

} // namespace
