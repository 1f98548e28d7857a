// The data log fed by the live tick: header, one record per valid frame, stop, failures.
#include "tests/link/LinkRig.h"

#include "tests/support/LogFiles.h"
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {
struct LogRig : LinkRig {
    LogRig() {
        link->Now = [] { return TDateTime(46000.5); };
        path = dir.filePath("run.csv");
    }
    // One tick that shows (and logs) the answer to the previous one.
    void ShowingTick() {
        ASSERT_TRUE(WaitUntil([&] { return link->State.RxIndex >= 18; }));
        link->Timer2Timer(nullptr);
    }
    QTemporaryDir dir;
    QString path;
};
} // namespace

TEST(Log, HoldsTwoHeaderLinesAndOneRecordPerValidFrame) {
    LogRig rig;
    sim::ControllerEmulator& emulator =
        rig.StartEmulator(ConstantController(0.98765, 1.0234, 0.85, 1.0));
    rig.link->LogStart(rig.path);
    EXPECT_TRUE(rig.link->State.LogActive);
    EXPECT_TRUE(rig.controls.DiskLED->Checked());
    EXPECT_FALSE(rig.controls.LogStartButton->isEnabled());
    EXPECT_TRUE(rig.controls.LogStopButton->isEnabled());
    EXPECT_EQ(rig.controls.StaticText2->text(), rig.path);

    rig.link->Timer2Timer(nullptr);
    rig.ShowingTick(); // record 1
    rig.ShowingTick(); // record 2
    emulator.SetStatus(1);
    LinkRig::Settle(120);
    rig.ShowingTick(); // warm-up frame in flight: may be the last good one
    rig.ShowingTick(); // warm-up: no record
    emulator.SetStatus(0);
    emulator.SetFault(sim::Fault::CorruptChecksum, true);
    LinkRig::Settle(120);
    rig.ShowingTick();
    rig.ShowingTick(); // corrupt: no record
    emulator.SetFault(sim::Fault::CorruptChecksum, false);
    LinkRig::Settle(120);
    emulator.SetFault(sim::Fault::Silent, true);
    rig.ShowingTick();
    for (int i = 0; i < 5; ++i) {
        LinkRig::Settle(20);
        rig.link->Timer2Timer(nullptr); // silent: no record
    }
    rig.link->LogStop();

    const QStringList lines = FileLines(rig.path);
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines[0], LogHeaderLine(46000.5));
    EXPECT_EQ(lines[1], QStringLiteral("Time, CH1, CH2, CH3, CH4"));
    const QString record =
        FormatLocaleTime(46000.5) + QStringLiteral(", 0.988, 1.020, 0.850, 1.000");
    for (int i = 2; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], record);
    // Two records for certain, plus at most one for each frame that was already on its way
    // when the emulator switched (warm-up, corrupt, silent).
    EXPECT_LE(lines.size(), 2 + 2 + 3);
    EXPECT_FALSE(rig.controls.DiskLED->Checked());
    EXPECT_TRUE(rig.controls.LogStartButton->isEnabled());
    EXPECT_FALSE(rig.controls.LogStopButton->isEnabled());
    EXPECT_EQ(rig.controls.StaticText2->text(), rig.path) << "keeps the last file name";
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
    LinkRig::Settle(120); // the answer to the last request is in
    emulator.SetFault(sim::Fault::Silent, true);
    rig.ShowingTick(); // shows and logs it
    ++valid;
    for (int i = 0; i < 12; ++i) {
        LinkRig::Settle(10);
        rig.link->Timer2Timer(nullptr);
    }
    rig.link->LogStop();
    EXPECT_EQ(FileLines(rig.path).size(), 2 + valid)
        << "a silent controller's last frame is not logged again";
}

TEST(Log, FileThatCannotBeCreatedLeavesLoggingOff) {
    LogRig rig;
    const QString bad = rig.dir.filePath("missing/run.csv");
    EXPECT_THROW(rig.link->LogStart(bad), EInOutError);
    EXPECT_FALSE(rig.link->State.LogActive);
    EXPECT_FALSE(rig.controls.DiskLED->Checked());
    EXPECT_TRUE(rig.controls.LogStartButton->isEnabled());
    EXPECT_EQ(rig.link->LogFileName, bad);
}

TEST(Log, FailedRecordIsReportedOnceAndStopsTheLog) {
    LogRig rig;
    rig.StartEmulator(ConstantController(1, 1, 1, 1));
    rig.link->LogStart(rig.path);
    rig.link->Timer2Timer(nullptr);
    rig.ShowingTick();
    const qint64 size = QFileInfo(rig.path).size();

    // The file may not grow: the next record fails with "File too large".
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(size);
    setrlimit(RLIMIT_FSIZE, &limited);
    int failures = 0;
    for (int i = 0; i < 3; ++i) {
        try {
            rig.ShowingTick();
        } catch (const EInOutError& e) {
            ++failures;
            EXPECT_STREQ(e.what(), "I/O error 27");
        }
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(rig.link->State.LogActive);
    EXPECT_FALSE(rig.controls.DiskLED->Checked());
    EXPECT_TRUE(rig.controls.LogStartButton->isEnabled());
    EXPECT_FALSE(rig.controls.LogStopButton->isEnabled());
    EXPECT_EQ(FileLines(rig.path).size(), 3);
}

TEST(Log, ClosingAtTheEndClosesOnlyAnOpenLog) {
    LogRig rig;
    rig.link->LogCloseAtEnd(); // not logging: nothing to close, no error
    rig.link->LogStart(rig.path);
    rig.link->LogCloseAtEnd();
    EXPECT_TRUE(rig.link->State.LogActive) << "state is left as it is at program end";
    EXPECT_EQ(FileLines(rig.path).size(), 2);
}
