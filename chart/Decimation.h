#pragma once
// What the chart draws of each channel: per pixel column only the smallest and the
// largest value, so the points drawn stay within about twice the plot's width whatever
// the length of the log, and no peak is lost. The series' pyramid gives each column's
// extremes, so the work follows the plot's width and not the records in view.
#include "chart/LogSeries.h"

#include <QPointF>
#include <array>
#include <cstddef>
#include <vector>

struct TTrace {
    std::vector<QPointF> Points; // (time, value), in the order of time
    // Where each unbroken run of points starts; a run ends where the records pause.
    std::vector<std::size_t> RunStarts;
};

// The records in [x0, x1] (and the nearest one outside each end, so the line reaches the
// edges) reduced, per channel, to the minimum and maximum of each of `columns` equal
// slices of time. Consecutive records more than `gap` seconds apart are not joined.
std::array<TTrace, ChartChannels> Decimate(const TLogSeries& series, double x0, double x1,
                                           int columns, double gap);
