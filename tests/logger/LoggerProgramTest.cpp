// uego-log run as a user runs it, against the controller emulator on a pseudo-terminal:
// its rate and stamps, no phantom records, whole lines to the end, the line going and
// coming back, and refused options.
#include "logger/LogOptions.h"
#include "logger/UegoLog.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFiles.h"
#include "tools/ControllerEmulator.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct LoggerRun : ChildProcess {
    explicit LoggerRun(const std::vector<std::string>& args)
        : ChildProcess(BuildProgramPath("uego-log"), args) {}
};

// A warm controller with fixed values, offered as COM<port>.
std::unique_ptr<sim::ControllerEmulator> StartController(int port,
                                                         sim::EmulatorOptions options = {}) {
    options.port = port;
    options.warmupSeconds = 0;
    options.pattern = sim::LambdaPattern::Constant;
    options.lambda = {0.98765, 1.0234, 0.85, 1.0};
    options.supplyRaw = 200;
    auto controller = std::make_unique<sim::ControllerEmulator>(options);
    controller->Start();
    return controller;
}

bool Eventually(const std::function<bool()>& condition, std::chrono::seconds timeout = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Lines of a file that may still be growing, counting only whole ones.
int WholeLines(const QString& path) {
    const QByteArray bytes = FileBytes(path);
    return int(bytes.count("\r\n"));
}

const QRegularExpression PreciseRecord(
    QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}(Z|[+-]\\d\\d:\\d\\d),"
                   "\\d+\\.\\d{3}(,\\d+\\.\\d{3}){4},\\d+\\.\\d\\d,[01]$"));

std::string Text(const QString& s) {
    return s.toStdString();
}

TEST(LoggerProgram, FiftyHertzForFiveSecondsGivesRecordsTwentyMillisecondsApart) {
    auto controller = StartController(31);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    LoggerRun run({"--port", "31", "--rate", "50", "--duration", "5", "--format", "precise",
                   "--out", Text(path), "--quiet"});
    ASSERT_EQ(run.End(), 0) << run.stderrText;
    EXPECT_EQ(run.stderrText, "");

    const QStringList lines = FileLines(path);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], QString::fromLatin1(PreciseHeaderLine));
    const QStringList records = lines.mid(1);
    std::vector<qint64> gaps;
    QDateTime first, previous;
    for (const QString& record : records) {
        ASSERT_TRUE(PreciseRecord.match(record).hasMatch()) << Text(record);
        EXPECT_TRUE(record.endsWith(QStringLiteral(",0.988,1.023,0.850,1.000,12.55,0")))
            << Text(record);
        const QDateTime stamp = QDateTime::fromString(record.section(',', 0, 0), Qt::ISODateWithMs);
        ASSERT_TRUE(stamp.isValid()) << Text(record);
        if (previous.isValid())
            gaps.push_back(previous.msecsTo(stamp));
        else
            first = stamp;
        previous = stamp;
    }
    ASSERT_GE(gaps.size(), 100u);
    // Requests go out on fixed 20 ms slots from the start. The stamps span the run's 250
    // slots and sit one slot apart in the middle of their spread, and no slot gives two
    // records. A busy machine may make the program miss single slots; that is timing, not
    // design, so the count of records is held to most of the slots, not to all.
    const qint64 slotCount = std::llround(first.msecsTo(previous) / 20.0) + 1;
    EXPECT_NEAR(slotCount, 250, 10);
    EXPECT_LE(records.size(), slotCount + 1);
    EXPECT_GE(records.size(), slotCount * 3 / 4);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    EXPECT_NEAR(gaps[gaps.size() / 2], 20, 1);
    if (records.size() < 240)
        std::printf("note: %lld slots, %lld records: the machine held the program up\n",
                    (long long)slotCount, (long long)records.size());
}

struct Quiet {
    const char* name;
    sim::EmulatorOptions controller;
    int status; // forced status byte; -1: the controller's own
    const char* format;
    int headerLines;
};

