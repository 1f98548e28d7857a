// uego-log run as a user runs it, against the controller emulator on a pseudo-terminal:
// its rate and stamps, no phantom records, whole lines to the end, the line going and
// coming back, and refused options.
#include "chart/LogReader.h"
#include "logger/LogOptions.h"
#include "logger/UegoLog.h"
#include "serial/ComPortPaths.h"
#include "tests/logger/LoggerController.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/LogFiles.h"
#include "tools/ControllerEmulator.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

struct LoggerRun : ChildProcess {
    explicit LoggerRun(const std::vector<std::string>& args)
        : ChildProcess(BuildProgramPath("uego-log"), args) {}
};

// A shell line with the built program as "$0".
struct ShellRun : ChildProcess {
    explicit ShellRun(const std::string& line)
        : ChildProcess("/bin/bash", {"-c", line, BuildProgramPath("uego-log")}) {}
};

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

TEST(LoggerProgram, FiftyHertzGivesRecordsTwentyMillisecondsApart) {
    auto controller = StartController(31);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    LoggerRun run(
        {"--port", "31", "--rate", "50", "--format", "precise", "--out", Text(path), "--quiet"});
    ASSERT_TRUE(Eventually([&] { return WholeLines(path) > 250; })) << run.stderrText;
    ASSERT_EQ(run.End(SIGTERM), 0) << run.stderrText;
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
    ASSERT_GE(records.size(), 250);
    // Requests go out on fixed 20 ms slots from the start. The stamps sit one slot apart in
    // the middle of their spread, and no slot gives two records. A busy machine may make
    // the program miss single slots, so the count of records is held to most of the slots
    // their stamps span, not to all.
    const qint64 slotCount = std::llround(first.msecsTo(previous) / 20.0) + 1;
    EXPECT_LE(records.size(), slotCount + 1);
    EXPECT_GE(records.size(), slotCount * 3 / 4);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    EXPECT_NEAR(gaps[gaps.size() / 2], 20, 1);
    if (records.size() < slotCount * 95 / 100)
        std::printf("note: %lld slots, %lld records: the machine held the program up\n",
                    (long long)slotCount, (long long)records.size());
}

struct Quiet {
    const char* name;
    sim::EmulatorOptions controller;
    int status; // forced status byte; -1: the controller's own
    const char* format;
    int headerLines;
    const char* reason; // why the run failed, at the end of standard error
};

sim::EmulatorOptions WithFault(sim::Fault fault) {
    sim::EmulatorOptions options;
    options.faults = unsigned(fault);
    return options;
}

TEST(LoggerProgram, NoValidAnswerNoRecord) {
    std::vector<Quiet> cases{
        {"silent", WithFault(sim::Fault::Silent), -1, "window", 2, "no answer came\n"},
        {"silent", WithFault(sim::Fault::Silent), -1, "precise", 1, "no answer came\n"},
        {"corrupt checksums", WithFault(sim::Fault::CorruptChecksum), -1, "precise", 1,
         "no valid answer came ("},
        {"warming up", {}, 1, "window", 2, "the controller was in sensor warm-up all along\n"},
    };
    for (const Quiet& c : cases) {
        auto controller = StartController(32, c.controller);
        controller->SetStatus(c.status);
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        LoggerRun run({"--port", "32", "--rate", "50", "--duration", "1.5", "--format", c.format,
                       "--out", Text(path), "--quiet"});
        EXPECT_EQ(run.End(), 1) << c.name << ": " << run.stderrText;
        EXPECT_TRUE(run.stderrText.starts_with("uego-log: COM32: no record written: " +
                                               std::string(c.reason)))
            << c.name << ": " << run.stderrText;
        // After an answer given up, the next request waits for a quiet line.
        EXPECT_GE(controller->LiveRequestCount(), 2u) << c.name << ": the logger did not poll";
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

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at)
        ++count;
    return count;
}

