// The data log fed by the live tick: header, one record per valid frame, stop, failures.
#include "tests/link/LinkRig.h"

#include "tests/support/CLocale.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/GermanNumbers.h"
#include "tests/support/LogFiles.h"
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {
struct LogRig : LinkRig {
    LogRig() {
        link->Now = [] { return TDateTime(46000.5); };
        path = dir.filePath("run.csv");
    }
    // One tick that shows (and logs) the answer to the previous one.
    void ShowingTick() {
        ASSERT_TRUE(WaitUntil([&] { return link->State.RxIndex >= 18; }, 10000));
        link->Timer2Timer(nullptr);
    }
    CLocaleScope locale;
    QTemporaryDir dir;
    QString path;
};

// Opens the pipe for reading should the test still be running after a while: a writer
// blocked in opening it is let go, so a blocking open fails the test instead of hanging it.
class PipeRescuer {
public:
    explicit PipeRescuer(const QString& fifo)
        : FThread([this, path = fifo.toStdString()] {
              std::unique_lock lock(FMutex);
              if (!FStopped.wait_for(lock, std::chrono::seconds(10), [this] { return FStop; }))
                  FReader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
          }) {}
    ~PipeRescuer() {
        {
            const std::lock_guard lock(FMutex);
            FStop = true;
        }
        FStopped.notify_all();
        FThread.join();
        if (FReader >= 0)
            ::close(FReader);
    }
    PipeRescuer(const PipeRescuer&) = delete;
    PipeRescuer& operator=(const PipeRescuer&) = delete;

private:
    std::mutex FMutex;
    std::condition_variable FStopped;
    bool FStop = false;
    int FReader = -1;
    std::thread FThread;
};

} // namespace

namespace {
// A log started, one frame shown and logged, the log stopped: its lines.
QStringList LogOneShownFrame(LogRig& rig) {
    rig.link->LogStart(rig.path);
    rig.link->Timer2Timer(nullptr);
    rig.ShowingTick();
    rig.link->LogStop();
    return FileLines(rig.path);
}
} // namespace

TEST(Log, HoldsTwoHeaderLinesAndOneRecordPerValidFrame) {
    LogRig rig;
    sim::ControllerEmulator& emulator =
        rig.StartEmulator(ConstantController(0.98765, 1.0234, 0.85, 1.0));
    rig.link->LogStart(rig.path);
    EXPECT_TRUE(rig.link->State.LogActive);
    EXPECT_TRUE(rig.view.DiskLamp);
    EXPECT_FALSE(rig.view.LogStartEnabled);
    EXPECT_TRUE(rig.view.LogStopEnabled);
    EXPECT_EQ(rig.view.LogFileName, rig.path);

    rig.link->Timer2Timer(nullptr);
    rig.ShowingTick(); // record 1
    rig.ShowingTick(); // record 2
    emulator.SetStatus(1);
    ASSERT_TRUE(rig.WaitForAnswer());
    rig.ShowingTick(); // the frame that was on its way: may be the last good one
    rig.ShowingTick(); // warm-up: no record
    emulator.SetStatus(0);
    emulator.SetFault(sim::Fault::CorruptChecksum, true);
    ASSERT_TRUE(rig.WaitForAnswer());
    rig.ShowingTick();
    rig.ShowingTick(); // corrupt: no record
    emulator.SetFault(sim::Fault::CorruptChecksum, false);
    ASSERT_TRUE(rig.WaitForAnswer());
    emulator.SetFault(sim::Fault::Silent, true);
    rig.ShowingTick();
    for (int i = 0; i < 5; ++i)
        rig.link->Timer2Timer(nullptr); // silent: no record
    rig.link->LogStop();

    const QStringList lines = FileLines(rig.path);
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0], QStringLiteral("VORLANX Log V1.0  12/09/25"));
    EXPECT_EQ(lines[1], QStringLiteral("Time, CH1, CH2, CH3, CH4"));
    for (int i = 2; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], QStringLiteral("12:00:00, 0.988, 1.020, 0.850, 1.000"));
    // Two records for certain, plus at most one for each frame that was already on its way
    // when the emulator switched (warm-up, corrupt, silent).
    EXPECT_LE(lines.size(), 2 + 2 + 3);
    EXPECT_FALSE(rig.view.DiskLamp);
    EXPECT_TRUE(rig.view.LogStartEnabled);
    EXPECT_FALSE(rig.view.LogStopEnabled);
    EXPECT_EQ(rig.view.LogFileName, rig.path) << "keeps the last file name";
}

TEST(Log, RecordsUseTheLocalesDecimalSeparator) {
    LogRig rig;
    rig.StartEmulator(ConstantController(0.98765, 1.0234, 0.85, 1.0));
    QStringList lines;
    WithGermanNumbers([&] { lines = LogOneShownFrame(rig); });
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], QStringLiteral("12:00:00, 0,988, 1,020, 0,850, 1,000"));
}

