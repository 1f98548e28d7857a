#pragma once
// The controller's frames: C0, length, command, parameters, checksum. Values are
// big-endian; the checksum is the ones' complement of the sum of all bytes before it.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace frames {

constexpr std::uint8_t StartByte = 0xC0;
constexpr std::uint8_t ReadBlock = 0x60;
constexpr std::uint8_t WriteBlock = 0x62;
constexpr std::uint8_t ReadVersion = 0x24;
constexpr std::uint8_t ReadLiveData = 0x26;

// Controller addresses the tool writes.
constexpr std::uint8_t CanAddress = 0x02;
constexpr std::uint8_t SlaveCanAddress = 0x0A;
constexpr std::uint8_t SensorBlock(int channel) {
    return std::uint8_t(0x10 * channel);
}
constexpr std::uint8_t SerialNumberAddress(int channel) {
    return std::uint8_t(0x10 * channel + 8);
}

constexpr int LiveFrameLength = 17;
constexpr int SerialNumberLength = 5;

// 255 − (sum of the bytes mod 256).
std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count);

// The frame with its length byte and checksum filled in around command and parameters.
std::vector<std::uint8_t> Frame(std::uint8_t command, const std::vector<std::uint8_t>& parameters);

// Resistor value in ohms ↔ the code the controller stores (halves to even both ways).
std::uint16_t ResistorCode(int ohms);
int ResistorOhms(int code);

// The shown CAN address from the four controller bytes at 0x00–0x03 (0x08–0x0B for the
// slave address); with b0 and b1 zero it is the value a CAN address write stores.
int CanAddressValue(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3);

} // namespace frames