const std::string LineGone =
    "uego-log: COM34: the line is gone (adapter unplugged?); retrying once a second\n";

// An unplug is said once, also with --quiet, which leaves nothing else on standard error.
TEST(LoggerProgram, LoggingResumesWhenTheLineComesBack) {
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "--quiet" : "with notices");
        auto controller = StartController(34);
        const HeldTerminal held(controller->SlavePath());
        ASSERT_GE(held.fd, 0);
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        std::vector<std::string> args{"--port",   "34",      "--rate", "20",
                                      "--format", "precise", "--out",  Text(path)};
        if (quiet)
            args.push_back("--quiet");
        LoggerRun run(args);
        ASSERT_TRUE(Eventually([&] { return WholeLines(path) > 5; })) << run.stderrText;

        controller->SetFault(sim::Fault::HangUp, true);
        ASSERT_TRUE(run.WaitFor("line is gone", run.stderrText)) << run.stderrText;
        const int whileGone = WholeLines(path);
        std::this_thread::sleep_for(1500ms);
        EXPECT_EQ(WholeLines(path), whileGone) << "records while the line was gone";

        controller->SetFault(sim::Fault::HangUp, false);
        ASSERT_TRUE(Eventually([&] { return WholeLines(path) > whileGone + 5; }));
        EXPECT_EQ(run.End(SIGTERM), 0) << run.stderrText;

        if (quiet) {
            EXPECT_EQ(run.stderrText, LineGone);
        } else {
            EXPECT_EQ(Occurrences(run.stderrText, LineGone), 1u) << run.stderrText;
            EXPECT_EQ(Occurrences(run.stderrText, "Device disconnected"), 0u) << run.stderrText;
            EXPECT_EQ(Occurrences(run.stderrText, "uego-log: COM34 is back; logging resumes\n"), 1u)
                << run.stderrText;
        }
        for (const QString& record : FileLines(path).mid(1))
            EXPECT_TRUE(PreciseRecord.match(record).hasMatch()) << Text(record);
    }
}

TEST(LoggerProgram, BadOptionsGiveOneLineAndThePointerToTheHelpWithStatusTwo) {
    const std::vector<std::vector<std::string>> cases{
        {"--port", "0"},    {"--port", "COM3"},  {"--port"},          {"--rate", "0"},
        {"--rate", "fast"}, {"--format", "csv"}, {"--duration", "0"}, {"--quiet=yes"},
        {"--bogus"},        {"run.csv"},         {"--out="},          {"--format", "design"},
        {"--append"},       {"--force"},
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
        EXPECT_EQ(run.stderrText.substr(lineEnd + 1), "Try 'uego-log --help'.\n") << args[0];
    }
}

TEST(LoggerProgram, HelpListsEveryOptionAndVersionAnswers) {
    LoggerRun help({"--help"});
    EXPECT_EQ(help.End(), 0);
    EXPECT_EQ(help.stdoutText, LogUsageText);
    for (const char* option :
         {"--port", "--wait-for-port", "--rate", "max", "--out", "/dev/null", "--append", "--force",
          "--format", "window", "precise", "sheet", "--duration", "--quiet", "--help", "--version",
          "3 an output fault, which a restart cannot mend"})
        EXPECT_NE(help.stdoutText.find(option), std::string::npos) << option;
    EXPECT_EQ(help.stdoutText.find("design"), std::string::npos);
    LoggerRun version({"--version"});
    EXPECT_EQ(version.End(), 0);
    EXPECT_EQ(version.stdoutText, LogVersionText);
}

