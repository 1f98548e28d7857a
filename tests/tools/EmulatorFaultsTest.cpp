// Bad input, switched faults and hang-ups: the emulator stays quiet where it should, never
// spins, and always serves the next good request.
#include "tests/tools/ToolPort.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <thread>
#include <time.h>
#include <unistd.h>

using namespace simtest;
using sim::ControllerEmulator;
using sim::Fault;

namespace {

const Bytes VersionReply{0xC0, 0x05, 0x25, 0x17, 0xFE};

struct BadInput {
    const char* name;
    Bytes bytes;
};

const std::vector<BadInput> BadInputs{
    {"unknown command", WithChecksum({0xC0, 0x04, 0x30})},
    {"unknown command with data", WithChecksum({0xC0, 0x06, 0x61, 0x10, 0x10})},
    {"wrong checksum", {0xC0, 0x04, 0x24, 0x18}},
    {"wrong checksum on a write", {0xC0, 0x08, 0x62, 0x10, 0x02, 0x03, 0xBF, 0x02}},
    {"read cut short", {0xC0, 0x06, 0x60, 0x10}},
    {"read cut before its checksum", {0xC0, 0x06, 0x60, 0x10, 0x10}},
    {"write cut short", {0xC0, 0x08, 0x62, 0x10, 0x02, 0x03}},
    {"length wrong for the command", WithChecksum({0xC0, 0x05, 0x24, 0x00})},
    {"write length not matching its count", WithChecksum({0xC0, 0x09, 0x62, 0x10, 0x02, 1, 2, 3})},
    {"length byte far too long", {0xC0, 0xFF, 0x62, 0x10}},
    {"read count past memory", WithChecksum({0xC0, 0x06, 0x60, 0xF0, 0x20})},
    {"read count zero", WithChecksum({0xC0, 0x06, 0x60, 0x10, 0x00})},
    {"read count too long for a reply", WithChecksum({0xC0, 0x06, 0x60, 0x00, 0xFA})},
    {"write past memory", WithChecksum({0xC0, 0x08, 0x62, 0xFF, 0x02, 0x01, 0x02})},
    {"noise without a start byte", {0x00, 0x11, 0x13, 0xFF, 0x24}},
    {"lone start byte", {0xC0}},
};

TEST(EmulatorBadInput, GetsNoAnswerAndTheNextRequestIsServed) {
    for (const BadInput& bad : BadInputs) {
        Rig rig;
        rig.port.Send(bad.bytes);
        EXPECT_TRUE(rig.port.ReceiveFor(150ms).empty()) << bad.name << " was answered";
        EXPECT_EQ(rig.Ask(VersionRequest, 5), VersionReply) << bad.name << ", after a pause";
        EXPECT_EQ(rig.emulator.Requests(), std::vector<Bytes>{VersionRequest}) << bad.name;
        EXPECT_EQ(rig.emulator.Memory(0x10), 0x03) << bad.name << " changed memory";
        EXPECT_EQ(rig.emulator.Memory(0xFF), 0x00) << bad.name << " changed memory";
    }
}

TEST(EmulatorBadInput, IsPassedOverWhenTheNextRequestFollowsAtOnce) {
    for (const BadInput& bad : BadInputs) {
        Rig rig;
        Bytes stream = bad.bytes;
        stream.insert(stream.end(), VersionRequest.begin(), VersionRequest.end());
        rig.port.Send(stream);
        EXPECT_EQ(rig.port.Receive(5), VersionReply) << bad.name;
        EXPECT_TRUE(rig.port.ReceiveFor(100ms).empty()) << bad.name << ": more than one reply";
    }
}

// Sends the request a byte at a time, 10 ms apart; true when no gap between two bytes
// could have reached 40 ms, well inside the time after which a partial request is
// given up.
bool SendByteByByte(const ToolPort& port, const Bytes& request) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastStart{};
    bool quick = true;
    for (std::size_t i = 0; i < request.size(); ++i) {
        if (i > 0)
            std::this_thread::sleep_for(10ms);
        const Clock::time_point start = Clock::now();
        port.Send({request[i]});
        const Clock::time_point end = Clock::now();
        quick = quick && (i == 0 || end - lastStart < 40ms);
        lastStart = start;
    }
    return quick;
}

TEST(EmulatorBadInput, RequestArrivingByteByByteIsServed) {
    Rig rig;
    // A stall of the machine may stretch a gap; such a try is repeated, not judged.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const bool quick = SendByteByByte(rig.port, VersionRequest);
        const Bytes reply = rig.port.Receive(5, quick ? 2000ms : 300ms);
        if (quick) {
            EXPECT_EQ(reply, VersionReply);
            return;
        }
        rig.port.ReceiveFor(100ms); // a stretched try may or may not have been answered
    }
    FAIL() << "no try without a stall";
}

