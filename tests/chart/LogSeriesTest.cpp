// Span statistics, the record under the cursor and the exported records.
#include "chart/LogSeries.h"
#include "core/DateTime.h"
#include "tests/support/CLocale.h"
#include "tests/support/GermanNumbers.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {
TLogSeries ThreeSeconds() {
    TLogSeries series;
    series.Append(36000.0, {0.8f, 1.0f, 1.0f, 1.0f});
    series.Append(36000.5, {1.0f, 1.0f, 1.0f, 1.0f});
    series.Append(36001.0, {1.2f, 1.0f, 1.0f, 1.0f});
    series.Append(36005.0, {0.9f, 1.0f, 1.0f, 1.0f});
    return series;
}
} // namespace

TEST(LogSeries, StatsCoverTheRecordsInTheSpan) {
    const TLogSeries series = ThreeSeconds();
    const TSpanStats all = SpanStats(series, 0, 0, 1e6);
    EXPECT_EQ(all.Count, 4u);
    EXPECT_EQ(all.Min, 0.8f);
    EXPECT_EQ(all.Max, 1.2f);
    EXPECT_NEAR(all.Mean, 0.975, 1e-6);
    const TSpanStats part = SpanStats(series, 0, 36000.5, 36001.0);
    EXPECT_EQ(part.Count, 2u);
    EXPECT_NEAR(part.Mean, 1.1, 1e-6);
    EXPECT_EQ(SpanStats(series, 0, 36002, 36004).Count, 0u);
}