// A header line that cannot be written is reported; logging is on all the same, with the
// file open, and the next valid frame is recorded.
TEST(Log, FailedHeaderLineLeavesTheLogOnWithItsFileOpen) {
    const QString header = QStringLiteral("VORLANX Log V1.0  12/09/25");
    const QString columns = QStringLiteral("Time, CH1, CH2, CH3, CH4");
    const QString record = QStringLiteral("12:00:00, 1.000, 1.000, 1.000, 1.000");
    // Room for nothing, or for the first line and part of the second: the header that could
    // not be written goes in whole ahead of the first record that can.
    const struct {
        int room;
        QStringList lines;
    } cases[] = {{0, {header, columns, record}}, {28 + 5, {header, columns, record}}};
    for (const auto& c : cases) {
        LogRig rig;
        rig.StartEmulator(ConstantController(1, 1, 1, 1));
        WithFileSizeLimit(c.room, [&] {
            try {
                rig.link->LogStart(rig.path);
                ADD_FAILURE() << "the header fits in " << c.room << " bytes";
            } catch (const EInOutError& e) {
                EXPECT_STREQ(e.what(), "I/O error 27");
            }
        });
        EXPECT_TRUE(rig.link->State.LogActive);
        EXPECT_TRUE(rig.view.DiskLamp);
        EXPECT_FALSE(rig.view.LogStartEnabled);
        EXPECT_TRUE(rig.view.LogStopEnabled);
        rig.link->Timer2Timer(nullptr);
        rig.ShowingTick();
        rig.link->LogStop();
        EXPECT_EQ(FileLines(rig.path).join('|').toStdString(), c.lines.join('|').toStdString())
            << "room " << c.room;
    }
}

// Each record holds the decoded lambdas themselves, rounded to three significant digits,
// whatever range the meters show; and the shown values are the same decoded lambdas.
TEST(Log, RecordsHoldTheDecodedLambdasWhateverTheMetersShow) {
    struct Case {
        std::array<double, 4> lambda;
        const char* record;
    };
    const Case cases[] = {
        {{1.235, 0.655, 12.345, 65.535}, "12:00:00, 1.240, 0.655, 12.300, 65.500"},
        {{0.001, 0.0, 9.999, 1.5}, "12:00:00, 0.001, 0.000, 10.000, 1.500"},
        // Exact ties go to the even neighbour.
        {{1.125, 10.25, 1.375, 10.75}, "12:00:00, 1.120, 10.200, 1.380, 10.800"},
    };
    for (const Case& c : cases) {
        LogRig rig;
        rig.StartEmulator(ConstantController(c.lambda[0], c.lambda[1], c.lambda[2], c.lambda[3]));
        const QStringList lines = LogOneShownFrame(rig);
        ASSERT_EQ(lines.size(), 3);
        EXPECT_EQ(lines[2], QString::fromLatin1(c.record));
        for (int n = 0; n < 4; ++n)
            EXPECT_EQ(rig.view.Meter[n], float(std::lround(c.lambda[n] * 1000) / 1000.0));
    }
}

TEST(Log, ExactRecordCountWithAFrameByFrameController) {
    LogRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConstantController(1.1, 1.2, 1.3, 1.4));
    rig.link->LogStart(rig.path);
    rig.link->Timer2Timer(nullptr);
    int valid = 0;
    for (int i = 0; i < 6; ++i) {
        rig.ShowingTick();
        ++valid;
    }
    ASSERT_TRUE(rig.WaitForAnswer()); // the answer to the last request is in
    emulator.SetFault(sim::Fault::Silent, true);
    rig.ShowingTick(); // shows and logs it
    ++valid;
    for (int i = 0; i < 12; ++i)
        rig.link->Timer2Timer(nullptr);
    rig.link->LogStop();
    EXPECT_EQ(FileLines(rig.path).size(), 2 + valid)
        << "a silent controller's last frame is not logged again";
}

TEST(Log, FileThatCannotBeCreatedLeavesLoggingOff) {
    LogRig rig;
    const QString bad = rig.dir.filePath("missing/run.csv");
    EXPECT_THROW(rig.link->LogStart(bad), EInOutError);
    EXPECT_FALSE(rig.link->State.LogActive);
    EXPECT_FALSE(rig.view.DiskLamp);
    EXPECT_TRUE(rig.view.LogStartEnabled);
    EXPECT_EQ(rig.link->LogFileName, bad);
}

TEST(Log, PathThatIsNotARegularFileIsRefusedAtOnce) {
    LogRig rig;
    const QString fifo = rig.dir.filePath("pipe.csv");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const PipeRescuer rescuer(fifo);
    for (const QString& path : {fifo, QStringLiteral("/dev/null"), rig.dir.path()}) {
        try {
            rig.link->LogStart(path); // a pipe without a reader must not block here
            ADD_FAILURE() << path.toStdString() << " was taken as a log file";
            rig.link->LogStop();
        } catch (const EInOutError& e) {
            EXPECT_STREQ(e.what(), "Not a regular file") << path.toStdString();
        }
        EXPECT_FALSE(rig.link->State.LogActive);
        EXPECT_FALSE(rig.view.DiskLamp);
        EXPECT_TRUE(rig.view.LogStartEnabled);
    }
}

