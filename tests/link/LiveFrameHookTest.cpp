// The live tick tells its listener of each frame it shows, and of nothing else.
#include "tests/link/LinkRig.h"

#include <gtest/gtest.h>

namespace {
struct Heard {
    std::array<float, 4> lambda;
    bool warmUp;
};
} // namespace

TEST(LiveFrameHook, EachShownFrameIsToldOnceWithItsWarmUpState) {
    LinkRig rig;
    std::vector<Heard> heard;
    rig.link->OnLiveFrame = [&](const std::array<float, 4>& lambda, bool warmUp) {
        heard.push_back({lambda, warmUp});
    };
    sim::ControllerEmulator& emulator =
        rig.StartEmulator(ConstantController(0.982, 1.0, 1.35, 0.7));
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    EXPECT_TRUE(heard.empty()) << "nothing shown yet";
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].lambda, (std::array<float, 4>{0.982f, 1.0f, 1.35f, 0.7f}));
    EXPECT_FALSE(heard[0].warmUp);
    EXPECT_EQ(heard[0].lambda[0], rig.view.Meter[0]);

    emulator.SetStatus(1); // no answer is in flight: the last tick's has arrived
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    ASSERT_TRUE(rig.TickAndWaitForAnswer());
    EXPECT_TRUE(heard.back().warmUp);
    emulator.SetStatus(0);

    emulator.SetFault(sim::Fault::CorruptChecksum, true);
    ASSERT_TRUE(rig.TickAndWaitForAnswer()); // shows the last good frame, fetches a corrupt one
    const std::size_t before = heard.size();
    rig.link->Timer2Timer(nullptr);
    EXPECT_EQ(heard.size(), before) << "a corrupt frame is not shown";

    ASSERT_TRUE(rig.WaitForAnswer()); // the corrupt frame asked for by the last tick
    emulator.SetFault(sim::Fault::CorruptChecksum, false);
    ASSERT_TRUE(rig.TickAndWaitForAnswer()); // passes over the corrupt frame, fetches a good one
    ASSERT_EQ(heard.size(), before) << "a corrupt frame is not shown";

    // The good frame stays in the buffer while the controller is silent: it is told once,
    // at the next tick, and never again however often the tick asks.
    emulator.SetFault(sim::Fault::Silent, true);
    rig.link->Timer2Timer(nullptr);
    ASSERT_EQ(heard.size(), before + 1);
    EXPECT_EQ(heard.back().lambda, (std::array<float, 4>{0.982f, 1.0f, 1.35f, 0.7f}));
    for (int i = 0; i < 5; ++i) {
        const std::size_t asked = emulator.LiveRequestCount();
        rig.link->Timer2Timer(nullptr);
        // Once the controller has heard the request and kept silent, no answer can come.
        ASSERT_TRUE(WaitUntil([&] { return emulator.LiveRequestCount() > asked; }, 10000));
    }
    EXPECT_EQ(heard.size(), before + 1) << "a silent controller gives nothing new";
}