TEST(LogSeries, TheCursorFindsTheNearestRecordWithinReach) {
    const TLogSeries series = ThreeSeconds();
    struct {
        double time;
        std::optional<std::size_t> found;
    } cases[] = {
        {35999.0, std::nullopt}, {35999.8, 0}, {36000.2, 0},           {36000.3, 1}, {36000.9, 2},
        {36003.0, std::nullopt}, {36004.6, 3}, {36010.0, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(NearestRecord(series, c.time, 0.5), c.found) << c.time;
}

TEST(LogSeries, ClockTextWrapsPastMidnight) {
    EXPECT_EQ(ClockText(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(ClockText(50607.9), QStringLiteral("14:03:27"));
    EXPECT_EQ(ClockText(86401.0), QStringLiteral("00:00:01"));
}

namespace {
// The lines WriteSheetRecords gives for the records [first, end), all pieces joined.
QByteArray SheetLines(const TLogSeries& series, std::size_t first, std::size_t end,
                      std::optional<double> day, double scale) {
    QByteArray text;
    EXPECT_TRUE(WriteSheetRecords(series, first, end, day, scale,
                                  [&](const QByteArray& lines, std::size_t) {
                                      text += lines;
                                      return true;
                                  }));
    return text;
}

constexpr double December9th2025 = 46000;

// Ten records a second from 23:59:59.8 on, with the main window's log's clock.
TLogSeries AcrossMidnight(TLogSeries::TTimeUnit unit) {
    TLogSeries series(unit);
    if (unit == TLogSeries::TTimeUnit::Millisecond) {
        series.Append(86399.8, {0.8f, 65.535f, 0.0f, 1.0f});
        series.Append(86400.0, {1.0f, 0.001f, 12.345f, 1.0f});
    } else {
        series.AppendTick(86399, {0.8f, 65.535f, 0.0f, 1.0f});
        series.AppendTick(86399, {0.9f, 1.0f, 1.0f, 1.0f});
        series.AppendTick(86400, {1.0f, 0.001f, 12.345f, 1.0f});
    }
    return series;
}
} // namespace

// The date and time in one cell, three decimals, and the supply voltage's cell empty.
TEST(LogSeries, ExportedRecordsAreSpreadsheetLines) {
    const CLocaleScope cLocale;
    struct {
        const char* name;
        TLogSeries series;
        std::size_t first, end;
        std::optional<double> day;
        double scale;
        const char* lines;
    } cases[] = {
        {"in air-fuel ratio", ThreeSeconds(), 1, 3, December9th2025, 14.7,
         "12/09/2025 10:00:00.500,14.700,14.700,14.700,14.700,\r\n"
         "12/09/2025 10:00:01.000,17.640,14.700,14.700,14.700,\r\n"},
        {"to the millisecond, past midnight", AcrossMidnight(TLogSeries::TTimeUnit::Millisecond), 0,
         2, December9th2025, 1.0,
         "12/09/2025 23:59:59.800,0.800,65.535,0.000,1.000,\r\n"
         "12/10/2025 00:00:00.000,1.000,0.001,12.345,1.000,\r\n"},
        {"the main window's whole seconds", AcrossMidnight(TLogSeries::TTimeUnit::SpreadSecond), 0,
         3, December9th2025, 1.0,
         "12/09/2025 23:59:59.000,0.800,65.535,0.000,1.000,\r\n"
         "12/09/2025 23:59:59.000,0.900,1.000,1.000,1.000,\r\n"
         "12/10/2025 00:00:00.000,1.000,0.001,12.345,1.000,\r\n"},
        {"no date known", ThreeSeconds(), 3, 4, std::nullopt, 1.0,
         "10:00:05.000,0.900,1.000,1.000,1.000,\r\n"},
        {"no record", ThreeSeconds(), 2, 2, December9th2025, 1.0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SheetLines(c.series, c.first, c.end, c.day, c.scale).toStdString(), c.lines)
            << c.name;
}

TEST(LogSeries, ExportedRecordsUnderGermanSettingsHaveSemicolonsAndTheDecimalComma) {
    const CLocaleScope cLocale;
    WithGermanNumbersAndDates([] {
        EXPECT_EQ(SheetLines(AcrossMidnight(TLogSeries::TTimeUnit::Millisecond), 0, 2,
                             December9th2025, 1.0)
                      .toStdString(),
                  "09.12.2025 23:59:59,800;0,800;65,535;0,000;1,000;\r\n"
                  "10.12.2025 00:00:00,000;1,000;0,001;12,345;1,000;\r\n");
    });
}

// A large span comes in pieces of bounded size, each with the records written so far,
// and stops when the writer says so.
TEST(LogSeries, ExportedRecordsComeInPiecesAndStopWhenAsked) {
    const CLocaleScope cLocale;
    TLogSeries series;
    constexpr std::size_t Records = 20000;
    for (std::size_t i = 0; i < Records; ++i)
        series.Append(double(i) / 100.0, {1.0f, 1.0f, 1.0f, 1.0f});
    std::vector<std::size_t> counts;
    QByteArray text;
    qsizetype largest = 0;
    EXPECT_TRUE(WriteSheetRecords(series, 0, Records, December9th2025, 1.0,
                                  [&](const QByteArray& lines, std::size_t records) {
                                      counts.push_back(records);
                                      text += lines;
                                      largest = std::max(largest, lines.size());
                                      return true;
                                  }));
    EXPECT_GT(counts.size(), 5u);
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
    EXPECT_EQ(counts.back(), Records);
    EXPECT_EQ(text.count('\n'), qsizetype(Records));
    EXPECT_LE(largest, 66 << 10);
    EXPECT_TRUE(text.endsWith("12/09/2025 00:03:19.990,1.000,1.000,1.000,1.000,\r\n"));

    int calls = 0;
    EXPECT_FALSE(WriteSheetRecords(series, 0, Records, December9th2025, 1.0,
                                   [&](const QByteArray&, std::size_t) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

// The date an export's records count from: a log's header date in the forms logs are
// written in, whatever the settings now.
TEST(LogSeries, ExportsReadTheLogsDate) {
    const CLocaleScope cLocale;
    const struct {
        const char* text;
        std::optional<double> day;
    } cases[] = {
        {"2025-12-09", December9th2025},
        {"12/09/25", December9th2025},
        {"12/09/2025", December9th2025},
        {"09.12.2025", December9th2025},
        {"09.12.25", December9th2025},
        {"31/12/24", December9th2025 - 343},
        {"31.12.2024", December9th2025 - 343},
        {"", std::nullopt},
        {"Dienstag", std::nullopt},
        {"2025-12-09 extra", std::nullopt},
        {"13/13/25", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseLogDate(QString::fromLatin1(c.text)), c.day) << c.text;
}
