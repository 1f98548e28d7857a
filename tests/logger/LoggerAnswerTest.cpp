// uego-log's exchanges against a controller whose answers come as a USB adapter delivers
// them (held to its latency timer's ticks, in pieces), late, or wrong: every whole answer is
// recorded, and nothing else is.
#include "tests/logger/LoggerController.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFiles.h"
#include "tools/ControllerEmulator.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

sim::EmulatorOptions Adapter(int latencyTimerMs, unsigned faults = 0, int baud = 0) {
    sim::EmulatorOptions options;
    options.latencyTimerMs = latencyTimerMs;
    options.faults = faults;
    options.baud = baud;
    return options;
}

constexpr unsigned Split = unsigned(sim::Fault::SplitReplies);
constexpr unsigned Corrupt = unsigned(sim::Fault::CorruptChecksum);
constexpr unsigned Late = unsigned(sim::Fault::LateReplies);

struct LogRun {
    QStringList records;
    std::string stderrText;
    std::size_t requests = 0;
};

// uego-log in the precise format against the controller, for `seconds`.
LogRun LogFor(int port, const sim::EmulatorOptions& options, const std::string& rate,
              const std::string& seconds) {
    auto controller = StartController(port, options);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    ChildProcess log(BuildProgramPath("uego-log"),
                     {"--port", std::to_string(port), "--rate", rate, "--duration", seconds,
                      "--format", "precise", "--out", path.toStdString()});
    LogRun run;
    EXPECT_EQ(log.End(), 0) << log.stderrText;
    run.stderrText = log.stderrText;
    run.requests = controller->LiveRequestCount();
    run.records = FileLines(path).mid(1);
    return run;
}

// The values the controller sends, as the precise format writes them.
const QRegularExpression GoodRecord(QStringLiteral(",0\\.988,1\\.023,0\\.850,1\\.000,12\\.55,0$"));

TEST(LoggerAnswers, EveryAnswerThatComesWholeIsRecordedOnce) {
    struct Case {
        const char* name;
        sim::EmulatorOptions options;
    };
    const Case cases[] = {
        {"latency timer 16 ms", Adapter(16)},
        {"latency timer 16 ms, replies in pieces", Adapter(16, Split)},
        {"replies in pieces", Adapter(0, Split)},
        {"latency timer 16 ms on a paced line", Adapter(16, 0, 19200)},
    };
    for (const Case& c : cases) {
        const LogRun run = LogFor(51, c.options, "10", "5");
        ASSERT_GT(run.requests, 0u) << c.name;
        // The last request may go out as the run ends, its answer not yet in.
        EXPECT_GE(run.records.size() + 1, run.requests) << c.name << ": " << run.stderrText;
        EXPECT_LE(std::size_t(run.records.size()), run.requests) << c.name;
        for (const QString& record : run.records)
            ASSERT_TRUE(GoodRecord.match(record).hasMatch())
                << c.name << ": " << record.toStdString();
        EXPECT_EQ(run.stderrText.find("rejected"), std::string::npos) << c.name;
    }
}

// The summary names how many answers came but were refused, and why.
TEST(LoggerAnswers, WrongAndLateAnswersAreCountedAndNeverRecorded) {
    struct Case {
        const char* name;
        sim::EmulatorOptions options;
        std::string rate;
        QString rejected; // the refused answers' reason in the summary
    };
    const Case cases[] = {
        {"bad checksums", Adapter(0, Corrupt), "10", "with a bad checksum"},
        {"bad checksums at the line's limit", Adapter(16, Corrupt), "max", "with a bad checksum"},
        {"answers 150 ms late", Adapter(0, Late), "10", "late or incomplete"},
        {"answers 150 ms late at the line's limit", Adapter(0, Late), "max", "late or incomplete"},
    };
    const QRegularExpression summary(
        QStringLiteral("answers rejected: (\\d+) with a bad checksum, (\\d+) late or incomplete"));
    for (const Case& c : cases) {
        const LogRun run = LogFor(52, c.options, c.rate, "3");
        EXPECT_TRUE(run.records.isEmpty())
            << c.name << ": " << run.records.join('\n').toStdString();
        const QRegularExpressionMatch counts =
            summary.match(QString::fromStdString(run.stderrText));
        ASSERT_TRUE(counts.hasMatch()) << c.name << ": " << run.stderrText;
        const int checksum = counts.captured(1).toInt();
        const int late = counts.captured(2).toInt();
        EXPECT_GT(c.rejected.startsWith("with") ? checksum : late, 0) << c.name;
        EXPECT_EQ(c.rejected.startsWith("with") ? late : checksum, 0) << c.name;
    }
}

// Asked for more than the line carries, the logger says so once, with what it carries,
// and logs at that rate.
TEST(LoggerAnswers, ARateTheLineCannotCarryIsReportedOnce) {
    const LogRun run = LogFor(53, Adapter(0, 0, 19200), "500", "3");
    const QRegularExpression notice(QStringLiteral(
        "--rate 500 is more than the line carries; it carries about (\\d+) a second"));
    const QString errors = QString::fromStdString(run.stderrText);
    ASSERT_EQ(errors.count(notice), 1) << run.stderrText;
    const int carried = notice.match(errors).captured(1).toInt();
    EXPECT_GT(carried, 10);
    EXPECT_LE(carried, 92); // 19200 bit/s carry at most 91.4 exchanges of 21 bytes a second
    EXPECT_GT(run.records.size(), 0);
    EXPECT_EQ(errors.indexOf(QStringLiteral("rejected")), -1) << run.stderrText;
}

} // namespace