// A record that cannot be written (a full disk) leaves the log on, and the next valid frame
// tries again. Only the first failure of a spell is reported; the first record written after
// it says so, with how many were lost. The file keeps only whole lines throughout.
TEST(Log, AFailedRecordIsReportedOncePerSpellWhileLoggingGoesOn) {
    // The record cannot be written at all, or only its first bytes fit.
    for (const int room : {0, 10}) {
        SCOPED_TRACE(room);
        LogRig rig;
        QStringList told;
        rig.link->OnLogWrittenAgain = [&](const QString& text) { told << text; };
        rig.StartEmulator(ConstantController(1, 1, 1, 1));
        rig.link->LogStart(rig.path);
        rig.link->Timer2Timer(nullptr);
        rig.ShowingTick();
        const struct {
            int failing;
            const char* told;
        } spells[] = {
            {3, "Records are written to %1 again; 3 records were not written."},
            {1, "Records are written to %1 again; 1 record was not written."},
        };
        for (const auto& spell : spells) {
            const QByteArray whole = FileBytes(rig.path);
            const qsizetype toldBefore = told.size();
            int failures = 0;
            WithFileSizeLimit(whole.size() + room, [&] {
                for (int i = 0; i < spell.failing; ++i) {
                    try {
                        rig.ShowingTick();
                    } catch (const EInOutError& e) {
                        ++failures;
                        EXPECT_STREQ(e.what(), "I/O error 27");
                    }
                }
            });
            EXPECT_EQ(failures, 1) << "one report a spell";
            EXPECT_TRUE(rig.link->State.LogActive);
            EXPECT_TRUE(rig.view.DiskLamp);
            EXPECT_FALSE(rig.view.LogStartEnabled);
            EXPECT_TRUE(rig.view.LogStopEnabled);
            EXPECT_EQ(FileBytes(rig.path).toStdString(), whole.toStdString())
                << "cut back to the last whole record";
            EXPECT_EQ(told.size(), toldBefore) << "said before a record was written";

            rig.ShowingTick(); // room again: written
            const QStringList lines = FileLines(rig.path);
            EXPECT_EQ(lines.size(), whole.count("\r\n") + 1);
            EXPECT_EQ(lines.back(), QStringLiteral("12:00:00, 1.000, 1.000, 1.000, 1.000"));
            ASSERT_EQ(told.size(), toldBefore + 1);
            EXPECT_EQ(told.back(), QString::fromLatin1(spell.told).arg(rig.path));
            rig.ShowingTick();
            EXPECT_EQ(told.size(), toldBefore + 1) << "said once";
        }
        rig.link->LogStop();
    }
}

// A header line that cannot be written leaves the log on with the file open; the file
// gets its header ahead of the first record that can be written.
TEST(Log, AHeaderThatCouldNotBeWrittenComesBeforeTheFirstRecord) {
    LogRig rig;
    rig.StartEmulator(ConstantController(1, 1, 1, 1));
    WithFileSizeLimit(10, [&] { EXPECT_THROW(rig.link->LogStart(rig.path), EInOutError); });
    EXPECT_TRUE(rig.link->State.LogActive);
    EXPECT_TRUE(rig.view.DiskLamp);
    EXPECT_FALSE(rig.view.LogStartEnabled);
    EXPECT_TRUE(rig.view.LogStopEnabled);
    EXPECT_EQ(OpenDescriptorsOf(rig.path), 1) << "the file stays open";
    EXPECT_EQ(FileBytes(rig.path).size(), 0);
    rig.link->Timer2Timer(nullptr);
    rig.ShowingTick();
    rig.link->LogStop();
    EXPECT_EQ(FileBytes(rig.path).toStdString(), "VORLANX Log V1.0  12/09/25\r\n"
                                                 "Time, CH1, CH2, CH3, CH4\r\n"
                                                 "12:00:00, 1.000, 1.000, 1.000, 1.000\r\n");
}

TEST(Log, ClosingAtTheEndClosesOnlyAnOpenLog) {
    LogRig rig;
    rig.link->LogCloseAtEnd(); // not logging: nothing to close, no error
    EXPECT_FALSE(QFileInfo::exists(rig.path)) << "no file is touched";
    rig.link->LogStart(rig.path);
    EXPECT_EQ(OpenDescriptorsOf(rig.path), 1);
    rig.link->LogCloseAtEnd();
    EXPECT_EQ(OpenDescriptorsOf(rig.path), 0) << "the file is closed";
    EXPECT_TRUE(rig.link->State.LogActive) << "state is left as it is at program end";
    EXPECT_EQ(FileLines(rig.path).size(), 2);
}
