// A paced line: with a baud rate set, every byte takes ten bits' time on the wire in each
// direction, so no reply byte can arrive before the request and the bytes ahead of it
// have had their time. Only lower bounds are checked; a busy machine can only be later.
#include "tests/tools/ToolPort.h"

#include <gtest/gtest.h>

using namespace simtest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Baud = 1200;
constexpr auto ByteTime = std::chrono::microseconds(10'000'000 / Baud);

sim::EmulatorOptions PacedOptions() {
    sim::EmulatorOptions options = TestOptions();
    options.baud = Baud;
    return options;
}

TEST(EmulatorPacing, ReplyByteKArrivesNoEarlierThanTheWireAllows) {
    Rig rig(PacedOptions());
    const Clock::time_point sent = Clock::now();
    rig.port.Send(LiveDataRequest);
    const TimedBytes reply = rig.port.ReceiveTimed(17);
    ASSERT_EQ(reply.bytes, rig.emulator.LiveFrameNow());
    for (std::size_t k = 0; k < reply.bytes.size(); ++k)
        EXPECT_GE(reply.times[k] - sent, (LiveDataRequest.size() + k + 1) * ByteTime)
            << "byte " << k;
    EXPECT_GT(reply.times.back(), reply.times.front()) << "the reply came in one piece";
}

TEST(EmulatorPacing, RequestsSentTogetherAreAnsweredOneAfterTheOther) {
    Rig rig(PacedOptions());
    Bytes both = VersionRequest;
    both.insert(both.end(), LiveDataRequest.begin(), LiveDataRequest.end());
    const Clock::time_point sent = Clock::now();
    rig.port.Send(both);
    const TimedBytes replies = rig.port.ReceiveTimed(5 + 17);
    ASSERT_EQ(replies.bytes.size(), 22u);
    EXPECT_EQ(Bytes(replies.bytes.begin(), replies.bytes.begin() + 5),
              (Bytes{0xC0, 0x05, 0x25, 0x17, 0xFE}));
    // The version reply starts once the first request is heard (4 bytes); the live reply
    // follows it on the same wire.
    EXPECT_GE(replies.times[4] - sent, (4 + 5) * ByteTime);
    EXPECT_GE(replies.times.back() - sent, (4 + 5 + 17) * ByteTime);
}

} // namespace
