#include "chart/Decimation.h"

#include <algorithm>
#include <cmath>

namespace {
// The extremes met in one column of one run, kept in the order they occurred.
struct TColumn {
    std::size_t MinAt = 0;
    std::size_t MaxAt = 0;

    void Take(std::size_t i, const std::vector<float>& value) {
        if (value[i] < value[MinAt])
            MinAt = i;
        if (value[i] > value[MaxAt])
            MaxAt = i;
    }
    void Emit(const std::vector<double>& time, const std::vector<float>& value, TTrace& out) const {
        const std::size_t first = std::min(MinAt, MaxAt);
        const std::size_t second = std::max(MinAt, MaxAt);
        out.Points.emplace_back(time[first], value[first]);
        if (second != first)
            out.Points.emplace_back(time[second], value[second]);
    }
};
} // namespace

TTrace Decimate(const std::vector<double>& time, const std::vector<float>& value, double x0,
                double x1, int columns, double gap) {
    TTrace out;
    if (time.empty() || columns <= 0 || !(x1 > x0))
        return out;
    std::size_t first = std::size_t(std::lower_bound(time.begin(), time.end(), x0) - time.begin());
    std::size_t last = std::size_t(std::upper_bound(time.begin(), time.end(), x1) - time.begin());
    first -= first > 0 ? 1 : 0;
    last += last < time.size() ? 1 : 0;
    const double perColumn = double(columns) / (x1 - x0);
    auto columnOf = [&](std::size_t i) { return std::floor((time[i] - x0) * perColumn); };

    TColumn current{first, first};
    double currentColumn = columnOf(first);
    out.RunStarts.push_back(0);
    for (std::size_t i = first + 1; i < last; ++i) {
        const bool broken = time[i] - time[i - 1] > gap;
        const double column = columnOf(i);
        if (column == currentColumn && !broken) {
            current.Take(i, value);
            continue;
        }
        current.Emit(time, value, out);
        if (broken)
            out.RunStarts.push_back(out.Points.size());
        current = TColumn{i, i};
        currentColumn = column;
    }
    current.Emit(time, value, out);
    return out;
}
