#include "chart/LiveTrace.h"

#include <algorithm>

void TLiveTrace::Add(double time, const std::array<float, ChartChannels>& lambda, bool warmUp) {
    if (warmUp) {
        const bool continues = !FWarmUp.empty() && time - FWarmUp.back().To <= GapSeconds;
        if (continues)
            FWarmUp.back().To = time + TickSeconds;
        else
            FWarmUp.push_back({time, time + TickSeconds});
    } else {
        FSeries.Append(time, lambda);
    }
    FLastTime = time;
    DropOld(time);
}

void TLiveTrace::Clear() {
    FSeries.Clear();
    FWarmUp.clear();
    FLastTime = -1;
}

// Old frames go in batches, so that a frame costs an append and nothing more.
void TLiveTrace::DropOld(double now) {
    if (++FDropCheck < 1000)
        return;
    FDropCheck = 0;
    const double keepFrom = now - KeptSeconds - 1.0;
    if (!FSeries.Empty() && FSeries.FrontTime() < keepFrom)
        FSeries.DropBefore(keepFrom);
    std::erase_if(FWarmUp, [&](const TWarmUpSpan& span) { return span.To < keepFrom; });
}