// A missing port may come back, so a restart may help: status 1. An output that cannot be
// written stays so: status 3, which tells a service not to restart. An output that is no
// file at all is a bad argument: status 2.
TEST(LoggerProgram, PortOrOutputThatCannotBeOpenedEndsWithItsStatus) {
    auto controller = StartController(35);
    QTemporaryDir dir;
    const std::string fifo = Text(dir.filePath("fifo"));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> args;
        std::string said;
        int status;
    } cases[] = {
        {{"--port", "250"}, "COM250: Specified device not found", 1},
        {{"--port", "35", "--out", "/nonexistent-folder/run.csv"},
         "/nonexistent-folder/run.csv: File not found",
         3},
        {{"--port", "35", "--out", "/dev/full"}, "/dev/full: Not a regular file\n", 2},
        {{"--port", "35", "--out", fifo}, fifo + ": Not a regular file\n", 2},
        {{"--port", "35", "--out", Text(dir.path())},
         Text(dir.path()) + ": Not a regular file\n",
         2},
    };
    for (const Case& c : cases) {
        LoggerRun run(c.args);
        EXPECT_EQ(run.End(), c.status) << c.said;
        EXPECT_NE(run.stderrText.find(std::string("uego-log: ") + c.said), std::string::npos)
            << run.stderrText;
    }
}

// Under German regional settings the system's error text in an English message is English
// too. Checked against a program that does translate it, with the locale the build made.
TEST(LoggerProgram, SystemErrorTextsAreEnglish) {
    const std::string locales = UEGO_TEST_LOCALES;
    if (locales.empty() || !QDir(QString::fromStdString(locales)).exists("de_DE.UTF-8"))
        GTEST_SKIP() << "no de_DE.UTF-8 locale was built";
    auto controller = StartController(41);
    const std::string german = "LOCPATH='" + locales + "' LC_ALL=de_DE.UTF-8 ";
    ChildProcess control("/bin/sh", {"-c", german + "exec ls /nonexistent-folder"});
    control.End();
    if (control.stderrText.find("Datei oder Verzeichnis nicht gefunden") == std::string::npos)
        GTEST_SKIP() << "the system's German error texts are not installed: " << control.stderrText;
    ShellRun run(german + "\"$0\" --port 41 --quiet --out /nonexistent-folder/run.csv");
    EXPECT_EQ(run.End(), 3);
    EXPECT_EQ(run.stderrText, "uego-log: /nonexistent-folder/run.csv: File not found (No such "
                              "file or directory)\n");
}

// On a terminal, the status line shows no value before the first valid answer, and how long
// there has been none. Standard error is the terminal that script(1) gives the program.
TEST(LoggerProgram, StatusLineShowsNoValueBeforeAValidAnswer) {
    const QString script = QStandardPaths::findExecutable("script");
    if (script.isEmpty())
        GTEST_SKIP() << "script(1) is not installed";
    struct Case {
        sim::EmulatorOptions controller;
        QString shows;    // a status line that must appear
        bool lambdaShown; // any status line with values
    } cases[] = {
        {WithFault(sim::Fault::CorruptChecksum),
         "\\r0 records  0\\.0/s  silent 2\\.\\d s  rejected \\d+\\x1b\\[K", false},
        {WithFault(sim::Fault::Silent), "\\r0 records  0\\.0/s  silent 2\\.\\d s\\x1b\\[K", false},
        {{},
         "\\r\\d+ records  \\d+\\.\\d/s  lambda 0\\.988 1\\.023 0\\.850 1\\.000  12\\.55 V  "
         "silent 0\\.\\d s\\x1b\\[K",
         true},
    };
    for (const Case& c : cases) {
        auto controller = StartController(58, c.controller);
        ChildProcess run(
            Text(script),
            {"-qfec", BuildProgramPath("uego-log") + " --port 58 --out /dev/null", "/dev/null"});
        const QRegularExpression shows(c.shows);
        ASSERT_TRUE(run.ReadUntil([&] {
            return shows.match(QString::fromStdString(run.stdoutText)).hasMatch();
        })) << run.stdoutText;
        EXPECT_EQ(run.stdoutText.find("lambda") != std::string::npos, c.lambdaShown)
            << run.stdoutText;
        run.End(SIGTERM);
    }
}