sim::EmulatorOptions WithFault(sim::Fault fault) {
    sim::EmulatorOptions options;
    options.faults = unsigned(fault);
    return options;
}

TEST(LoggerProgram, NoValidAnswerNoRecord) {
    std::vector<Quiet> cases{
        {"silent", WithFault(sim::Fault::Silent), -1, "design", 2},
        {"silent", WithFault(sim::Fault::Silent), -1, "precise", 1},
        {"corrupt checksums", WithFault(sim::Fault::CorruptChecksum), -1, "precise", 1},
        {"warming up", {}, 1, "design", 2},
    };
    for (const Quiet& c : cases) {
        auto controller = StartController(32, c.controller);
        controller->SetStatus(c.status);
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        LoggerRun run({"--port", "32", "--rate", "50", "--duration", "1.5", "--format", c.format,
                       "--out", Text(path), "--quiet"});
        EXPECT_EQ(run.End(), 0) << c.name << ": " << run.stderrText;
        EXPECT_GT(controller->LiveRequestCount(), 20u) << c.name << ": the logger did not poll";
        EXPECT_EQ(FileLines(path).size(), c.headerLines) << c.name << " gave records";
    }
}

// SIGTERM while records pour out as fast as the line goes; whatever moment it lands, the
// output ends on a whole record.
TEST(LoggerProgram, TerminatedRunEndsOnAWholeLine) {
    auto controller = StartController(33);
    for (int trial = 0; trial < 3; ++trial) {
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        LoggerRun toFile({"--port", "33", "--rate", "max", "--format", "precise", "--out",
                          Text(path), "--quiet"});
        ASSERT_TRUE(Eventually([&] { return WholeLines(path) > 200; })) << toFile.stderrText;
        EXPECT_EQ(toFile.End(SIGTERM), 0) << toFile.stderrText;
        const QStringList lines = FileLines(path);
        for (const QString& record : lines.mid(1))
            ASSERT_TRUE(PreciseRecord.match(record).hasMatch()) << Text(record);

        LoggerRun toPipe({"--port", "33", "--rate", "max", "--format", "precise", "--quiet"});
        ASSERT_TRUE(toPipe.ReadUntil([&] {
            return std::count(toPipe.stdoutText.begin(), toPipe.stdoutText.end(), '\n') > 200;
        })) << toPipe.stderrText;
        EXPECT_EQ(toPipe.End(SIGTERM), 0) << toPipe.stderrText;
        ASSERT_TRUE(toPipe.stdoutText.ends_with("\r\n"));
        const QStringList piped = QString::fromLatin1(toPipe.stdoutText).trimmed().split("\r\n");
        for (const QString& record : piped.mid(1))
            ASSERT_TRUE(PreciseRecord.match(record).hasMatch()) << Text(record);
    }
}

// Keeps a terminal open, and so its number taken: once the line is down, no other program on
// the machine can be handed the number that the port's alias still names.
struct HeldTerminal {
    explicit HeldTerminal(const std::string& path)
        : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~HeldTerminal() {
        if (fd >= 0)
            ::close(fd);
    }
    const int fd;
};

TEST(LoggerProgram, LoggingResumesWhenTheLineComesBack) {
    auto controller = StartController(34);
    const HeldTerminal held(controller->SlavePath());
    ASSERT_GE(held.fd, 0);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    LoggerRun run({"--port", "34", "--rate", "20", "--format", "precise", "--out", Text(path)});
    ASSERT_TRUE(Eventually([&] { return WholeLines(path) > 5; })) << run.stderrText;

    controller->SetFault(sim::Fault::HangUp, true);
    ASSERT_TRUE(run.WaitFor("line is gone", run.stderrText)) << run.stderrText;
    const int whileGone = WholeLines(path);
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(WholeLines(path), whileGone) << "records while the line was gone";

    controller->SetFault(sim::Fault::HangUp, false);
    ASSERT_TRUE(run.WaitFor("is back", run.stderrText)) << run.stderrText;
    EXPECT_TRUE(Eventually([&] { return WholeLines(path) > whileGone + 5; }));
    EXPECT_EQ(run.End(SIGTERM), 0) << run.stderrText;

    std::size_t reports = 0;
    for (std::size_t at = 0; (at = run.stderrText.find("line is gone", at)) != std::string::npos;
         ++at)
        ++reports;
    EXPECT_EQ(reports, 1u) << run.stderrText;
    for (const QString& record : FileLines(path).mid(1))
        EXPECT_TRUE(PreciseRecord.match(record).hasMatch()) << Text(record);
}

