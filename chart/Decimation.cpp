#include "chart/Decimation.h"

#include <algorithm>
#include <cmath>

namespace {
class TDecimation {
public:
    TDecimation(const TLogSeries& series, double x0, double x1, int columns, double gap)
        : FSeries(series), FX0(x0), FPerColumn(double(columns) / (x1 - x0)), FGap(gap) {}

    std::array<TTrace, ChartChannels> Run(std::size_t first, std::size_t last) {
        for (TTrace& trace : FOut)
            trace.RunStarts.push_back(0);
        for (std::size_t i = first; i < last;) {
            const std::size_t end = ColumnEnd(i, last);
            EmitColumn(i, end);
            if (end < last && FSeries.Step(end) > FGap)
                BreakRun();
            i = end;
        }
        return std::move(FOut);
    }

private:
    // A spread second's records lie within [tick, tick + 1]: when both ends fall in one
    // column, so do they, and their exact times are not needed.
    double ColumnOf(std::size_t i) const {
        if (FSeries.Unit() == TLogSeries::TTimeUnit::SpreadSecond) {
            const double tick = double(FSeries.Tick(i));
            const double column = std::floor((tick - FX0) * FPerColumn);
            if (std::floor((tick + 1.0 - FX0) * FPerColumn) == column)
                return column;
        }
        return std::floor((FSeries.Time(i) - FX0) * FPerColumn);
    }

    // The first record after i in a later column: a stride that doubles, then halves.
    std::size_t ColumnEnd(std::size_t i, std::size_t last) const {
        const double column = ColumnOf(i);
        std::size_t inside = i, stride = 1;
        while (inside + stride < last && ColumnOf(inside + stride) == column) {
            inside += stride;
            stride *= 2;
        }
        std::size_t outside = std::min(inside + stride, last);
        while (outside - inside > 1) {
            const std::size_t middle = inside + (outside - inside) / 2;
            if (ColumnOf(middle) == column)
                inside = middle;
            else
                outside = middle;
        }
        return outside;
    }

    // A column's records, in pieces where the records pause inside it.
    void EmitColumn(std::size_t from, std::size_t end) {
        const TSeriesPyramid& pyramid = FSeries.Pyramid();
        while (from < end) {
            const std::size_t pause = pyramid.FirstStepOver(FSeries, from + 1, end, FGap);
            const std::array<TExtremes, ChartChannels> extremes =
                pyramid.Extremes(FSeries, from, pause);
            for (int n = 0; n < ChartChannels; ++n)
                EmitExtremes(n, extremes[std::size_t(n)]);
            if (pause < end)
                BreakRun();
            from = pause;
        }
    }

    // The extremes in the order they occurred.
    void EmitExtremes(int channel, const TExtremes& at) {
        const std::size_t first = std::min(at.MinAt, at.MaxAt);
        const std::size_t second = std::max(at.MinAt, at.MaxAt);
        std::vector<QPointF>& points = FOut[channel].Points;
        points.emplace_back(FSeries.Time(first), FSeries.Value(channel, first));
        if (second != first)
            points.emplace_back(FSeries.Time(second), FSeries.Value(channel, second));
    }

    void BreakRun() {
        for (TTrace& trace : FOut)
            trace.RunStarts.push_back(trace.Points.size());
    }

    const TLogSeries& FSeries;
    double FX0;
    double FPerColumn;
    double FGap;
    std::array<TTrace, ChartChannels> FOut;
};
} // namespace

std::array<TTrace, ChartChannels> Decimate(const TLogSeries& series, double x0, double x1,
                                           int columns, double gap) {
    if (series.Empty() || columns <= 0 || !(x1 > x0))
        return {};
    std::size_t first = series.LowerBound(x0);
    std::size_t last = series.UpperBound(x1);
    first -= first > 0 ? 1 : 0;
    last += last < series.Size() ? 1 : 0;
    return TDecimation(series, x0, x1, columns, gap).Run(first, last);
}