void WaitUntilHeard(const ControllerEmulator& emulator, std::size_t bytes) {
    while (emulator.HeardByteCount() < bytes)
        std::this_thread::sleep_for(1ms);
}

// The tail comes more than the stale age (200 ms) after the start was heard, so the two are
// never one request, however late the emulator reads the tail.
TEST(EmulatorBadInput, RequestThatStopsHalfwayIsGivenUp) {
    Rig rig;
    rig.port.Send({0xC0, 0x04});
    WaitUntilHeard(rig.emulator, 2);
    std::this_thread::sleep_for(300ms);
    rig.port.Send({0x24, 0x17});
    EXPECT_EQ(rig.Ask(VersionRequest, 5), VersionReply);
    EXPECT_EQ(rig.emulator.Requests(), std::vector<Bytes>{VersionRequest})
        << "stale start joined to a later tail";
}

// One request answered under each fault, then again with the fault off.
TEST(EmulatorFaults, SilentAnswersNothingButStillHears) {
    Rig rig;
    rig.emulator.SetFault(Fault::Silent, true);
    EXPECT_TRUE(rig.emulator.FaultOn(Fault::Silent));
    rig.port.Send(VersionRequest);
    rig.port.Send({0xC0, 0x08, 0x62, 0x10, 0x02, 0x04, 0x12, 0xAD});
    EXPECT_TRUE(rig.port.ReceiveFor(200ms).empty());
    EXPECT_EQ(rig.emulator.Requests().size(), 2u);
    EXPECT_EQ(rig.emulator.Memory(0x11), 0x12) << "writes are still stored";
    rig.emulator.SetFault(Fault::Silent, false);
    EXPECT_FALSE(rig.emulator.FaultOn(Fault::Silent));
    EXPECT_EQ(rig.Ask(VersionRequest, 5), VersionReply);
}

TEST(EmulatorFaults, CorruptChecksumSpoilsOnlyTheLastByte) {
    Rig rig;
    rig.emulator.SetFault(Fault::CorruptChecksum, true);
    const Bytes reply = rig.Ask(VersionRequest, 5);
    ASSERT_EQ(reply.size(), 5u);
    EXPECT_EQ(Bytes(reply.begin(), reply.end() - 1),
              Bytes(VersionReply.begin(), VersionReply.end() - 1));
    EXPECT_NE(reply.back(), VersionReply.back());
    const Bytes live = rig.Ask(LiveDataRequest, 17);
    ASSERT_EQ(live.size(), 17u);
    EXPECT_NE(sim::Checksum(live.data(), 16), live[16]);
    rig.emulator.SetFault(Fault::CorruptChecksum, false);
    EXPECT_EQ(rig.Ask(VersionRequest, 5), VersionReply);
}

TEST(EmulatorFaults, StrayBytesComeBeforeTheReply) {
    Rig rig;
    rig.emulator.SetFault(Fault::StrayBytes, true);
    const Bytes received = rig.Ask(VersionRequest, 3 + VersionReply.size());
    ASSERT_EQ(received.size(), 3 + VersionReply.size());
    EXPECT_NE(received.front(), 0xC0) << "junk first";
    EXPECT_EQ(Bytes(received.end() - 5, received.end()), VersionReply);
    rig.emulator.SetFault(Fault::StrayBytes, false);
    // Without the fault the reply's first byte is its start byte.
    EXPECT_EQ(rig.Ask(VersionRequest, VersionReply.size()), VersionReply);
}

TEST(EmulatorFaults, SplitRepliesArriveInPieces) {
    Rig rig;
    rig.emulator.SetFault(Fault::SplitReplies, true);
    std::size_t mostPieces = 0;
    // Pieces are milliseconds apart; a busy machine may still hand two over in one read.
    for (int attempt = 0; attempt < 3; ++attempt) {
        rig.port.Send(LiveDataRequest);
        const std::vector<Bytes> pieces = rig.port.ReceivePieces(17, 2000ms);
        Bytes whole;
        for (const Bytes& piece : pieces)
            whole.insert(whole.end(), piece.begin(), piece.end());
        ASSERT_EQ(whole.size(), 17u);
        EXPECT_EQ(sim::Checksum(whole.data(), 16), whole[16]);
        mostPieces = std::max(mostPieces, pieces.size());
    }
    EXPECT_GE(mostPieces, 2u);
    rig.emulator.SetFault(Fault::SplitReplies, false);
    rig.port.Send(VersionRequest);
    EXPECT_EQ(rig.port.ReceivePieces(5, 2000ms), std::vector<Bytes>{VersionReply});
}