TEST(LoggerProgram, BadOptionsGiveOneLineAndTheUsageWithStatusTwo) {
    const std::vector<std::vector<std::string>> cases{
        {"--port", "0"},    {"--port", "COM3"},  {"--port"},          {"--rate", "0"},
        {"--rate", "fast"}, {"--format", "csv"}, {"--duration", "0"}, {"--quiet=yes"},
        {"--bogus"},        {"run.csv"},         {"--out="},
    };
    for (const auto& args : cases) {
        LoggerRun run(args);
        EXPECT_EQ(run.End(), 2) << args[0];
        EXPECT_EQ(run.stdoutText, "") << args[0];
        const std::size_t lineEnd = run.stderrText.find('\n');
        ASSERT_NE(lineEnd, std::string::npos) << args[0];
        const std::string first = run.stderrText.substr(0, lineEnd);
        EXPECT_TRUE(first.starts_with("uego-log: ")) << first;
        EXPECT_NE(first.find(args[0].substr(0, args[0].find('='))), std::string::npos) << first;
        EXPECT_EQ(run.stderrText.substr(lineEnd + 1), LogUsageText) << args[0];
    }
}

TEST(LoggerProgram, HelpListsEveryOptionAndVersionAnswers) {
    LoggerRun help({"--help"});
    EXPECT_EQ(help.End(), 0);
    EXPECT_EQ(help.stdoutText, LogUsageText);
    for (const char* option : {"--port", "--rate", "max", "--out", "--format", "design", "precise",
                               "--duration", "--quiet", "--help", "--version"})
        EXPECT_NE(help.stdoutText.find(option), std::string::npos) << option;
    LoggerRun version({"--version"});
    EXPECT_EQ(version.End(), 0);
    EXPECT_EQ(version.stdoutText, LogVersionText);
}

TEST(LoggerProgram, PortOrOutputThatCannotBeOpenedEndsWithStatusOne) {
    auto controller = StartController(35);
    struct Case {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"--port", "250"}, "COM250: Specified device not found"},
        {{"--port", "35", "--out", "/nonexistent-folder/run.csv"},
         "/nonexistent-folder/run.csv: File not found"},
        {{"--port", "35", "--out", "/dev/full"}, "/dev/full: Not a regular file"},
    };
    for (const Case& c : cases) {
        LoggerRun run(c.args);
        EXPECT_EQ(run.End(), 1) << c.said;
        EXPECT_NE(run.stderrText.find(std::string("uego-log: ") + c.said), std::string::npos)
            << run.stderrText;
    }
}

// The disk fills in the middle of a record: the run ends with status 1 and the file ends on
// the last whole record.
TEST(LoggerProgram, FullDiskEndsTheRunOnAWholeLine) {
    auto controller = StartController(36);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    std::signal(SIGXFSZ, SIG_IGN); // inherited: the write fails instead of killing the program
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 500;
    setrlimit(RLIMIT_FSIZE, &limited);
    LoggerRun run({"--port", "36", "--rate", "max", "--out", Text(path)});
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(run.End(), 1);
    EXPECT_NE(run.stderrText.find("run.csv: I/O error 27 (File too large)"), std::string::npos)
        << run.stderrText;
    const QStringList lines = FileLines(path);
    ASSERT_GT(lines.size(), 2);
    EXPECT_LT(QFileInfo(path).size(), 500);
    for (const QString& record : lines.mid(2))
        EXPECT_TRUE(record.endsWith(QStringLiteral(", 0.988, 1.020, 0.850, 1.000")))
            << Text(record);
}

} // namespace
