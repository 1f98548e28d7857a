// uego-log beside what a machine does to it while it runs: its log rotated with
// copytruncate, and its controller going away and coming back, with the port number
// opened through an alias.
#include "chart/LogReader.h"
#include "core/LogText.h"
#include "serial/ComPortPaths.h"
#include "tests/logger/LoggerController.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFiles.h"
#include "tests/support/StandInLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

struct LoggerRun : ChildProcess {
    explicit LoggerRun(const std::vector<std::string>& args)
        : ChildProcess(BuildProgramPath("uego-log"), args) {}
};

int WholeLines(const QString& path) {
    return int(FileBytes(path).count("\r\n"));
}

// Reads the program's output while waiting, so that it never blocks on a full pipe; true
// once the condition holds, false when it did not within the time.
bool WaitWhileReading(LoggerRun& run, const std::function<bool()>& condition,
                      std::chrono::milliseconds within = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        run.ReadUntil([] { return false; }, 20ms);
    }
    return true;
}

} // namespace

// logrotate's copytruncate copies the log and cuts it to nothing while uego-log writes on:
// the file carries on from its start, header first, and the chart, following it, reads it
// again from there.
TEST(LoggerRotation, ALogCutToNothingBeginsAgainAndTheChartFollowsIt) {
    for (const char* format : {"window", "precise"}) {
        SCOPED_TRACE(format);
        const int headerLines = std::string(format) == "window" ? 2 : 1;
        auto controller = StartController(36);
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        LoggerRun run({"--port", "36", "--rate", "20", "--format", format, "--out",
                       path.toStdString(), "--quiet"});
        ASSERT_TRUE(WaitWhileReading(run, [&] { return WholeLines(path) > headerLines + 10; }))
            << run.stderrText;
        TLogFollower follower;
        follower.Open(path);
        ASSERT_EQ(follower.Parser().State(), TLogParser::TState::Log);
        ASSERT_GT(follower.Parser().Series().Size(), 0u);

        ASSERT_TRUE(QFile::copy(path, dir.filePath("run.csv.1")));
        ASSERT_EQ(::truncate(path.toLocal8Bit().constData(), 0), 0);
        ASSERT_TRUE(WaitWhileReading(run, [&] { return WholeLines(path) > headerLines + 5; }))
            << run.stderrText;
        EXPECT_TRUE(follower.Poll());
        EXPECT_EQ(follower.Generation(), 2) << "read again from the start";
        EXPECT_EQ(run.End(SIGTERM), 0) << run.stderrText;

        const QByteArray bytes = FileBytes(path);
        EXPECT_EQ(bytes.count('\0'), 0) << "the file starts with NUL bytes";
        const QStringList lines = FileLines(path);
        ASSERT_GT(lines.size(), headerLines);
        if (headerLines == 2) {
            EXPECT_TRUE(lines[0].startsWith(QStringLiteral("VORLANX Log V1.0  ")))
                << lines[0].toStdString();
            EXPECT_EQ(lines[1], QString::fromLatin1(LogColumnLine));
        } else {
            EXPECT_EQ(lines[0], QString::fromLatin1(PreciseHeaderLine));
        }
        follower.Poll();
        const TLogParser& parser = follower.Parser();
        EXPECT_EQ(parser.State(), TLogParser::TState::Log);
        EXPECT_EQ(parser.Malformed(), 0u);
        ASSERT_EQ(parser.Series().Size(), std::size_t(lines.size() - headerLines));
        // The window format keeps three significant digits, the precise one three decimals.
        const std::array<float, 4> expected = headerLines == 2
                                                  ? std::array{0.988f, 1.020f, 0.850f, 1.000f}
                                                  : std::array{0.988f, 1.023f, 0.850f, 1.000f};
        for (std::size_t record = 0; record < parser.Series().Size(); ++record)
            for (int channel = 0; channel < 4; ++channel)
                ASSERT_NEAR(parser.Series().Value(channel, record), expected[channel], 1e-6)
                    << record;
    }
}

namespace {
// The device files the program holds open.
std::vector<std::string> OpenDevices(pid_t pid) {
    std::vector<std::string> devices;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System)) {
        const QString target = QFileInfo(fds.filePath(fd)).symLinkTarget();
        if (target.startsWith(QStringLiteral("/dev/")))
            devices.push_back(target.toStdString());
    }
    return devices;
}

bool HoldsANumberedDevice(pid_t pid) {
    for (const std::string& device : OpenDevices(pid))
        if (IsNumberedDevice(device))
            return true;
    return false;
}
} // namespace

// The controller offered as COM1 stops while uego-log logs: its alias goes, or is left
// pointing at its vanished terminal. COM1's numbered device (/dev/ttyS0) is never opened
// instead; logging resumes on the controller when it is back.
TEST(LoggerRotation, TheLoggerRetriesTheAliasAloneUntilTheControllerIsBack) {
    if (!std::filesystem::exists("/dev/ttyS0"))
        std::printf("note: no /dev/ttyS0 here, so no numbered device could be taken instead\n");
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "alias left dangling" : "alias removed");
        auto controller = StartController(1);
        const std::string first = controller->SlavePath();
        const HeldNumber held(first); // its number stays taken once it is gone
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        LoggerRun run(
            {"--port", "1", "--rate", "20", "--format", "precise", "--out", path.toStdString()});
        ASSERT_TRUE(WaitWhileReading(run, [&] { return WholeLines(path) > 5; })) << run.stderrText;
        const std::vector<std::string> devices = OpenDevices(run.Pid());
        EXPECT_NE(std::find(devices.begin(), devices.end(), first), devices.end());

        controller.reset();
        ASSERT_TRUE(WaitWhileReading(run, [&] {
            return run.stderrText.find("the line is gone") != std::string::npos;
        })) << run.stderrText;
        if (dangling) {
            ASSERT_EQ(::symlink(first.c_str(), va::PortAliasPath(1).c_str()), 0);
        }
        // Three tries, once a second: none may open anything.
        bool numbered = false;
        EXPECT_FALSE(WaitWhileReading(
            run,
            [&] {
                numbered = numbered || HoldsANumberedDevice(run.Pid());
                return numbered || run.stderrText.find("is back") != std::string::npos;
            },
            3500ms))
            << run.stderrText;
        EXPECT_FALSE(numbered) << "a numbered device was opened";

        controller = StartController(1);
        ASSERT_TRUE(WaitWhileReading(run, [&] {
            return run.stderrText.find("uego-log: COM1 is back; logging resumes\n") !=
                   std::string::npos;
        })) << run.stderrText;
        const int back = WholeLines(path);
        ASSERT_TRUE(WaitWhileReading(run, [&] { return WholeLines(path) > back + 5; }));
        const std::vector<std::string> now = OpenDevices(run.Pid());
        EXPECT_NE(std::find(now.begin(), now.end(), controller->SlavePath()), now.end());
        EXPECT_FALSE(HoldsANumberedDevice(run.Pid()));
        EXPECT_EQ(run.End(SIGTERM), 0) << run.stderrText;
    }
}
