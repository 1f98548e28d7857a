// The emulator answers the tool's frames byte for byte, acting as the tool on a real
// pseudo-terminal.
#include "tests/tools/ToolPort.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

using namespace simtest;
using sim::ControllerEmulator;

namespace {

// Every controller byte different from its neighbours, so an offset error shows.
sim::EmulatorOptions PatternedMemory() {
    sim::EmulatorOptions options = TestOptions();
    for (std::size_t i = 0; i < options.memory.size(); ++i)
        options.memory[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return options;
}

Bytes ExpectedBlockReply(const sim::EmulatorOptions& options, std::uint8_t address,
                         std::uint8_t count) {
    Bytes reply{0xC0, static_cast<std::uint8_t>(6 + count), 0x61, address, count};
    reply.insert(reply.end(), options.memory.begin() + address,
                 options.memory.begin() + address + count);
    return WithChecksum(reply);
}

struct WorkedFrame {
    const char* name;
    Bytes bytes;
};

const std::vector<WorkedFrame> WorkedFrames{
    {"Sensor1Request", {0xC0, 0x06, 0x60, 0x10, 0x10, 0xB9}},
    {"Sensor2Request", {0xC0, 0x06, 0x60, 0x20, 0x10, 0xA9}},
    {"Sensor3Request", {0xC0, 0x06, 0x60, 0x30, 0x20, 0x89}},
    {"Sensor4Request", {0xC0, 0x06, 0x60, 0x40, 0x20, 0x79}},
    {"ConfigRequest", {0xC0, 0x06, 0x60, 0x00, 0x20, 0xB9}},
    {"VersionRequest", {0xC0, 0x04, 0x24, 0x17}},
    {"LiveDataRequest", {0xC0, 0x04, 0x26, 0x15}},
    {"ResistorWrite 1000", {0xC0, 0x08, 0x62, 0x10, 0x02, 0x03, 0xBF, 0x01}},
    {"ResistorWrite 9000", {0xC0, 0x08, 0x62, 0x10, 0x02, 0x04, 0x12, 0xAD}},
    {"ResistorWrite ch2", {0xC0, 0x08, 0x62, 0x20, 0x02, 0x03, 0xBF, 0xF1}},
    {"CanAddressWrite", {0xC0, 0x08, 0x62, 0x02, 0x02, 0x07, 0xFE, 0xCC}},
    {"Slave CanAddressWrite", {0xC0, 0x08, 0x62, 0x0A, 0x02, 0x00, 0x64, 0x65}},
    {"SerialNumberWrite", {0xC0, 0x0B, 0x62, 0x18, 0x05, 0x41, 0x42, 0x31, 0x32, 0x33, 0x9C}},
};

TEST(EmulatorChecksum, MatchesEveryWorkedFrame) {
    for (const WorkedFrame& frame : WorkedFrames)
        EXPECT_EQ(sim::Checksum(frame.bytes.data(), frame.bytes.size() - 1), frame.bytes.back())
            << frame.name;
    EXPECT_EQ(sim::Checksum(nullptr, 0), 255);
}

TEST(EmulatorFrames, BlockReadsAnswerTheRequestedBytesFromOffsetFive) {
    const sim::EmulatorOptions options = PatternedMemory();
    Rig rig(options);
    for (const WorkedFrame& frame : WorkedFrames) {
        if (frame.bytes[2] != 0x60)
            continue;
        const std::uint8_t address = frame.bytes[3];
        const std::uint8_t count = frame.bytes[4];
        EXPECT_EQ(rig.Ask(frame.bytes, 6u + count), ExpectedBlockReply(options, address, count))
            << frame.name;
        EXPECT_TRUE(rig.port.ReceiveFor(50ms).empty()) << frame.name << ": bytes after the reply";
    }
}

TEST(EmulatorFrames, BlockReadsReachTheLastAddressAndAnyCount) {
    const sim::EmulatorOptions options = PatternedMemory();
    Rig rig(options);
    struct Case {
        std::uint8_t address, count;
    };
    for (const Case c : {Case{0xFF, 1}, Case{0x00, 1}, Case{0x07, 249}, Case{0xF0, 16}}) {
        const Bytes request = WithChecksum({0xC0, 0x06, 0x60, c.address, c.count});
        EXPECT_EQ(rig.Ask(request, 6u + c.count), ExpectedBlockReply(options, c.address, c.count))
            << int{c.address} << "+" << int{c.count};
    }
}

TEST(EmulatorFrames, DefaultMemoryHoldsSensorBlocksAndCanAddresses) {
    Rig rig;
    const Bytes sensor1 = rig.Ask(WorkedFrames[0].bytes, 22);
    ASSERT_EQ(sensor1.size(), 22u);
    EXPECT_EQ(Bytes(sensor1.begin() + 5, sensor1.begin() + 7), (Bytes{0x03, 0xBF}));
    EXPECT_EQ(std::string(sensor1.begin() + 13, sensor1.begin() + 18), "SN001");
    const Bytes sensor4 = rig.Ask(WorkedFrames[3].bytes, 38);
    ASSERT_EQ(sensor4.size(), 38u);
    EXPECT_EQ(std::string(sensor4.begin() + 13, sensor4.begin() + 18), "SN004");
    const Bytes config = rig.Ask(WorkedFrames[4].bytes, 38);
    ASSERT_EQ(config.size(), 38u);
    EXPECT_EQ(Bytes(config.begin() + 5, config.begin() + 9), (Bytes{0, 0, 0x01, 0x00}));
    EXPECT_EQ(Bytes(config.begin() + 13, config.begin() + 17), (Bytes{0, 0, 0x01, 0x01}));
}

TEST(EmulatorFrames, VersionReplyCarriesTheVersionByteAtOffsetThree) {
    EXPECT_EQ(Rig().Ask(VersionRequest, 5), (Bytes{0xC0, 0x05, 0x25, 0x17, 0xFE}));
    sim::EmulatorOptions options = TestOptions();
    options.firmwareVersion = 0xC0;
    EXPECT_EQ(Rig(options).Ask(VersionRequest, 5), WithChecksum({0xC0, 0x05, 0x25, 0xC0}));
}

TEST(EmulatorFrames, WritesAreStoredUnansweredAndReadBack) {
    for (const WorkedFrame& frame : WorkedFrames) {
        if (frame.bytes[2] != 0x62)
            continue;
        sim::EmulatorOptions options = TestOptions();
        options.memory.fill(0);
        Rig rig(options);
        rig.port.Send(frame.bytes);
        EXPECT_TRUE(rig.port.ReceiveFor(150ms).empty()) << frame.name << " was answered";
        const std::uint8_t address = frame.bytes[3];
        const std::uint8_t count = frame.bytes[4];
        const Bytes data(frame.bytes.begin() + 5, frame.bytes.end() - 1);
        const Bytes reply = rig.Ask(WithChecksum({0xC0, 0x06, 0x60, address, count}), 6u + count);
        ASSERT_EQ(reply.size(), 6u + count) << frame.name;
        EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 1), data) << frame.name;
        for (std::size_t k = 0; k < data.size(); ++k)
            EXPECT_EQ(rig.emulator.Memory(address + static_cast<int>(k)), data[k]) << frame.name;
        EXPECT_EQ(rig.emulator.Memory(address + count), 0) << frame.name << ": wrote too far";
        EXPECT_EQ(rig.emulator.Requests().front(), frame.bytes) << frame.name;
    }
}

