#include "windows/ChartPlot.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr int LeftMargin = 60;
constexpr int RightMargin = 14;
constexpr int TopMargin = 10;
constexpr int BottomMargin = 26;
constexpr int LeastBox = 5; // a smaller drag is a click, not a box
constexpr double WheelStep = 0.8;
constexpr double LeastSpan = 0.05;        // seconds, and value units
constexpr double MostSpan = 30 * 86400.0; // zoomed out past any log
constexpr int MostGridLines = 200;

const QColor Field(0, 0, 0);
const QColor Grid(48, 48, 48);
const QColor Text(200, 200, 200);
const QColor WarmUpFill(64, 52, 0);

// A step of 1, 2 or 5 times a power of ten, giving about `count` steps over the span.
double NiceStep(double span, int count) {
    const double raw = span / std::max(count, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw)
            return m * power;
    return 10 * power;
}

// Time steps that fall on whole clock units once they pass a second.
double TimeStep(double span, int count) {
    const double raw = span / std::max(count, 1);
    if (raw < 1)
        return NiceStep(span, count);
    for (double s : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600,
                     43200, 86400})
        if (s >= raw)
            return s;
    return std::ceil(raw / 86400) * 86400;
}

int DecimalsOf(double step) {
    return std::clamp(int(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
}
} // namespace

std::array<QColor, ChartChannels> ChannelColors(const std::array<TColor, ChartChannels>& meters) {
    const TColor palette[] = {clLime, clYellow, clAqua, clRed, clFuchsia, clWhite};
    std::array<TColor, ChartChannels> chosen{};
    for (int n = 0; n < ChartChannels; ++n) {
        chosen[n] = meters[n];
        auto taken = [&](TColor c) {
            return std::find(chosen.begin(), chosen.begin() + n, c) != chosen.begin() + n;
        };
        for (std::size_t p = 0; taken(chosen[n]) && p < std::size(palette); ++p)
            chosen[n] = palette[p];
    }
    std::array<QColor, ChartChannels> colors;
    for (int n = 0; n < ChartChannels; ++n)
        colors[n] = ColorToQColor(chosen[n]);
    return colors;
}

TChartPlot::TChartPlot(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 200);
    FColors = ChannelColors({clLime, clYellow, clAqua, clRed});
}

void TChartPlot::SetSeries(const TLogSeries* series, double gap,
                           const std::vector<TWarmUpSpan>* warmUp) {
    FSeries = series;
    FGap = gap;
    FWarmUp = warmUp;
    DataChanged();
}

void TChartPlot::DataChanged() {
    FTracesValid = false;
    update();
}

void TChartPlot::SetChannelColors(const std::array<QColor, ChartChannels>& colors) {
    FColors = colors;
    update();
}

void TChartPlot::SetChannelVisible(int channel, bool visible) {
    FVisible[channel] = visible;
    update();
}

void TChartPlot::SetUnit(double scale, const QString& name) {
    if (!FAutoY) {
        FY0 = FY0 / FScale * scale;
        FY1 = FY1 / FScale * scale;
    }
    FScale = scale;
    FUnit = name;
    update();
}

void TChartPlot::SetXRange(double x0, double x1) {
    const double span = std::clamp(x1 - x0, LeastSpan / 10, MostSpan);
    if (!std::isfinite(x0 + x1))
        return;
    if (x1 - x0 != span) {
        const double middle = (x0 + x1) / 2;
        x0 = middle - span / 2;
        x1 = middle + span / 2;
    }
    FX0 = x0;
    FX1 = x1;
    update();
}

void TChartPlot::SetYRange(double y0, double y1) {
    FY0 = std::min(y0, y1);
    FY1 = std::max({y0, y1, FY0 + LeastSpan / 10});
    FAutoY = false;
    update();
}

void TChartPlot::AutoY() {
    FAutoY = true;
    update();
}

QRect TChartPlot::Area() const {
    return rect().adjusted(LeftMargin, TopMargin, -RightMargin, -BottomMargin);
}

double TChartPlot::TimeAt(double x) const {
    const QRect area = Area();
    return FX0 + (x - area.left()) * (FX1 - FX0) / std::max(area.width(), 1);
}

double TChartPlot::PixelX(double time) const {
    const QRect area = Area();
    return area.left() + (time - FX0) * area.width() / (FX1 - FX0);
}

double TChartPlot::PixelY(double value) const {
    const QRect area = Area();
    return area.bottom() - (value - FY0) * area.height() / (FY1 - FY0);
}

void TChartPlot::ZoomX(double factor, int x) {
    const double anchor = TimeAt(x);
    SetXRange(anchor - (anchor - FX0) * factor, anchor + (FX1 - anchor) * factor);
}

void TChartPlot::PanBy(QPoint pixels) {
    const QRect area = Area();
    const double dt = pixels.x() * (FX1 - FX0) / std::max(area.width(), 1);
    SetXRange(FX0 - dt, FX1 - dt);
    if (!FAutoY) {
        const double dv = pixels.y() * (FY1 - FY0) / std::max(area.height(), 1);
        SetYRange(FY0 + dv, FY1 + dv);
    }
}

