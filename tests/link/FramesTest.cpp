// Frame building: checksums, the resistor code in both directions.
#include "link/Frames.h"

#include <gtest/gtest.h>

using Bytes = std::vector<std::uint8_t>;

TEST(Frames, ChecksumIsOnesComplementOfTheSum) {
    const Bytes live{0xC0, 0x04, 0x26};
    EXPECT_EQ(frames::Checksum(live.data(), live.size()), 0x15);
    const Bytes wraps{0xFF, 0xFF, 0x02}; // 0x200: low byte 0 → 0xFF
    EXPECT_EQ(frames::Checksum(wraps.data(), wraps.size()), 0xFF);
    EXPECT_EQ(frames::Checksum(nullptr, 0), 0xFF);
}

TEST(Frames, RequestFramesCarryLengthAndChecksum) {
    EXPECT_EQ(frames::Frame(frames::ReadBlock, {0x10, 0x10}),
              (Bytes{0xC0, 0x06, 0x60, 0x10, 0x10, 0xB9}));
    EXPECT_EQ(frames::Frame(frames::ReadBlock, {0x40, 0x20}),
              (Bytes{0xC0, 0x06, 0x60, 0x40, 0x20, 0x79}));
    EXPECT_EQ(frames::Frame(frames::ReadVersion, {}), (Bytes{0xC0, 0x04, 0x24, 0x17}));
    EXPECT_EQ(frames::Frame(frames::ReadLiveData, {}), (Bytes{0xC0, 0x04, 0x26, 0x15}));
}

TEST(Frames, ResistorCodeRoundsHalvesToEven) {
    struct Case {
        int ohms;
        int code;
    } cases[] = {{1000, 959}, {9000, 1042}, {19000, 1144}, {20000, 1155}, {100, 950}};
    for (const Case& c : cases)
        EXPECT_EQ(frames::ResistorCode(c.ohms), c.code) << c.ohms << " ohm";
}

TEST(Frames, ResistorCodeDecodesToOhms) {
    EXPECT_EQ(frames::ResistorOhms(959), 990);
    EXPECT_EQ(frames::ResistorOhms(1155), 20019);
    EXPECT_EQ(frames::ResistorOhms(0), -92117);
}
