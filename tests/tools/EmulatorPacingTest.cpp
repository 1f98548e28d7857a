// A paced line: with a baud rate set, every byte takes ten bits' time on the wire in each
// direction, so no reply byte can arrive before the request and the bytes ahead of it
// have had their time. Only lower bounds are checked; a busy machine can only be later.
#include "tests/tools/ToolPort.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

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

// Each byte with the time it was read.
struct TimedBytes {
    Bytes bytes;
    std::vector<Clock::time_point> times;
};

TimedBytes ReceiveTimed(const ToolPort& port, std::size_t count) {
    TimedBytes got;
    const auto deadline = Clock::now() + 10s;
    while (got.bytes.size() < count && Clock::now() < deadline) {
        pollfd p{port.Fd(), POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        std::uint8_t chunk[64];
        const ssize_t n =
            ::read(port.Fd(), chunk, std::min(sizeof chunk, count - got.bytes.size()));
        if (n <= 0)
            break;
        const Clock::time_point now = Clock::now();
        got.bytes.insert(got.bytes.end(), chunk, chunk + n);
        got.times.insert(got.times.end(), static_cast<std::size_t>(n), now);
    }
    return got;
}

TEST(EmulatorPacing, ReplyByteKArrivesNoEarlierThanTheWireAllows) {
    Rig rig(PacedOptions());
    const Clock::time_point sent = Clock::now();
    rig.port.Send(LiveDataRequest);
    const TimedBytes reply = ReceiveTimed(rig.port, 17);
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
    const TimedBytes replies = ReceiveTimed(rig.port, 5 + 17);
    ASSERT_EQ(replies.bytes.size(), 22u);
    EXPECT_EQ(Bytes(replies.bytes.begin(), replies.bytes.begin() + 5),
              (Bytes{0xC0, 0x05, 0x25, 0x17, 0xFE}));
    // The version reply starts once the first request is heard (4 bytes); the live reply
    // follows it on the same wire.
    EXPECT_GE(replies.times[4] - sent, (4 + 5) * ByteTime);
    EXPECT_GE(replies.times.back() - sent, (4 + 5 + 17) * ByteTime);
}

// A USB adapter's latency timer: what the controller sends reaches the tool only at the
// timer's ticks, which run from the emulator's start. A reply asked for just after the start
// cannot arrive before the first tick.
TEST(EmulatorLatencyTimer, HoldsAReplyUntilTheTimersNextTick) {
    constexpr auto Period = 150ms;
    sim::EmulatorOptions options = TestOptions();
    options.latencyTimerMs = 150;
    const Clock::time_point beforeStart = Clock::now();
    Rig rig(options);
    rig.port.Send(LiveDataRequest);
    const TimedBytes reply = ReceiveTimed(rig.port, 17);
    ASSERT_EQ(reply.bytes, rig.emulator.LiveFrameNow());
    EXPECT_GE(reply.times.front() - beforeStart, Period);
}

TEST(EmulatorLatencyTimer, LosesAndReordersNothingOfManyRepliesInPieces) {
    for (const bool paced : {false, true}) {
        sim::EmulatorOptions options = paced ? PacedOptions() : TestOptions();
        options.latencyTimerMs = 16;
        options.faults = static_cast<unsigned>(sim::Fault::SplitReplies);
        Rig rig(options);
        Bytes requests;
        Bytes expected;
        for (int i = 0; i < 5; ++i) {
            requests.insert(requests.end(), VersionRequest.begin(), VersionRequest.end());
            expected.insert(expected.end(), {0xC0, 0x05, 0x25, 0x17, 0xFE});
        }
        rig.port.Send(requests);
        EXPECT_EQ(ReceiveTimed(rig.port, expected.size()).bytes, expected) << "paced " << paced;
    }
}

} // namespace