std::optional<std::size_t> TChartPlot::CursorRecord() const {
    if (!FSeries || !FCursorTime)
        return std::nullopt;
    const double pixel = (FX1 - FX0) / std::max(Area().width(), 1);
    return NearestRecord(*FSeries, *FCursorTime, std::max(FGap / 2, 4 * pixel));
}

void TChartPlot::SetCursorTime(std::optional<double> time) {
    FCursorTime = time;
    update();
    emit CursorMoved();
}

// ---- Painting -------------------------------------------------------------------------

void TChartPlot::UpdateTraces() {
    const int width = Area().width();
    if (FTracesValid && FTracedX0 == FX0 && FTracedX1 == FX1 && FTracedWidth == width)
        return;
    FTraces =
        FSeries ? Decimate(*FSeries, FX0, FX1, width, FGap) : std::array<TTrace, ChartChannels>{};
    FTracesValid = true;
    FTracedX0 = FX0;
    FTracedX1 = FX1;
    FTracedWidth = width;
}

// The value range of the visible channels' records in view, with a little room.
void TChartPlot::FitY() {
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (int n = 0; n < ChartChannels; ++n) {
        if (!FVisible[n])
            continue;
        for (const QPointF& p : FTraces[n].Points) {
            if (p.x() < FX0 || p.x() > FX1)
                continue;
            low = std::min(low, p.y() * FScale);
            high = std::max(high, p.y() * FScale);
        }
    }
    if (low > high) {
        low = 0.6 * FScale;
        high = 1.4 * FScale;
    }
    const double room = std::max((high - low) * 0.08, LeastSpan * FScale / 2);
    FY0 = low - room;
    FY1 = high + room;
}

void TChartPlot::paintEvent(QPaintEvent*) {
    UpdateTraces();
    if (FAutoY)
        FitY();
    QPainter painter(this);
    painter.fillRect(rect(), Field);
    DrawGrid(painter);
    painter.save();
    painter.setClipRect(Area());
    DrawWarmUp(painter);
    DrawTraces(painter);
    DrawCursor(painter);
    if (FBoxFrom) {
        painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(*FBoxFrom, FBoxTo).normalized());
    }
    painter.restore();
    DrawLegend(painter);
}

QString TChartPlot::TimeLabel(double time, double step) const {
    if (FTimeLabels == TTimeLabels::BeforeEnd) {
        const double before = time - FX1;
        return QString::number(before, 'f', DecimalsOf(step)) + QStringLiteral(" s");
    }
    QString text = ClockText(time);
    if (step < 1) {
        const double fraction = time - std::floor(time);
        text += QString::number(fraction, 'f', DecimalsOf(step)).mid(1);
    }
    return text;
}

void TChartPlot::DrawGrid(QPainter& painter) const {
    const QRect area = Area();
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int labelWidth = metrics.horizontalAdvance(QStringLiteral("00:00:00.0")) + 16;
    // Live labels count back from the right edge, so they step from there.
    const double xStep = TimeStep(FX1 - FX0, std::max(area.width() / labelWidth, 1));
    const double xOrigin = FTimeLabels == TTimeLabels::BeforeEnd ? FX1 : 0;
    const double xFirst = xOrigin + std::ceil((FX0 - xOrigin) / xStep) * xStep;
    for (int i = 0; i < MostGridLines && xFirst + i * xStep <= FX1; ++i) {
        const double t = xFirst + i * xStep;
        const int x = int(std::lround(PixelX(t)));
        painter.setPen(Grid);
        painter.drawLine(x, area.top(), x, area.bottom());
        painter.setPen(Text);
        painter.drawText(QRect(x - labelWidth / 2, area.bottom() + 4, labelWidth, BottomMargin - 4),
                         Qt::AlignHCenter | Qt::AlignTop, TimeLabel(t, xStep));
    }
    const double yStep = NiceStep(FY1 - FY0, std::max(area.height() / (metrics.height() * 3), 2));
    const double yFirst = std::ceil(FY0 / yStep) * yStep;
    for (int i = 0; i < MostGridLines && yFirst + i * yStep <= FY1; ++i) {
        const double v = yFirst + i * yStep;
        const int y = int(std::lround(PixelY(v)));
        painter.setPen(Grid);
        painter.drawLine(area.left(), y, area.right(), y);
        painter.setPen(Text);
        painter.drawText(QRect(0, y - metrics.height() / 2, LeftMargin - 6, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(v, 'f', DecimalsOf(yStep)));
    }
    painter.setPen(Text);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);
}

