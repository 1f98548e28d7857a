// uego-log's exchanges against a controller whose answers come as a USB adapter delivers
// them (held to its latency timer's ticks, in pieces), late, or wrong: every whole answer is
// recorded, and nothing else is.
#include "tests/logger/LoggerController.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFiles.h"
#include "tools/ControllerEmulator.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
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
    int status = 0;
    std::vector<sim::ControllerEmulator::LiveAnswer> answers; // what the controller made
};

// uego-log in the precise format against the controller, for `seconds`, with more options.
LogRun LogFor(int port, const sim::EmulatorOptions& options, const std::string& rate,
              const std::string& seconds, const std::vector<std::string>& more = {},
              sim::LambdaPattern pattern = sim::LambdaPattern::Constant) {
    auto controller = StartController(port, options);
    controller->SetPattern(pattern);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    std::vector<std::string> args{
        "--port", std::to_string(port), "--rate",  rate,    "--duration",
        seconds,  "--format",           "precise", "--out", path.toStdString()};
    args.insert(args.end(), more.begin(), more.end());
    ChildProcess log(BuildProgramPath("uego-log"), args);
    LogRun run;
    run.status = log.End();
    run.stderrText = log.stderrText;
    run.requests = controller->LiveRequestCount();
    run.answers = controller->LiveAnswers();
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
    // The emulator shares the machine with the test: an answer timeout well above the
    // adapter's own delays keeps a busy machine from making an answer late.
    for (const Case& c : cases) {
        const LogRun run = LogFor(51, c.options, "10", "5", {"--answer-timeout", "200"});
        EXPECT_EQ(run.status, 0) << c.name << ": " << run.stderrText;
        ASSERT_GT(run.requests, 0u) << c.name;
        // The last request may go out as the run ends, its answer not yet in.
        EXPECT_GE(run.records.size() + 1, run.requests) << c.name << ": " << run.stderrText;
        EXPECT_LE(std::size_t(run.records.size()), run.requests) << c.name;
        for (const QString& record : run.records)
            ASSERT_TRUE(GoodRecord.match(record).hasMatch())
                << c.name << ": " << record.toStdString();
        EXPECT_EQ(run.stderrText.find("rejected"), std::string::npos)
            << c.name << ": " << run.stderrText;
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
        EXPECT_EQ(run.status, 1) << c.name << ": no record, a failed run: " << run.stderrText;
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
    EXPECT_EQ(run.status, 0) << run.stderrText;
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

// At a rate the logger keeps up with, the line's limit is never mentioned: not from one
// slow exchange, nor from a figure that swings with each.
TEST(LoggerAnswers, NoRateWarningWhileTheLoggerKeepsUp) {
    for (const char* rate : {"10", "50", "70"}) {
        const LogRun run = LogFor(54, Adapter(0, 0, 19200), rate, "4");
        EXPECT_EQ(run.status, 0) << rate << ": " << run.stderrText;
        EXPECT_EQ(run.stderrText.find("more than the line carries"), std::string::npos)
            << "--rate " << rate << ": " << run.stderrText;
        EXPECT_GT(run.records.size(), 0) << rate;
    }
}

// At the line's limit the next request goes out as soon as the answer is whole, not when
// the answer timeout has run out: on a line of 19200 bit/s an exchange takes 11 ms.
TEST(LoggerAnswers, AtTheLinesLimitAnExchangeLastsAsLongAsItsBytes) {
    const LogRun run = LogFor(55, Adapter(0, 0, 19200), "max", "3", {"--answer-timeout", "200"});
    EXPECT_EQ(run.status, 0) << run.stderrText;
    ASSERT_GT(run.records.size(), 20) << run.stderrText;
    std::vector<qint64> gaps;
    QDateTime previous;
    for (const QString& record : run.records) {
        const QDateTime stamp = QDateTime::fromString(record.section(',', 0, 0), Qt::ISODateWithMs);
        ASSERT_TRUE(stamp.isValid()) << record.toStdString();
        if (previous.isValid())
            gaps.push_back(previous.msecsTo(stamp));
        previous = stamp;
    }
    std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
    const qint64 median = gaps[gaps.size() / 2];
    std::printf("--rate max on a paced 19200 bit/s line: %lld records in 3 s, median gap %lld ms\n",
                (long long)run.records.size(), (long long)median);
    EXPECT_LT(median, 100) << "each exchange waited for the answer timeout (200 ms)";
}

// The four lambda values of a live frame, in thousandths, as the precise format writes them.
QString FrameValues(const std::vector<std::uint8_t>& frame) {
    QStringList values;
    for (int channel = 0; channel < 4; ++channel)
        values << QString::number((frame[3 + 2 * channel] << 8 | frame[4 + 2 * channel]) / 1000.0,
                                  'f', 3);
    return values.join(',');
}

// A controller whose answers all come M ms late, its values sweeping so that each answer
// is told from the others. A record must carry the values made for its own request: the
// last request the controller heard before the record was stamped (the record is stamped
// after its answer came and before the next request goes out; the line's pace keeps the
// two apart by more than a byte's time). Answers later than the answer timeout are given
// up; while they come, nothing is asked.
TEST(LoggerAnswers, ALateAnswerIsNeverTakenForALaterRequest) {
    struct Case {
        std::string rate;
        std::vector<std::string> options;
        int lateMs;
        bool recordsExpected; // the answers begin within the answer timeout
    };
    std::vector<Case> cases;
    for (int late : {60, 100, 150, 250, 300}) {
        cases.push_back({"10", {}, late, false});
        cases.push_back({"max", {"--answer-timeout", "20"}, late, false});
    }
    cases.push_back({"2", {"--answer-timeout", "400"}, 250, true});
    cases.push_back({"max", {"--answer-timeout", "400"}, 250, true});
    // Steady-clock times of the controller against the wall-clock stamps of the records.
    const auto wallMinusSteady = std::chrono::system_clock::now().time_since_epoch() -
                                 std::chrono::steady_clock::now().time_since_epoch();
    for (const Case& c : cases) {
        sim::EmulatorOptions options = Adapter(0, Late, 19200);
        options.lateMs = c.lateMs;
        const std::string name = "--rate " + c.rate + " late " + std::to_string(c.lateMs) + " ms" +
                                 (c.options.empty() ? "" : " " + c.options[1]);
        const LogRun run = LogFor(56, options, c.rate, "3", c.options, sim::LambdaPattern::Sweep);
        int wrong = 0;
        for (const QString& record : run.records) {
            const QDateTime stamp =
                QDateTime::fromString(record.section(',', 0, 0), Qt::ISODateWithMs);
            ASSERT_TRUE(stamp.isValid()) << record.toStdString();
            const std::chrono::steady_clock::time_point stamped(
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::milliseconds(stamp.toMSecsSinceEpoch()) - wallMinusSteady));
            const auto own = std::find_if(run.answers.rbegin(), run.answers.rend(),
                                          [&](const auto& a) { return a.heard < stamped; });
            const QString values = record.section(',', 2, 5);
            if (own == run.answers.rend() || FrameValues(own->frame) != values) {
                ++wrong;
                ADD_FAILURE() << name << ": " << record.toStdString() << " is not the answer to "
                              << (own == run.answers.rend()
                                      ? std::string("any request")
                                      : FrameValues(own->frame).toStdString());
            }
        }
        const QRegularExpression rejected(QStringLiteral("(\\d+) late or incomplete"));
        const QRegularExpressionMatch late = rejected.match(QString::fromStdString(run.stderrText));
        std::printf("%-36s %3lld requests, %3lld records, %3s late or incomplete, %d taken for a "
                    "later request\n",
                    name.c_str(), (long long)run.requests, (long long)run.records.size(),
                    late.hasMatch() ? late.captured(1).toStdString().c_str() : "0", wrong);
        EXPECT_GT(run.requests, 1u) << name;
        if (c.recordsExpected) {
            EXPECT_GT(run.records.size(), 0) << name << ": " << run.stderrText;
        } else {
            EXPECT_TRUE(late.hasMatch()) << name << ": " << run.stderrText;
        }
    }
}

} // namespace
