#pragma once
// The lambda chart's plot: four channels against time on a black field, drawn from a
// min/max decimation per pixel column. The wheel zooms time about the mouse, a box
// dragged with the left button zooms to it, the right or middle button pans, and a
// double click asks for the whole view again. A cursor line reads the values under it.
#include "chart/Decimation.h"
#include "chart/LiveTrace.h"
#include "widgets/_GClass.h"

#include <QWidget>
#include <array>
#include <optional>

// One colour per channel: each meter's pointer colour, or, where an earlier channel
// already has it, the next free colour of the instruments' palette.
std::array<QColor, ChartChannels> ChannelColors(const std::array<TColor, ChartChannels>& meters);

class TChartPlot : public QWidget {
    Q_OBJECT
public:
    enum class TTimeLabels { Clock, BeforeEnd };

    explicit TChartPlot(QWidget* parent = nullptr);

    // The records to draw (kept by the caller) and the pause that breaks a line.
    void SetSeries(const TLogSeries* series, double gap,
                   const std::vector<TWarmUpSpan>* warmUp = nullptr);
    // The records changed: draw them again.
    void DataChanged();
    void SetChannelColors(const std::array<QColor, ChartChannels>& colors);
    void SetChannelVisible(int channel, bool visible);
    bool ChannelVisible(int channel) const { return FVisible[channel]; }
    // Values are drawn multiplied by the scale (1 for lambda, the fuel's ratio for AFR).
    void SetUnit(double scale, const QString& name);
    void SetTimeLabels(TTimeLabels labels) { FTimeLabels = labels; }

    void SetXRange(double x0, double x1);
    double X0() const { return FX0; }
    double X1() const { return FX1; }
    // A fixed value range, in the unit drawn; AutoY fits the visible records instead.
    void SetYRange(double y0, double y1);
    void AutoY();
    bool IsAutoY() const { return FAutoY; }
    double Y0() const { return FY0; }
    double Y1() const { return FY1; }

    // Zooms time by the factor about the time under pixel x of the plot area.
    void ZoomX(double factor, int x);
    void PanBy(QPoint pixels);
    // The plot area within the widget.
    QRect Area() const;
    // Points drawn by the last paint, over every channel.
    std::size_t DrawnPoints() const { return FDrawnPoints; }
    // The record under the cursor line, if one is near it.
    std::optional<std::size_t> CursorRecord() const;
    std::optional<double> CursorTime() const { return FCursorTime; }
    void SetCursorTime(std::optional<double> time);

signals:
    // The operator zoomed or panned.
    void ViewChanged();
    void CursorMoved();
    void ResetRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void UpdateTraces();
    void FitY();
    double TimeAt(double x) const;
    double PixelX(double time) const;
    double PixelY(double value) const;
    void DrawGrid(QPainter& painter) const;
    void DrawWarmUp(QPainter& painter) const;
    void DrawTraces(QPainter& painter);
    void DrawLegend(QPainter& painter) const;
    void DrawCursor(QPainter& painter) const;
    QString TimeLabel(double time, double step) const;

    const TLogSeries* FSeries = nullptr;
    const std::vector<TWarmUpSpan>* FWarmUp = nullptr;
    double FGap = 1;
    std::array<QColor, ChartChannels> FColors;
    std::array<bool, ChartChannels> FVisible{true, true, true, true};
    double FScale = 1;
    QString FUnit = QStringLiteral("lambda");
    TTimeLabels FTimeLabels = TTimeLabels::Clock;
    double FX0 = 0, FX1 = 60;
    double FY0 = 0.6, FY1 = 1.4;
    bool FAutoY = true;

    // Decimated traces of the last paint, kept while the view and the records stay.
    std::array<TTrace, ChartChannels> FTraces;
    bool FTracesValid = false;
    double FTracedX0 = 0, FTracedX1 = 0;
    int FTracedWidth = 0;
    std::size_t FDrawnPoints = 0;

    std::optional<double> FCursorTime;
    std::optional<QPoint> FBoxFrom;
    QPoint FBoxTo;
    std::optional<QPoint> FPanFrom;
};