// A run that got one answer says "1 record".
TEST(LoggerProgram, OneRecordIsOneRecord) {
    auto controller = StartController(47);
    LoggerRun run({"--port", "47", "--rate", "0.5", "--duration", "1", "--out", "/dev/null"});
    EXPECT_EQ(run.End(), 0) << run.stderrText;
    EXPECT_TRUE(run.stderrText.ends_with("uego-log: 1 record in 1.0 s\n")) << run.stderrText;
}

// A controller that falls silent: one line after 3 s without a valid answer (also with
// --quiet), one when answers return; nothing from a silent controller is counted as an
// answer rejected.
TEST(LoggerProgram, ASilentControllerIsReportedAndSoIsItsReturn) {
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "--quiet" : "with notices");
        auto controller = StartController(48, WithFault(sim::Fault::Silent));
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        std::vector<std::string> args{"--port",   "48",      "--rate", "20",
                                      "--format", "precise", "--out",  Text(path)};
        if (quiet)
            args.push_back("--quiet");
        const auto start = std::chrono::steady_clock::now();
        LoggerRun run(args);
        const std::string silent = "uego-log: COM48: no valid answer for 3 s (no answer at all)\n";
        ASSERT_TRUE(run.WaitFor(silent, run.stderrText)) << run.stderrText;
        EXPECT_GE(std::chrono::steady_clock::now() - start, 3s);
        controller->SetFault(sim::Fault::Silent, false);
        ASSERT_TRUE(run.WaitFor("uego-log: COM48: valid answers again after ", run.stderrText))
            << run.stderrText;
        ASSERT_TRUE(Eventually([&] { return WholeLines(path) > 5; })) << run.stderrText;
        EXPECT_EQ(run.End(SIGTERM), 0) << run.stderrText;
        EXPECT_EQ(Occurrences(run.stderrText, silent), 1u) << run.stderrText;
        EXPECT_EQ(Occurrences(run.stderrText, "valid answers again"), 1u) << run.stderrText;
        EXPECT_EQ(run.stderrText.find("rejected"), std::string::npos) << run.stderrText;
        if (quiet) {
            EXPECT_TRUE(QRegularExpression(
                            QStringLiteral(
                                "^uego-log: COM48: no valid answer for 3 s \\(no answer at all\\)\n"
                                "uego-log: COM48: valid answers again after \\d+\\.\\d s\n$"))
                            .match(QString::fromStdString(run.stderrText))
                            .hasMatch())
                << run.stderrText;
        }
    }
}

// A run against a controller that never gives a valid answer ends with status 1 and says
// why; the summary counts no answer as rejected when none came. Answers that came wrong
// are counted in the 3 s line.
TEST(LoggerProgram, ARunWithoutARecordFailsWithItsReason) {
    struct Case {
        sim::Fault fault;
        std::vector<std::string> more;
        QString said; // standard error, as a pattern
    } cases[] = {
        {sim::Fault::Silent,
         {},
         "^uego-log: logging COM49 \\(.*\\) at 10 Hz to /dev/null\n"
         "uego-log: COM49: no valid answer for 3 s \\(no answer at all\\)\n"
         "uego-log: 0 records in 4\\.0 s\n"
         "uego-log: COM49: no record written: no answer came\n$"},
        {sim::Fault::Silent,
         {"--quiet"},
         "^uego-log: COM49: no valid answer for 3 s \\(no answer at all\\)\n"
         "uego-log: COM49: no record written: no answer came\n$"},
        {sim::Fault::CorruptChecksum,
         {"--quiet"},
         "^uego-log: COM49: no valid answer for 3 s \\([1-9]\\d* rejected\\)\n"
         "uego-log: COM49: no record written: no valid answer came \\([1-9]\\d* rejected\\)\n$"},
    };
    for (const Case& c : cases) {
        auto controller = StartController(49, WithFault(c.fault));
        std::vector<std::string> args{"--port", "49", "--duration", "4", "--out", "/dev/null"};
        args.insert(args.end(), c.more.begin(), c.more.end());
        LoggerRun run(args);
        EXPECT_EQ(run.End(), 1) << run.stderrText;
        EXPECT_TRUE(
            QRegularExpression(c.said).match(QString::fromStdString(run.stderrText)).hasMatch())
            << run.stderrText;
    }
}

