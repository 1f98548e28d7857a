// After the line hung up, the link tries the same port number once a second until the
// device is back, silently, unless the operator took the port over meanwhile.
#include "tests/link/LinkRig.h"

#include "link/ControllerPort.h"
#include "serial/ComPortPaths.h"
#include "tests/support/StandInLine.h"
#include <unistd.h>

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

namespace {

// The main window's link on a port numbered 5, whose numbered device (/dev/ttyS4) is there to
// be taken: a stand-in pseudo-terminal answers for it.
struct StandInRig {
    static constexpr int Port = 5;

    StandInRig()
        : asked(std::make_shared<std::vector<std::string>>()),
          port(nullptr, std::make_unique<StandInLine>(asked, standIn.SlavePath())) {
        SetUpControllerPort(port);
        port.SetPortNum(Port);
        link = std::make_unique<TDeviceLink>(port, readClock);
        view.Bind(*link);
        port.OnRxChar = [this](QObject* sender, std::uint32_t count) {
            link->VaComm1RxChar(sender, count);
        };
        port.OnClose = [this](QObject* sender) { link->VaComm1Close(sender); };
        port.OnHangUp = [this](QObject* sender) { link->VaComm1HangUp(sender); };
    }
    ~StandInRig() {
        port.OnRxChar = nullptr;
        port.OnClose = nullptr;
        port.OnHangUp = nullptr;
        port.Close();
    }
    std::unique_ptr<sim::ControllerEmulator> StartEmulator() {
        sim::EmulatorOptions options = ConstantController(0.9, 0.9, 0.9, 0.9);
        options.port = Port;
        auto emulator = std::make_unique<sim::ControllerEmulator>(options);
        emulator->Start();
        return emulator;
    }
    bool TickAndWaitForAnswer() {
        link->Timer2Timer(nullptr);
        return WaitCollecting(
            errors, [&] { return link->State.LiveArrived && link->State.RxIndex >= 18; }, 10000);
    }

    StandInTerminal standIn;
    std::shared_ptr<std::vector<std::string>> asked;
    QTimer readClock;
    TestLinkView view;
    TVaComm port;
    std::unique_ptr<TDeviceLink> link;
    std::vector<std::string> errors;
};

} // namespace

// The emulator stops while the link polls: its alias goes (or is left pointing at the
// terminal that went with it). The retries ask for that alias alone until the emulator is
// back, and polling resumes on it.
TEST(PortRetry, AfterTheEmulatorStopsOnlyItsAliasIsTriedUntilItIsBack) {
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "alias left dangling" : "alias removed");
        StandInRig rig;
        const std::string alias = va::PortAliasPath(StandInRig::Port);
        auto emulator = rig.StartEmulator();
        const HeldNumber held(emulator->SlavePath()); // its number stays taken once it is gone
        rig.port.Open();
        ASSERT_TRUE(rig.TickAndWaitForAnswer());
        const std::string gone = emulator->SlavePath();
        emulator.reset();
        ASSERT_TRUE(WaitCollecting(rig.errors, [&] { return !rig.port.Active(); }));
        ASSERT_TRUE(rig.link->RetryingPort());
        if (dangling) {
            ASSERT_EQ(::symlink(gone.c_str(), alias.c_str()), 0);
        }
        const std::size_t asked = rig.asked->size();
        ASSERT_TRUE(WaitCollecting(rig.errors, [&] { return rig.asked->size() >= asked + 2; }));
        EXPECT_FALSE(rig.port.Active()) << "opened " << rig.asked->back();
        EXPECT_TRUE(rig.link->RetryingPort());
        EXPECT_FALSE(rig.view.PortLamp);

        emulator = rig.StartEmulator();
        ASSERT_TRUE(WaitCollecting(rig.errors, [&] { return rig.port.Active(); }));
        EXPECT_TRUE(rig.view.PortLamp);
        EXPECT_FALSE(rig.link->RetryingPort());
        EXPECT_TRUE(rig.TickAndWaitForAnswer());
        EXPECT_TRUE(rig.TickAndWaitForAnswer());
        EXPECT_EQ(rig.view.Meter[0], 0.9f) << "polling is back on the emulator";
        for (const std::string& path : *rig.asked)
            EXPECT_EQ(path, alias) << "another device was opened";
        EXPECT_EQ(rig.errors.size(), 1u) << "only the disconnection is reported";
    }
}
