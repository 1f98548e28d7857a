// Span statistics, the record under the cursor and the exported span.
#include "chart/LogSeries.h"
#include "tests/support/GermanNumbers.h"

#include <gtest/gtest.h>

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

TEST(LogSeries, ExportedSpanHasElapsedSecondsAndTheUnit) {
    const QString csv = SpanCsv(ThreeSeconds(), 36000.5, 36001.0, 36000.0, 14.7, "AFR");
    EXPECT_EQ(csv, QStringLiteral("Elapsed s, Time, CH1 AFR, CH2 AFR, CH3 AFR, CH4 AFR\r\n"
                                  "0.500, 10:00:00, 14.700, 14.700, 14.700, 14.700\r\n"
                                  "1.000, 10:00:01, 17.640, 14.700, 14.700, 14.700\r\n"));
}

TEST(LogSeries, ExportedNumbersUseTheLocalesDecimalSeparator) {
    WithGermanNumbers([] {
        const QString csv = SpanCsv(ThreeSeconds(), 36000, 36000, 36000.0, 1.0, "lambda");
        EXPECT_TRUE(csv.endsWith(QStringLiteral("0,000, 10:00:00, 0,800, 1,000, 1,000, 1,000\r\n")))
            << csv.toStdString();
    });
}