// The disk fills in the middle of a record: the run ends with status 3 and the file ends on
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
    EXPECT_EQ(run.End(), 3);
    EXPECT_NE(run.stderrText.find("run.csv: I/O error 27 (File too large)"), std::string::npos)
        << run.stderrText;
    const QStringList lines = FileLines(path);
    ASSERT_GT(lines.size(), 2);
    EXPECT_LT(QFileInfo(path).size(), 500);
    for (const QString& record : lines.mid(2))
        EXPECT_TRUE(record.endsWith(QStringLiteral(", 0.988, 1.020, 0.850, 1.000")))
            << Text(record);
}

// A reader that stops early ends the logger as it ends any filter: through SIGPIPE (status
// 141 in the shell), without a word.
TEST(LoggerProgram, ReaderThatWentAwayEndsTheRunQuietly) {
    auto controller = StartController(39);
    for (const char* format : {"window", "precise"}) {
        ShellRun run(std::string("\"$0\" --port 39 --rate 50 --quiet --format ") + format +
                     " | head -3; echo \"status ${PIPESTATUS[0]}\"");
        EXPECT_EQ(run.End(), 0) << run.stderrText;
        EXPECT_EQ(run.stderrText, "") << format;
        EXPECT_EQ(std::count(run.stdoutText.begin(), run.stdoutText.end(), '\n'), 4)
            << run.stdoutText;
        EXPECT_TRUE(run.stdoutText.ends_with("\nstatus 141\n")) << run.stdoutText;
    }
}