TEST(EmulatorFaults, LateRepliesLeaveAfterTheDelayInOrder) {
    sim::EmulatorOptions options = TestOptions();
    options.lateMs = 250;
    Rig rig(options);
    rig.emulator.SetFault(Fault::LateReplies, true);
    const auto sent = std::chrono::steady_clock::now();
    rig.port.Send(VersionRequest);
    EXPECT_TRUE(rig.port.ReceiveFor(100ms).empty());
    rig.port.Send(LiveDataRequest); // the next poll, sent before the first answer
    const Bytes both = rig.port.Receive(22, 3000ms);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, 250ms);
    ASSERT_EQ(both.size(), 22u);
    EXPECT_EQ(Bytes(both.begin(), both.begin() + 5), VersionReply);
    EXPECT_EQ(Bytes(both.begin() + 5, both.end()), rig.emulator.LiveFrameNow());
}

// Switched off, the fault holds no reply back: with a delay of ten minutes, any reply at all
// is a prompt one.
TEST(EmulatorFaults, LateRepliesSwitchedOffAnswerAtOnce) {
    sim::EmulatorOptions options = TestOptions();
    options.lateMs = 600000;
    Rig rig(options);
    rig.emulator.SetFault(Fault::LateReplies, true);
    rig.emulator.SetFault(Fault::LateReplies, false);
    rig.port.Send(VersionRequest);
    EXPECT_EQ(rig.port.Receive(5, 60000ms), VersionReply);
}

TEST(EmulatorFaults, FaultsGivenInOptionsAreOnFromTheStart) {
    sim::EmulatorOptions options = TestOptions();
    options.faults = static_cast<unsigned>(Fault::CorruptChecksum);
    Rig rig(options);
    EXPECT_TRUE(rig.emulator.FaultOn(Fault::CorruptChecksum));
    EXPECT_FALSE(rig.emulator.FaultOn(Fault::Silent));
    const Bytes reply = rig.Ask(VersionRequest, 5);
    ASSERT_EQ(reply.size(), 5u);
    EXPECT_NE(reply.back(), VersionReply.back());
}

short WaitForHangUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 2000);
    return p.revents;
}

TEST(EmulatorHangUp, ClientSeesHangUpAndTheLineComesBackOnANewTerminal) {
    Rig rig;
    rig.emulator.SetFault(Fault::HangUp, true);
    EXPECT_TRUE(rig.emulator.SlavePath().empty());
    EXPECT_TRUE(WaitForHangUp(rig.port.Fd()) & POLLHUP);
    std::uint8_t byte = 0;
    EXPECT_LE(::read(rig.port.Fd(), &byte, 1), 0);

    rig.emulator.SetFault(Fault::HangUp, false);
    ASSERT_FALSE(rig.emulator.SlavePath().empty());
    ToolPort again(rig.emulator.SlavePath());
    again.Send(VersionRequest);
    EXPECT_EQ(again.Receive(5), VersionReply);
}

TEST(EmulatorHangUp, HangUpGivenInOptionsStartsWithoutALine) {
    sim::EmulatorOptions options = TestOptions();
    options.faults = static_cast<unsigned>(Fault::HangUp);
    ControllerEmulator emulator(options);
    emulator.Start();
    EXPECT_TRUE(emulator.SlavePath().empty());
    emulator.SetFault(Fault::HangUp, false);
    ToolPort port(emulator.SlavePath());
    port.Send(VersionRequest);
    EXPECT_EQ(port.Receive(5), VersionReply);
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A serving thread that polled in a loop would burn a whole second of CPU here.
double CpuSecondsOverOneSecond() {
    const double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(1s);
    return ProcessCpuSeconds() - before;
}

TEST(EmulatorIdle, SleepsWithoutClientAfterClientAndWhileHungUp) {
    ControllerEmulator emulator(TestOptions());
    emulator.Start();
    EXPECT_LT(CpuSecondsOverOneSecond(), 0.1) << "no client yet";
    {
        ToolPort port(emulator.SlavePath());
        port.Send({0xC0, 0x06, 0x60}); // a partial frame arms the stale timer
    }
    EXPECT_LT(CpuSecondsOverOneSecond(), 0.1) << "after the client closed";
    emulator.SetFault(Fault::HangUp, true);
    EXPECT_LT(CpuSecondsOverOneSecond(), 0.1) << "hung up";
}

} // namespace