TEST(EmulatorFrames, ResistorWriteOf1000OhmReadsBackAsSensor1Block) {
    sim::EmulatorOptions options = TestOptions();
    options.memory.fill(0);
    Rig rig(options);
    rig.port.Send({0xC0, 0x08, 0x62, 0x10, 0x02, 0x03, 0xBF, 0x01});
    const Bytes reply = rig.Ask(WorkedFrames[0].bytes, 22);
    ASSERT_EQ(reply.size(), 22u);
    EXPECT_EQ(reply[5], 0x03);
    EXPECT_EQ(reply[6], 0xBF);
}

TEST(EmulatorFrames, StartBytesInsideDataAreData) {
    Rig rig;
    rig.port.Send(WithChecksum({0xC0, 0x09, 0x62, 0x20, 0x03, 0xC0, 0xC0, 0x00}));
    const Bytes reply = rig.Ask(WithChecksum({0xC0, 0x06, 0x60, 0x20, 0x03}), 9);
    EXPECT_EQ(reply, WithChecksum({0xC0, 0x09, 0x61, 0x20, 0x03, 0xC0, 0xC0, 0x00}));
}

TEST(EmulatorFrames, LiveFrameCarriesLambdaStatusAndSupply) {
    sim::EmulatorOptions options = TestOptions();
    options.lambda = {1.0, 0.5, 1.25, 65.535};
    options.supplyRaw = 200;
    options.warmupSeconds = 60;
    Rig rig(options);
    const Bytes head{0xC0, 0x11, 0x27, 0x03, 0xE8, 0x01, 0xF4, 0x04, 0xE2, 0xFF, 0xFF, 0x00};
    auto frameWithStatus = [&](std::uint8_t status) {
        Bytes frame = head;
        frame.insert(frame.end(), {status, 0x00, 0x00, 0xC8});
        return WithChecksum(frame);
    };
    EXPECT_EQ(rig.Ask(LiveDataRequest, 17), frameWithStatus(1)) << "warming up";
    rig.emulator.SetStatus(0);
    EXPECT_EQ(rig.Ask(LiveDataRequest, 17), frameWithStatus(0));
    rig.emulator.SetStatus(2);
    EXPECT_EQ(rig.Ask(LiveDataRequest, 17), frameWithStatus(2));
    rig.emulator.SetStatus(-1);
    EXPECT_EQ(rig.Ask(LiveDataRequest, 17), frameWithStatus(1)) << "back to warm-up timing";
    EXPECT_EQ(rig.emulator.LiveRequestCount(), 4u);
    EXPECT_EQ(rig.emulator.LiveFrameNow(), frameWithStatus(1));
}

