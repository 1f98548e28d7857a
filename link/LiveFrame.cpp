#include "link/LiveFrame.h"

#include "link/Frames.h"

namespace {
constexpr int WarmUpStatus = 1;
constexpr int StatusIndex = 13;
constexpr int SupplyIndex = 16;
constexpr double VoltsPerRaw = 0.01960784 * 3.2;
} // namespace

bool LiveFrameValid(const TLiveBuf& LiveBuf) {
    std::uint8_t frame[frames::LiveFrameLength - 1];
    for (int i = 1; i < frames::LiveFrameLength; ++i)
        frame[i - 1] = LiveBuf[i];
    return frames::Checksum(frame, sizeof frame) == LiveBuf[frames::LiveFrameLength];
}

bool LiveWarmUp(const TLiveBuf& LiveBuf) {
    return LiveBuf[StatusIndex] == WarmUpStatus;
}

float LiveLambda(const TLiveBuf& LiveBuf, int channel) {
    const int code = LiveBuf[2 * channel + 2] * 256 + LiveBuf[2 * channel + 3];
    return float(code / 1000.0);
}

std::array<float, 4> LiveLambdas(const TLiveBuf& LiveBuf) {
    return {LiveLambda(LiveBuf, 1), LiveLambda(LiveBuf, 2), LiveLambda(LiveBuf, 3),
            LiveLambda(LiveBuf, 4)};
}

double LiveSupplyVolts(const TLiveBuf& LiveBuf) {
    return LiveBuf[SupplyIndex] * VoltsPerRaw;
}