void TChartPlot::DrawWarmUp(QPainter& painter) const {
    if (!FWarmUp)
        return;
    const QRect area = Area();
    painter.setPen(Text);
    for (const TWarmUpSpan& span : *FWarmUp) {
        if (span.To < FX0 || span.From > FX1)
            continue;
        // A single warm-up record still shows, a pixel wide.
        const double left = PixelX(span.From);
        const QRectF band(QPointF(left, area.top()),
                          QPointF(std::max(PixelX(span.To), left + 1), area.bottom()));
        painter.fillRect(band, WarmUpFill);
        // At the foot of the band: the channel legend sits at the top left.
        painter.drawText(band.adjusted(4, 0, 0, -4), Qt::AlignLeft | Qt::AlignBottom,
                         QStringLiteral("warm-up"));
    }
}

void TChartPlot::DrawTraces(QPainter& painter) {
    FDrawnPoints = 0;
    QPolygonF line;
    for (int n = 0; n < ChartChannels; ++n) {
        if (!FVisible[n])
            continue;
        const TTrace& trace = FTraces[n];
        painter.setPen(QPen(FColors[n], 1));
        for (std::size_t r = 0; r < trace.RunStarts.size(); ++r) {
            const std::size_t from = trace.RunStarts[r];
            const std::size_t to =
                r + 1 < trace.RunStarts.size() ? trace.RunStarts[r + 1] : trace.Points.size();
            line.clear();
            for (std::size_t i = from; i < to; ++i)
                line.append(
                    QPointF(PixelX(trace.Points[i].x()), PixelY(trace.Points[i].y() * FScale)));
            if (line.size() == 1)
                painter.fillRect(QRectF(line[0] - QPointF(1, 1), QSizeF(3, 3)), FColors[n]);
            else
                painter.drawPolyline(line);
        }
        FDrawnPoints += trace.Points.size();
    }
}

void TChartPlot::DrawLegend(QPainter& painter) const {
    const QRect area = Area();
    const QFontMetrics metrics(font());
    int x = area.left() + 8;
    const int y = area.top() + 4 + metrics.ascent();
    for (int n = 0; n < ChartChannels; ++n) {
        if (!FVisible[n])
            continue;
        const QString name = QStringLiteral("CH%1").arg(n + 1);
        painter.setPen(FColors[n]);
        painter.drawText(x, y, name);
        x += metrics.horizontalAdvance(name) + 10;
    }
    painter.setPen(Text);
    painter.drawText(x, y, FUnit);
}

void TChartPlot::DrawCursor(QPainter& painter) const {
    if (!FCursorTime)
        return;
    const QRect area = Area();
    const double x = PixelX(*FCursorTime);
    painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
    painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    const std::optional<std::size_t> record = CursorRecord();
    if (!record)
        return;
    for (int n = 0; n < ChartChannels; ++n) {
        if (!FVisible[n])
            continue;
        const QPointF at(PixelX(FSeries->Time(*record)),
                         PixelY(FSeries->Value(n, *record) * FScale));
        painter.setPen(QPen(FColors[n], 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(at, 4, 4);
    }
}

// ---- Mouse ----------------------------------------------------------------------------

void TChartPlot::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && Area().contains(at)) {
        FBoxFrom = at;
        FBoxTo = at;
    } else if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        FPanFrom = at;
    }
}

void TChartPlot::mouseMoveEvent(QMouseEvent* event) {
    const QRect area = Area();
    const QPoint at = event->position().toPoint();
    // A release missed outside the window ends the drag.
    if (!(event->buttons() & (Qt::RightButton | Qt::MiddleButton)))
        FPanFrom.reset();
    if (!(event->buttons() & Qt::LeftButton))
        FBoxFrom.reset();
    if (FPanFrom) {
        PanBy(at - *FPanFrom);
        FPanFrom = at;
        emit ViewChanged();
    }
    if (FBoxFrom)
        FBoxTo = QPoint(std::clamp(at.x(), area.left(), area.right()),
                        std::clamp(at.y(), area.top(), area.bottom()));
    SetCursorTime(area.contains(at) ? std::optional<double>(TimeAt(at.x())) : std::nullopt);
}

void TChartPlot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && FBoxFrom) {
        const QRect box = QRect(*FBoxFrom, FBoxTo).normalized();
        FBoxFrom.reset();
        if (box.width() >= LeastBox) {
            SetXRange(TimeAt(box.left()), TimeAt(box.right()));
            if (box.height() >= LeastBox) {
                const QRect area = Area();
                auto valueAt = [&](int y) {
                    return FY0 + (area.bottom() - y) * (FY1 - FY0) / std::max(area.height(), 1);
                };
                SetYRange(valueAt(box.bottom()), valueAt(box.top()));
            }
            emit ViewChanged();
        }
        update();
    } else if (event->button() != Qt::LeftButton) {
        FPanFrom.reset();
    }
}

void TChartPlot::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        FBoxFrom.reset();
        emit ResetRequested();
    }
}

void TChartPlot::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0)
        return;
    ZoomX(std::pow(WheelStep, notches), int(event->position().x()));
    emit ViewChanged();
    event->accept();
}

void TChartPlot::leaveEvent(QEvent*) {
    SetCursorTime(std::nullopt);
}
