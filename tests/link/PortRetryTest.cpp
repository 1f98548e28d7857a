// After the line hung up, the link tries the same port number once a second until the
// device is back, silently, unless the operator took the port over meanwhile.
#include "tests/link/LinkRig.h"

#include <gtest/gtest.h>

namespace {

// Runs the event loop until the condition holds; errors that reach the loop (the
// program's error report would show them) are collected.
bool WaitCollecting(std::vector<std::string>& errors, const std::function<bool()>& condition,
                    int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        try {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        } catch (const std::exception& e) {
            errors.emplace_back(e.what());
        }
    }
    return true;
}

struct RetryRig : LinkRig {
    RetryRig() {
        emulator = &StartEmulator(ConstantController(0.9, 0.9, 0.9, 0.9));
        view.PortLamp = true; // as the port window lights it
    }

    // Hangs the line up and waits until the port has closed itself.
    void HangUp() {
        emulator->SetFault(sim::Fault::HangUp, true);
        ASSERT_TRUE(WaitCollecting(errors, [&] { return !port.Active(); }));
    }

    void Idle(int ms) {
        WaitCollecting(
            errors, [] { return false; }, ms);
    }

    sim::ControllerEmulator* emulator;
    std::vector<std::string> errors;
};

} // namespace

TEST(PortRetry, TheSameNumberOpensAgainWhenTheDeviceIsBackAndFailedTriesSayNothing) {
    RetryRig rig;
    rig.HangUp();
    EXPECT_FALSE(rig.view.PortLamp);
    EXPECT_FALSE(rig.view.OnlineLamp);
    EXPECT_TRUE(rig.link->RetryingPort());
    rig.Idle(2500); // two or three tries find no device
    EXPECT_EQ(rig.errors.size(), 1u) << "only the disconnection is reported";
    EXPECT_FALSE(rig.port.Active());

    rig.emulator->SetFault(sim::Fault::HangUp, false);
    ASSERT_TRUE(WaitCollecting(rig.errors, [&] { return rig.port.Active(); }));
    EXPECT_TRUE(rig.view.PortLamp);
    EXPECT_FALSE(rig.link->RetryingPort());
    EXPECT_EQ(rig.port.PortNum(), LinkRig::Port);
    EXPECT_TRUE(rig.TickAndWaitForAnswer());
    EXPECT_EQ(rig.errors.size(), 1u);
}

TEST(PortRetry, APortRenumberedMeanwhileEndsTheRetries) {
    RetryRig rig;
    rig.HangUp();
    rig.port.SetPortNum(LinkRig::Port + 1);
    rig.Idle(1500);
    EXPECT_FALSE(rig.link->RetryingPort());
    rig.emulator->SetFault(sim::Fault::HangUp, false);
    rig.Idle(1500);
    EXPECT_FALSE(rig.port.Active());
}

TEST(PortRetry, AFrameThatArrivedBeforeTheHangUpIsNotShownAfterIt) {
    RetryRig rig;
    ASSERT_TRUE(rig.TickAndWaitForAnswer()); // arrived, not yet decoded
    rig.HangUp();
    rig.emulator->SetLambda(1, 1.2);
    rig.emulator->SetFault(sim::Fault::HangUp, false);
    ASSERT_TRUE(WaitCollecting(rig.errors, [&] { return rig.port.Active(); }));
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    EXPECT_EQ(rig.view.Meter[0], -92.9f) << "the old frame was shown";
    rig.link->Timer2Timer(nullptr);
    EXPECT_EQ(rig.view.Meter[0], 1.2f);
}
