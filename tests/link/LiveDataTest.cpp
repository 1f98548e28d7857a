// The live tick against the controller emulator: requests, decoding, lamps, silence.
#include "link/Frames.h"
#include "tests/link/LinkRig.h"
#include "tests/support/CommError.h"
#include "tests/support/FarEnd.h"

#include <gtest/gtest.h>

namespace {
const std::vector<std::uint8_t> LiveDataRequest{0xC0, 0x04, 0x26, 0x15};
} // namespace

TEST(LiveData, EveryTickSendsTheLiveDataRequest) {
    LinkRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConstantController(1, 1, 1, 1));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(rig.TickAndWaitForAnswer());
    ASSERT_TRUE(WaitUntil([&] { return emulator.LiveRequestCount() == 3; }));
    for (const auto& request : emulator.Requests())
        EXPECT_EQ(request, LiveDataRequest);
}

TEST(LiveData, ValuesReachMetersReadoutsAndSupply) {
    LinkRig rig;
    rig.StartEmulator(ConstantController(0.982, 1.0, 1.35, 65.535, 200));
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    EXPECT_FLOAT_EQ(rig.view.Meter[0], -92.9f) << "shown one tick later";
    rig.link->Timer2Timer(nullptr);

    const float expected[4] = {0.982f, 1.0f, 1.35f, 65.535f};
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(rig.view.Meter[n], expected[n]) << "channel " << n + 1;
        EXPECT_EQ(rig.view.ValueInd[n], rig.view.Meter[n]);
    }
    EXPECT_NEAR(rig.view.Volts, 12.549, 0.001);
    EXPECT_TRUE(rig.view.OnlineLamp);
    EXPECT_FALSE(rig.view.WarmUpLamp);
    EXPECT_TRUE(rig.view.ConfigEnabled);
}

TEST(LiveData, WarmUpShowsOneOnEveryChannelAndLightsTheLamp) {
    LinkRig rig;
    sim::ControllerEmulator& emulator =
        rig.StartEmulator(ConstantController(0.9, 0.9, 0.9, 0.9, 255));
    emulator.SetStatus(1);
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    rig.link->Timer2Timer(nullptr);
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(rig.view.Meter[n], 1.0f);
        EXPECT_EQ(rig.view.ValueInd[n], 1.0f);
    }
    EXPECT_NEAR(rig.view.Volts, 15.99999744, 1e-5);
    EXPECT_TRUE(rig.view.WarmUpLamp);

    emulator.SetStatus(2);
    ASSERT_TRUE(rig.WaitForAnswer()); // the answer that was on its way may be a warm-up frame
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    rig.link->Timer2Timer(nullptr);
    EXPECT_FLOAT_EQ(rig.view.Meter[0], 0.9f) << "status 2 is not warm-up";
    EXPECT_FALSE(rig.view.WarmUpLamp);
}

TEST(LiveData, CorruptFrameChangesNothingButTheOnlineLamp) {
    LinkRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConstantController(0.8, 0.8, 0.8, 0.8));
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    rig.link->Timer2Timer(nullptr); // shows 0.8
    ASSERT_TRUE(WaitUntil([&] { return rig.link->State.RxIndex >= 18; }));
    emulator.SetFault(sim::Fault::CorruptChecksum, true);
    emulator.SetLambda(1, 1.2);
    rig.link->Timer2Timer(nullptr); // shows the good answer that was waiting
    ASSERT_TRUE(WaitUntil([&] { return rig.link->State.RxIndex >= 18; }));
    rig.link->SetOnline(false);
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    EXPECT_TRUE(rig.view.OnlineLamp);
    rig.link->Timer2Timer(nullptr);
    EXPECT_FLOAT_EQ(rig.view.Meter[0], 0.8f);
    EXPECT_FLOAT_EQ(rig.view.ValueInd[0], 0.8f);
}