TEST(EmulatorFrames, WarmUpEndsAfterItsSeconds) {
    sim::EmulatorOptions options = TestOptions();
    options.warmupSeconds = 0.5;
    ControllerEmulator emulator(options);
    emulator.Start();
    EXPECT_EQ(emulator.LiveFrameNow()[12], 1);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(emulator.LiveFrameNow()[12], 0);
}

TEST(EmulatorFrames, LambdaIsRoundedAndClampedToSixteenBits) {
    ControllerEmulator emulator(TestOptions());
    struct Case {
        double lambda;
        unsigned raw;
    };
    const Case cases[] = {{0.9996, 1000}, {0.0004, 0}, {-1.0, 0}, {70.0, 65535}, {65.5349, 65535}};
    for (const Case& c : cases) {
        emulator.SetLambda(2, c.lambda);
        const Bytes frame = emulator.LiveFrameNow();
        EXPECT_EQ(frame[5] * 256u + frame[6], c.raw) << c.lambda;
        EXPECT_EQ(sim::Checksum(frame.data(), 16), frame[16]);
    }
    emulator.SetSupplyRaw(255);
    EXPECT_EQ(emulator.LiveFrameNow()[15], 255);
}

std::array<unsigned, 4> Lambdas(const Bytes& frame) {
    std::array<unsigned, 4> raw{};
    for (std::size_t n = 0; n < 4; ++n)
        raw[n] = frame[3 + 2 * n] * 256u + frame[4 + 2 * n];
    return raw;
}

TEST(EmulatorFrames, PatternsMoveWithinTheirRanges) {
    struct Case {
        sim::LambdaPattern pattern;
        unsigned low, high;
    };
    for (const Case c : {Case{sim::LambdaPattern::Engine, 750, 1250},
                         Case{sim::LambdaPattern::Sweep, 650, 1350}}) {
        ControllerEmulator emulator(TestOptions());
        emulator.SetPattern(c.pattern);
        emulator.Start();
        std::vector<std::array<unsigned, 4>> samples;
        for (int i = 0; i < 8; ++i, std::this_thread::sleep_for(100ms))
            samples.push_back(Lambdas(emulator.LiveFrameNow()));
        for (const auto& sample : samples) {
            for (unsigned raw : sample) {
                EXPECT_GE(raw, c.low);
                EXPECT_LE(raw, c.high);
            }
            EXPECT_FALSE(sample[0] == sample[1] && sample[1] == sample[2] && sample[2] == sample[3])
                << "channels move in step";
        }
        EXPECT_NE(samples.front(), samples.back()) << "values do not move";
    }
}

TEST(EmulatorFrames, SetLambdaSwitchesToConstantValues) {
    sim::EmulatorOptions options = TestOptions();
    options.pattern = sim::LambdaPattern::Engine;
    options.lambda = {0.8, 0.9, 1.1, 1.2};
    ControllerEmulator emulator(options);
    emulator.SetLambda(3, 1.234);
    EXPECT_EQ(Lambdas(emulator.LiveFrameNow()), (std::array<unsigned, 4>{800, 900, 1234, 1200}));
}

TEST(EmulatorFrames, OutOfRangeArgumentsThrow) {
    ControllerEmulator emulator(TestOptions());
    EXPECT_THROW(emulator.SetLambda(0, 1.0), std::out_of_range);
    EXPECT_THROW(emulator.SetLambda(5, 1.0), std::out_of_range);
    EXPECT_THROW(emulator.Memory(256), std::out_of_range);
    EXPECT_THROW(emulator.SetMemory(-1, 0), std::out_of_range);
    emulator.SetMemory(255, 0x42);
    EXPECT_EQ(emulator.Memory(255), 0x42);
}

TEST(EmulatorFrames, RequestsAreLoggedInOrder) {
    Rig rig;
    const Bytes write = WithChecksum({0xC0, 0x07, 0x62, 0x30, 0x01, 0x09});
    rig.port.Send(write);
    rig.Ask(VersionRequest, 5);
    rig.Ask(LiveDataRequest, 17);
    EXPECT_EQ(rig.emulator.Requests(),
              (std::vector<Bytes>{write, VersionRequest, LiveDataRequest}));
    EXPECT_EQ(rig.emulator.LiveRequestCount(), 1u);
    rig.emulator.ClearRequests();
    EXPECT_TRUE(rig.emulator.Requests().empty());
    EXPECT_EQ(rig.emulator.LiveRequestCount(), 0u);
}

} // namespace
