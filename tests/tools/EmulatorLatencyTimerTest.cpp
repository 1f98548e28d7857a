// A USB adapter's latency timer: what the controller sends reaches the tool only at the ticks
// of a free-running 16 ms timer, at whole multiples of 16 ms on the steady clock. Only lower
// bounds are checked; a busy machine can only make bytes later.
#include "tests/tools/ToolPort.h"

#include <gtest/gtest.h>

using namespace simtest;
using Clock = std::chrono::steady_clock;
using sim::Fault;

namespace {

constexpr auto Tick = 16ms;

sim::EmulatorOptions TimerOptions(int baud) {
    sim::EmulatorOptions options = TestOptions();
    options.latencyTimerMs = 16;
    options.baud = baud;
    return options;
}

const Bytes VersionReply{0xC0, 0x05, 0x25, 0x17, 0xFE};
// Lambda 1.000 on every channel, status 0, supply byte 196.
const Bytes LiveReply = WithChecksum(
    {0xC0, 0x11, 0x27, 0x03, 0xE8, 0x03, 0xE8, 0x03, 0xE8, 0x03, 0xE8, 0, 0, 0, 0, 196});

TEST(EmulatorLatencyTimer, AnswerRequestedJustAfterATickWaitsForTheNext) {
    Rig rig(TimerOptions(0));
    for (const auto& [request, reply] :
         {std::pair{VersionRequest, VersionReply}, std::pair{LiveDataRequest, LiveReply}}) {
        const Clock::time_point sent = SendJustAfterTick(rig.port, request, Tick);
        const TimedBytes got = rig.port.ReceiveTimed(reply.size());
        ASSERT_EQ(got.bytes, reply);
        const Clock::time_point nextTick = TickAtOrAfter(sent, Tick);
        EXPECT_GE(nextTick - sent, Tick * 3 / 4);
        for (std::size_t k = 0; k < got.bytes.size(); ++k)
            EXPECT_GE(got.times[k], nextTick) << "byte " << k << " came before the tick";
    }
}

// At 9600 bit/s a byte takes about 1.04 ms, so a live answer is on the wire for more than a
// period: each byte comes at the first tick after it was through.
TEST(EmulatorLatencyTimer, PacedBytesComeAtTheTickAfterTheyAreThrough) {
    constexpr int Baud = 9600;
    constexpr auto ByteTime = std::chrono::nanoseconds(10'000'000'000LL / Baud);
    Rig rig(TimerOptions(Baud));
    const Clock::time_point sent = SendJustAfterTick(rig.port, LiveDataRequest, Tick);
    const TimedBytes got = rig.port.ReceiveTimed(LiveReply.size());
    ASSERT_EQ(got.bytes, LiveReply);
    for (std::size_t k = 0; k < got.bytes.size(); ++k) {
        const Clock::time_point through = sent + (LiveDataRequest.size() + k + 1) * ByteTime;
        EXPECT_GE(got.times[k], TickAtOrAfter(through, Tick)) << "byte " << k;
    }
}

// Many requests at once, replies in pieces, unpaced and paced: every answer comes whole, in
// order.
TEST(EmulatorLatencyTimer, NothingIsLostOrReordered) {
    const Bytes blockRequest = WithChecksum({0xC0, 0x06, 0x60, 0x10, 0x02});
    const Bytes blockReply = WithChecksum({0xC0, 0x08, 0x61, 0x10, 0x02, 0x03, 0xBF});
    Bytes requests;
    Bytes expected;
    for (int round = 0; round < 12; ++round)
        for (const auto& [request, reply] :
             {std::pair{VersionRequest, VersionReply}, std::pair{LiveDataRequest, LiveReply},
              std::pair{blockRequest, blockReply}}) {
            requests.insert(requests.end(), request.begin(), request.end());
            expected.insert(expected.end(), reply.begin(), reply.end());
        }
    for (const int baud : {0, 19200}) {
        Rig rig(TimerOptions(baud));
        rig.emulator.SetFault(Fault::SplitReplies, true);
        rig.port.Send(requests);
        EXPECT_EQ(rig.port.ReceiveTimed(expected.size()).bytes, expected) << baud << " bit/s";
        EXPECT_TRUE(rig.port.ReceiveFor(3 * Tick).empty()) << "more than the answers";
    }
}

} // namespace