// Standard output on a full disk: an output fault, status 3.
TEST(LoggerProgram, FullStandardOutputEndsWithStatusThree) {
    auto controller = StartController(40);
    ShellRun run("\"$0\" --port 40 --quiet > /dev/full");
    EXPECT_EQ(run.End(), 3);
    EXPECT_EQ(run.stderrText, "uego-log: standard output: Disk full (No space left on device)\n");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

const QByteArray PreciseStart = "time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\r\n"
                                "2025-12-09T12:00:00.000+01:00,0.000,1.000,1.000,1.000,1.000,"
                                "12.55,0\r\n";

// What becomes of a file that is there already: refused unless --force replaces it or
// --append continues it. Each case starts from the file's bytes (none: no file) and
// says how the file must begin after the run and what the run said.
TEST(LoggerProgram, ExistingOutputIsRefusedReplacedOrContinued) {
    auto controller = StartController(42);
    struct Case {
        const char* name;
        std::optional<QByteArray> before;
        std::vector<std::string> options;
        int status;
        QByteArray startsWith; // the file afterwards
        int headerLines;       // header rows it must hold, counted from its start
        std::string said;
    } cases[] = {
        {"refused",
         QByteArray("keep me\r\n"),
         {},
         2,
         "keep me\r\n",
         0,
         "run.csv exists; --append continues it, --force replaces it\n"},
        {"refused though empty", QByteArray(), {}, 2, "", 0, "exists;"},
        {"replaced",
         QByteArray("keep me\r\n"),
         {"--force"},
         0,
         "time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\r\n",
         1,
         ""},
        {"continued", PreciseStart, {"--append"}, 0, PreciseStart, 1, ""},
        {"continued after a cut line",
         QByteArray("time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,"
                    "warmup\r\n2025-12-09T12:00"),
         {"--append"},
         0,
         "time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\r\n2025-12-09T12:00\r\n",
         2,
         ""},
        {"continued when empty",
         QByteArray(),
         {"--append"},
         0,
         "time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\r\n",
         1,
         ""},
        {"started when missing",
         std::nullopt,
         {"--append"},
         0,
         "time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\r\n",
         1,
         ""},
        {"another format not continued",
         QByteArray("VORLANX Log V1.0  12/09/25\r\n"),
         {"--append"},
         2,
         "VORLANX Log V1.0  12/09/25\r\n",
         0,
         "run.csv: not a log of the precise format; not continued\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("run.csv");
        if (c.before)
            WriteFile(path, *c.before);
        std::vector<std::string> args{"--port",     "42",    "--rate",   "50",
                                      "--duration", "0.5",   "--format", "precise",
                                      "--quiet",    "--out", Text(path)};
        args.insert(args.end(), c.options.begin(), c.options.end());
        LoggerRun run(args);
        EXPECT_EQ(run.End(), c.status) << run.stderrText;
        EXPECT_TRUE(run.stderrText.ends_with(c.said) ||
                    (!c.said.empty() && run.stderrText.find(c.said) != std::string::npos))
            << run.stderrText;
        const QByteArray after = FileBytes(path);
        EXPECT_TRUE(after.startsWith(c.startsWith)) << after.left(200).toStdString();
        if (c.status != 0) {
            EXPECT_EQ(after, c.startsWith);
            continue;
        }
        EXPECT_EQ(run.stderrText, "");
        const QStringList lines = FileLines(path);
        ASSERT_GT(lines.size(), c.headerLines);
        EXPECT_EQ(lines.count(QString::fromLatin1(PreciseHeaderLine)), 1);
        for (const QString& record : lines.mid(c.headerLines))
            EXPECT_TRUE(PreciseRecord.match(record).hasMatch()) << Text(record);
    }
}

// Two runs into one window-format file read as one log, as the chart reads it: one header,
// every later line a record.
TEST(LoggerProgram, AppendedWindowLogReadsAsOneLog) {
    auto controller = StartController(43);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    for (int run = 0; run < 2; ++run) {
        LoggerRun logger({"--port", "43", "--rate", "50", "--duration", "0.5", "--quiet", "--out",
                          Text(path), "--append"});
        ASSERT_EQ(logger.End(), 0) << logger.stderrText;
    }
    const QByteArray bytes = FileBytes(path);
    TLogParser chart;
    chart.Feed(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    EXPECT_EQ(chart.State(), TLogParser::TState::Log);
    EXPECT_EQ(chart.Malformed(), 0u);
    EXPECT_FALSE(chart.LinePending());
    EXPECT_EQ(bytes.count("VORLANX Log V1.0"), 1);
    EXPECT_EQ(qsizetype(chart.Series().Size()), bytes.count("\r\n") - 2);
}

TEST(LoggerProgram, NullDeviceIsADryRun) {
    auto controller = StartController(44);
    LoggerRun run({"--port", "44", "--rate", "50", "--duration", "0.5", "--out", "/dev/null"});
    EXPECT_EQ(run.End(), 0) << run.stderrText;
    EXPECT_NE(run.stderrText.find(" to /dev/null\n"), std::string::npos) << run.stderrText;
    EXPECT_EQ(run.stderrText.find("Not a regular file"), std::string::npos) << run.stderrText;
}

// Holds a terminal as a program that has it open exclusively does.
struct ExclusiveTerminal {
    explicit ExclusiveTerminal(const std::string& path)
        : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd >= 0)
            held = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::ioctl(fd, TIOCEXCL) == 0;
    }
    ~ExclusiveTerminal() {
        if (fd >= 0) {
            ::ioctl(fd, TIOCNXCL);
            ::close(fd);
        }
    }
    const int fd;
    bool held = false;
};

// --wait-for-port waits for a device that is not there, and for no other failure: a port
// that is there but held by another program ends the run at once with status 1, which a
// service restarts.
TEST(LoggerProgram, WaitForPortEndsAtOnceOnAPortThatIsThereButCannotBeOpened) {
    auto controller = StartController(50);
    ExclusiveTerminal other(controller->SlavePath());
    ASSERT_TRUE(other.held);
    LoggerRun run({"--port", "50", "--wait-for-port", "--out", "/dev/null"});
    run.ReadUntil([] { return false; }); // until it ends by itself, or a wait shows
    EXPECT_EQ(run.End(SIGTERM), 1) << run.stderrText;
    EXPECT_TRUE(run.stderrText.starts_with("uego-log: COM50: Can't open specified device "))
        << run.stderrText;
    EXPECT_EQ(run.stderrText.find("waiting"), std::string::npos) << run.stderrText;
}

// An alias that points nowhere (its adapter unplugged) is a port not there yet.
TEST(LoggerProgram, WaitForPortWaitsOnADanglingAlias) {
    const QString alias = QString::fromStdString(va::PortAliasPath(57));
    QDir().mkpath(QFileInfo(alias).path());
    ASSERT_TRUE(QFile::link("/dev/pts/no-such-terminal", alias));
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    LoggerRun run({"--port", "57", "--wait-for-port", "--format", "precise", "--rate", "50",
                   "--out", Text(path)});
    ASSERT_TRUE(run.WaitFor("; waiting for it to appear\n", run.stderrText)) << run.stderrText;
    auto controller = StartController(57); // takes the dangling alias over
    ASSERT_TRUE(Eventually([&] { return WholeLines(path) > 5; })) << run.stderrText;
    EXPECT_EQ(run.End(SIGTERM), 0) << run.stderrText;
}

// The service starts before its adapter is there: one line while it waits, then records.
TEST(LoggerProgram, WaitsForThePortThenLogs) {
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    LoggerRun run({"--port", "45", "--wait-for-port", "--format", "precise", "--rate", "50",
                   "--out", Text(path)});
    ASSERT_TRUE(run.WaitFor("; waiting for it to appear\n", run.stderrText)) << run.stderrText;
    EXPECT_FALSE(QFileInfo::exists(path)) << "an output before the port";
    auto controller = StartController(45);
    ASSERT_TRUE(Eventually([&] { return WholeLines(path) > 5; })) << run.stderrText;
    EXPECT_EQ(run.End(SIGTERM), 0) << run.stderrText;
    EXPECT_TRUE(run.stderrText.starts_with("uego-log: COM45: Specified device not found ("))
        << run.stderrText;
    EXPECT_EQ(Occurrences(run.stderrText, "waiting"), 1u) << run.stderrText;
    EXPECT_EQ(Occurrences(run.stderrText, "uego-log: logging COM45 "), 1u) << run.stderrText;
}

// The file reaches the disk while records arrive, but not record by record: a flush is
// counted with the tracer of system calls, when the machine has one.
TEST(LoggerProgram, FileIsFlushedToDiskOnceASecondNotPerRecord) {
    const QString strace = QStandardPaths::findExecutable("strace");
    if (strace.isEmpty())
        GTEST_SKIP() << "strace is not installed";
    auto controller = StartController(46);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    const QString trace = dir.filePath("trace");
    ChildProcess run(Text(strace), {"-f", "-e", "trace=fdatasync,fsync", "-o", Text(trace),
                                    BuildProgramPath("uego-log"), "--port", "46", "--rate", "50",
                                    "--duration", "3", "--quiet", "--out", Text(path)});
    ASSERT_EQ(run.End(), 0) << run.stderrText;
    const int records = WholeLines(path) - 2;
    const QByteArray calls = FileBytes(trace);
    const qsizetype syncs = calls.count("fdatasync(");
    EXPECT_GE(records, 40) << "too few records to tell";
    EXPECT_EQ(calls.count("fsync("), 0) << calls.toStdString();
    EXPECT_GE(syncs, 2) << calls.toStdString(); // while logging, and at the end
    EXPECT_LE(syncs, records / 10) << calls.toStdString();
}

} // namespace
