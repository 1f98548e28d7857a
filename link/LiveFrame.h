#pragma once
// The live data frame as it lies in LiveBuf (frame offset k at index k + 1): its check and
// its values. The main window's live tick and the logger both decode through these.
#include "link/LinkState.h"

#include <array>
#include <cstddef>
#include <string>

// The checksum at index 17 matches indexes 1 to 16.
bool LiveFrameValid(const TLiveBuf& LiveBuf);
// Status byte 1: the sensors are warming up.
bool LiveWarmUp(const TLiveBuf& LiveBuf);
// Channel 1 … 4's lambda: the 16-bit value / 1000, as a single-precision number.
float LiveLambda(const TLiveBuf& LiveBuf, int channel);
std::array<float, 4> LiveLambdas(const TLiveBuf& LiveBuf);
// The supply voltage: raw × 0.01960784 × 3.2.
double LiveSupplyVolts(const TLiveBuf& LiveBuf);

// At most this many bytes of one read are kept; the rest is taken from the port and lost.
constexpr std::size_t MaxBytesPerEvent = 100;

// Stores the first MaxBytesPerEvent received bytes from RxIndex on, one index each, as the
// receive router does; returns how many were kept.
template <int N>
std::size_t StoreReceived(TDeviceBuffer<N>& buffer, int& RxIndex, const std::string& received) {
    const std::size_t kept =
        received.size() < MaxBytesPerEvent ? received.size() : MaxBytesPerEvent;
    for (std::size_t i = 0; i < kept; ++i)
        buffer.Store(RxIndex++, static_cast<std::uint8_t>(received[i]));
    return kept;
}
