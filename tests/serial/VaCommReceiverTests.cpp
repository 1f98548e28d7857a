// The receiver on a scripted line: bytes pulled from the driver and taken in order, the
// events they raise (event character, the queue passing 80 %, bytes not yet reported),
// a full queue waiting for room, and line errors seen in the line's counters.
#include "ScriptedLine.h"
#include "serial/VaCommReceiver.h"

#include <gtest/gtest.h>
#include <string>

namespace {

constexpr std::uint32_t Watched = EV_RXCHAR | EV_RXFLAG | EV_RX80FULL | EV_ERR | EV_BREAK;

struct ReceiverRig {
    explicit ReceiverRig(int capacity) {
        EXPECT_EQ(line.Open("scripted"), 0);
        receiver.Start(capacity, Watched);
        receiver.SetEventChar('\n');
    }
    std::string Take(int count) {
        std::string bytes(static_cast<std::size_t>(count), '\0');
        bytes.resize(static_cast<std::size_t>(receiver.Take(bytes.data(), count, {})));
        return bytes;
    }

    std::shared_ptr<LineScript> script = std::make_shared<LineScript>();
    ScriptedLine line{script};
    int hangUps = 0;
    TVaCommReceiver receiver{line, [this] { ++hangUps; }};
};

TEST(CommReceiver, BytesComeOutInOrderWithTheEventsTheyRaise) {
    ReceiverRig rig(10);
    rig.script->Send("ab\ncd");
    EXPECT_EQ(rig.receiver.Collect(true), EV_RXCHAR | EV_RXFLAG);
    EXPECT_EQ(rig.receiver.Count(), 5);
    rig.script->Send("efgh"); // 9 of 10: past 80 %
    EXPECT_EQ(rig.receiver.Collect(true), EV_RXCHAR | EV_RX80FULL);
    EXPECT_EQ(rig.Take(4), "ab\nc"); // 5 of 10: a new fill counts again
    rig.script->Send("ijk");         // 8 of 10: not past 80 %
    EXPECT_EQ(rig.receiver.Collect(true), EV_RXCHAR);
    rig.script->Send("l");
    EXPECT_EQ(rig.receiver.Collect(true), EV_RXCHAR | EV_RX80FULL);
    EXPECT_EQ(rig.receiver.TakeAll(), "defghijkl");
    EXPECT_FALSE(rig.receiver.TakeUnreported()) << "an emptied queue has nothing to report";
    EXPECT_EQ(rig.receiver.Arrived(), 13u);
    EXPECT_EQ(rig.hangUps, 0);
}

TEST(CommReceiver, AFullQueueLeavesTheRestInTheDriverUntilRoomIsMade) {
    ReceiverRig rig(4);
    rig.script->Send("123456");
    EXPECT_TRUE(rig.receiver.Room());
    rig.receiver.Collect(true);
    EXPECT_EQ(rig.receiver.Count(), 4);
    EXPECT_FALSE(rig.receiver.Room());
    EXPECT_FALSE(rig.receiver.RoomMade().Signaled());
    EXPECT_EQ(rig.Take(3), "123");
    EXPECT_TRUE(rig.receiver.RoomMade().Signaled());
    EXPECT_EQ(rig.receiver.Pull().Count, 2);
    EXPECT_EQ(rig.receiver.TakeAll(), "456");
}

TEST(CommReceiver, LineErrorsAreTakenOnceAndRaiseTheErrorEvent) {
    ReceiverRig rig(16);
    rig.script->Change([](LineScript& s) {
        s.Count(&TVaLineCounts::Frame);
        s.Count(&TVaLineCounts::Overrun);
    });
    EXPECT_EQ(rig.receiver.Collect(true), EV_ERR);
    EXPECT_EQ(rig.receiver.TakeErrors(), std::uint32_t(CE_FRAME | CE_OVERRUN));
    EXPECT_EQ(rig.receiver.TakeErrors(), 0u);
    rig.script->Change([](LineScript& s) { s.Break(); });
    EXPECT_EQ(rig.receiver.Collect(true), EV_BREAK);
    EXPECT_EQ(rig.receiver.TakeErrors(), std::uint32_t(CE_BREAK));
}

} // namespace