TEST(LiveData, TenSilentTicksPutTheOnlineLampOutAndDisableConfig) {
    LinkRig rig;
    sim::ControllerEmulator& emulator = rig.StartEmulator(ConstantController(0.9, 0.9, 0.9, 0.9));
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    rig.link->Timer2Timer(nullptr);
    ASSERT_TRUE(rig.view.ConfigEnabled);
    ASSERT_TRUE(rig.WaitForAnswer()); // the answer to the last request arrives before silence
    emulator.SetFault(sim::Fault::Silent, true);
    emulator.SetLambda(1, 1.1);

    int ticksUntilDark = 0;
    while (rig.view.OnlineLamp && ticksUntilDark < 20) {
        rig.link->Timer2Timer(nullptr);
        ++ticksUntilDark;
    }
    EXPECT_EQ(ticksUntilDark, 10);
    EXPECT_EQ(rig.link->State.SilenceCount, 2);
    EXPECT_FALSE(rig.view.ConfigEnabled);
    EXPECT_FLOAT_EQ(rig.view.Meter[0], 0.9f) << "displays keep their last values";

    emulator.SetFault(sim::Fault::Silent, false);
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    EXPECT_TRUE(rig.view.OnlineLamp);
    EXPECT_FALSE(rig.view.ConfigEnabled) << "enabled at the following tick";
    rig.link->Timer2Timer(nullptr);
    EXPECT_TRUE(rig.view.ConfigEnabled);
}

TEST(LiveData, NothingIsPolledWhileTheSwitchIsOffOrThePortClosed) {
    LinkRig rig;
    rig.link->SetOnline(true);
    rig.link->Timer2Timer(nullptr); // port closed: only the lamp and the menu item follow
    EXPECT_EQ(rig.link->State.SilenceCount, 0);
    EXPECT_TRUE(rig.view.ConfigEnabled);

    sim::ControllerEmulator& emulator = rig.StartEmulator(ConstantController(1, 1, 1, 1));
    rig.link->SetPolling(false);
    rig.link->Timer2Timer(nullptr);
    EXPECT_FALSE(rig.view.OnlineLamp);
    EXPECT_FALSE(rig.view.ConfigEnabled);
    // One request with the switch on again: it is the first the controller hears, since
    // the line keeps the order of what was sent.
    rig.link->SetPolling(true);
    rig.link->Timer2Timer(nullptr);
    ASSERT_TRUE(WaitUntil([&] { return emulator.LiveRequestCount() > 0; }, 10000));
    EXPECT_EQ(emulator.Requests(), std::vector<std::vector<std::uint8_t>>{LiveDataRequest});
}

TEST(LiveData, ClosingThePortPutsBothLampsOut) {
    LinkRig rig;
    rig.StartEmulator(ConstantController(1, 1, 1, 1));
    rig.view.PortLamp = true;
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    ASSERT_TRUE(rig.view.OnlineLamp);
    rig.port.Close();
    EXPECT_FALSE(rig.view.PortLamp);
    EXPECT_FALSE(rig.view.OnlineLamp);
}

TEST(LiveData, AFrameThatArrivedIsShownEvenWhenTheNextRequestCouldNotBeSent) {
    LinkRig rig;
    FarEnd far(LinkRig::Port); // a controller that stops reading what it is sent
    rig.port.Buffers()->SetWriteTimeout(50);
    rig.port.Open();
    rig.link->State.RxIndex = 1;
    far.Send(
        frames::Frame(0x27, {0x03, 0x84, 0x03, 0xE8, 0x03, 0xE8, 0x03, 0xE8, 0, 0, 0, 0, 200}));
    ASSERT_TRUE(rig.WaitForAnswer());

    // Fill the line and the write queue until a write finds no room.
    const std::string chunk(512, 'x');
    bool full = false;
    for (int i = 0; i < 1000 && !full; ++i)
        full = ErrorOf([&] { rig.port.WriteText(chunk); }) == sOutputBufferFull;
    ASSERT_TRUE(full);
    EXPECT_EQ(ErrorOf([&] { rig.link->Timer2Timer(nullptr); }), sOutputBufferFull);
    EXPECT_FLOAT_EQ(rig.view.Meter[0], -92.9f);

    // The controller reads again: the next tick sends its request and shows the frame.
    ASSERT_TRUE(WaitUntil(
        [&] {
            far.Discard();
            return rig.port.WriteBufUsed() == 0;
        },
        10000));
    rig.link->Timer2Timer(nullptr);
    EXPECT_FLOAT_EQ(rig.view.Meter[0], 0.9f);
    EXPECT_FLOAT_EQ(rig.view.Meter[1], 1.0f);
}
