#include "link/Frames.h"

#include <cmath>

namespace frames {

std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return std::uint8_t(255 - sum % 256);
}

std::vector<std::uint8_t> Frame(std::uint8_t command, const std::vector<std::uint8_t>& parameters) {
    std::vector<std::uint8_t> frame;
    frame.reserve(parameters.size() + 4);
    frame.push_back(StartByte);
    frame.push_back(std::uint8_t(parameters.size() + 4));
    frame.push_back(command);
    for (std::uint8_t b : parameters)
        frame.push_back(b);
    frame.push_back(Checksum(frame.data(), frame.size()));
    return frame;
}

std::uint16_t ResistorCode(int ohms) {
    return std::uint16_t(long(std::nearbyint(ohms * 0.0103 + 948.8)) & 0xFFFF);
}

int ResistorOhms(int code) {
    return int(std::nearbyint((code - 948.8) / 0.0103));
}

int CanAddressValue(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    return b0 * 1024 + b1 * 576 + b2 * 256 + b3;
}

} // namespace frames
