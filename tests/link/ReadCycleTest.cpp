// The read cycle's decoding pieces: version text, CAN address, serial-number text.
#include "link/DeviceLink.h"
#include "link/Frames.h"
#include "tests/support/GermanNumbers.h"

#include <gtest/gtest.h>

TEST(ReadCycle, VersionTextHasTwoSignificantDigitsAndOneDecimal) {
    struct Case {
        int byte;
        const char* text;
    } cases[] = {{23, "V2.3"},   {5, "V0.5"},    {0, "V0.0"},    {99, "V9.9"},
                 {123, "V12.0"}, {125, "V12.0"}, {135, "V14.0"}, {255, "V26.0"}};
    for (const Case& c : cases)
        EXPECT_EQ(VersionText(std::uint8_t(c.byte)), QString::fromLatin1(c.text)) << c.byte;
}

TEST(ReadCycle, VersionTextUsesTheLocalesDecimalSeparator) {
    WithGermanNumbers([] { EXPECT_EQ(VersionText(23), QStringLiteral("V2,3")); });
}

TEST(ReadCycle, CanAddressComesFromFourControllerBytes) {
    EXPECT_EQ(frames::CanAddressValue(0, 0, 0x07, 0xFE), 2046);
    EXPECT_EQ(frames::CanAddressValue(0, 0, 0x01, 0x00), 256);
    EXPECT_EQ(frames::CanAddressValue(1, 0, 0, 0), 1024);
    EXPECT_EQ(frames::CanAddressValue(0, 1, 0, 0), 576);
    EXPECT_EQ(frames::CanAddressValue(255, 255, 255, 255), 255 * (1024 + 576 + 256 + 1));
}

TEST(ReadCycle, SerialNumberTextStopsAtTheFirstZeroByte) {
    struct Case {
        std::array<std::uint8_t, 5> bytes;
        QString text;
    } cases[] = {
        {{'A', 'B', '1', '2', '3'}, QStringLiteral("AB123")},
        {{0, 0, 0, 0, 0}, QString()},
        {{'A', 'B', 0, 'X', 'Y'}, QStringLiteral("AB")},
        {{0xC4, 0xE9, '7', 0xFF, 0x80}, QStringLiteral("\u00c4\u00e97\u00ff\u0080")},
    };
    for (const Case& c : cases) {
        TDeviceBuffer<50> buffer;
        buffer.Store(13, 'Z'); // the byte before the field is not part of it
        for (int i = 0; i < 5; ++i)
            buffer.Store(14 + i, c.bytes[i]);
        buffer.Store(19, 'Z');
        EXPECT_EQ(SerialNumberText(buffer), c.text);
    }
}
