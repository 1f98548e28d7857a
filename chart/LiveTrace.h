#pragma once
// The live frames of the last minutes against the time they arrived, and the spans in
// which the controller reported sensor warm-up (whose frames carry no lambda).
#include "chart/LogSeries.h"

#include <vector>

class TLiveTrace {
public:
    // Longest span kept: the widest choice of the live view.
    static constexpr double KeptSeconds = 600.0;
    // Frames further apart than this were interrupted: the controller fell silent.
    static constexpr double GapSeconds = 0.45;
    static constexpr double TickSeconds = 0.1;

    void Add(double time, const std::array<float, ChartChannels>& lambda, bool warmUp);
    void Clear();

    const TLogSeries& Series() const { return FSeries; }
    const std::vector<TWarmUpSpan>& WarmUp() const { return FWarmUp; }
    // Time of the last frame, warm-up included; negative before the first.
    double LastTime() const { return FLastTime; }

private:
    void DropOld(double now);

    TLogSeries FSeries;
    std::vector<TWarmUpSpan> FWarmUp;
    double FLastTime = -1;
    std::size_t FDropCheck = 0;
};
