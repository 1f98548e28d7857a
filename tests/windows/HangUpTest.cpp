// The controller's line hangs up while the main window polls and logs: the main thread
// never stalls, one box names the device, both lamps go out and the port is closed; when
// the controller is back under the same number, polling and logging resume by themselves.
#include "tests/windows/WindowsRig.h"

#include "serial/ComPortPaths.h"
#include "tests/support/LogFiles.h"
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The log's time stamps tell the phases apart: before the hang-up, while the port is
// closed, and after the controller came back.
enum Phase { Before = 10, Closed = 11, After = 12 };

TDateTime PhaseTime(Phase phase) {
    return TDateTime(46000 + int(phase) / 24.0);
}

int RecordsOf(const QStringList& lines, Phase phase) {
    const QString stamp = FormatLocaleTime(PhaseTime(phase)) + QStringLiteral(", ");
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const QString& line) { return line.startsWith(stamp); }));
}

// The largest gap between two ticks of the main window's live timer.
struct TickGaps {
    explicit TickGaps(QTimer* timer) {
        clock.start();
        QObject::connect(timer, &QTimer::timeout, [this] {
            if (ticks++ > 0)
                largestMs = std::max(largestMs, clock.restart());
            else
                clock.restart();
        });
    }
    QElapsedTimer clock;
    int ticks = 0;
    qint64 largestMs = 0;
};

void HangUpWhilePollingAndLogging(int silentMs) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConstantController(0.9, 1.1, 1.0, 0.95));
    Phase phase = Before;
    Form1->Link().Now = [&] { return PhaseTime(phase); };
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WindowsRig::MetersShow({0.9f, 1.1f, 1.0f, 0.95f}));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    Form1->Link().LogStart(path);
    ASSERT_TRUE(WaitUntil([&] { return FileLines(path).size() >= 5; }));

    BoxWatcher boxes(300);
    TickGaps gaps(Form1->Timer2);
    const QByteArray loggedBefore = FileBytes(path);
    emulator.SetFault(sim::Fault::HangUp, true);
    ASSERT_TRUE(WaitUntil([] { return !Form1->VaComm1->Active(); }));
    phase = Closed;
    EXPECT_TRUE(WaitUntil([] { return !Form1->Online_LED1->Checked(); }));
    EXPECT_FALSE(ComPortForm->ComPortLED->Checked());
    EXPECT_FALSE(Form1->VaComm1->WriteChar(0xC0));
    EXPECT_TRUE(Form1->Link().State.LogActive) << "the log stays open";
    WaitUntil([] { return false; }, silentMs);
    EXPECT_FALSE(Form1->VaComm1->Active());

    phase = After;
    QElapsedTimer back;
    back.start();
    emulator.SetFault(sim::Fault::HangUp, false);
    const int recordsBack = RecordsOf(FileLines(path), After);
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Form1->Online_LED1->Checked() && RecordsOf(FileLines(path), After) > recordsBack;
        },
        10000));
    const qint64 resumedMs = back.elapsed();
    EXPECT_TRUE(Form1->VaComm1->Active());
    EXPECT_TRUE(ComPortForm->ComPortLED->Checked());
    WaitUntil([] { return false; }, 500);
    Form1->Link().LogStop();

    std::printf("hang-up of %d ms: largest gap between live ticks %lld ms over %d ticks; polling "
                "and logging resumed %lld ms after the controller came back\n",
                silentMs, static_cast<long long>(gaps.largestMs), gaps.ticks,
                static_cast<long long>(resumedMs));
    // Generous for a loaded machine, yet below the one-second stall of a tick that waits
    // for room in a dead line's queue.
    EXPECT_LT(gaps.largestMs, 900) << "a tick was held up";
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text,
              QStringLiteral("Device disconnected (%1).")
                  .arg(QString::fromStdString(va::PortAliasPath(WindowsRig::Port))));
    const QByteArray logged = FileBytes(path);
    EXPECT_TRUE(logged.startsWith(loggedBefore)) << "records written before the hang-up were lost";
    const QStringList lines = FileLines(path);
    EXPECT_EQ(RecordsOf(lines, Closed), 0) << "records from the silent time";
    EXPECT_GE(RecordsOf(lines, After), 3);
    EXPECT_EQ(RecordsOf(lines, Before) + RecordsOf(lines, After), lines.size() - 2);
}

} // namespace

TEST(HangUp, PollingAndLoggingSurviveAShortHangUp) {
    HangUpWhilePollingAndLogging(3000);
}

// Past the 51 s after which the queue of a port left open on a dead line would be full.
TEST(HangUp, PollingAndLoggingSurviveSixtyFiveSecondsHungUp) {
    if (qEnvironmentVariable("UEGO_STRESS") != "1")
        GTEST_SKIP() << "set UEGO_STRESS=1 to run (scripts/test --stress)";
    HangUpWhilePollingAndLogging(65000);
}

TEST(HangUp, OpeningAPortInThePortWindowEndsTheRetries) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConstantController(1, 1, 1, 1));
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WaitUntil([] { return Form1->Online_LED1->Checked(); }));
    BoxWatcher boxes(20);
    emulator.SetFault(sim::Fault::HangUp, true);
    ASSERT_TRUE(WaitUntil([&] { return boxes.closed == 1 && Form1->Link().RetryingPort(); }));

    WindowsRig::OpenPortThroughWindow(201); // no device: its own box, then no more retries
    ASSERT_TRUE(WaitUntil([&] { return boxes.closed == 2; }));
    emulator.SetFault(sim::Fault::HangUp, false);
    WaitUntil([] { return false; }, 2500);
    EXPECT_FALSE(Form1->Link().RetryingPort());
    EXPECT_FALSE(Form1->VaComm1->Active()) << "the retry took the port back from the operator";
    EXPECT_EQ(boxes.seen.size(), 2u);
}
