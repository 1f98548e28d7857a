#include "widgets/AbRMeter.h"

#include "widgets/AbFlashT.h"

#include <QPainter>
#include <QRegion>
#include <cmath>
#include <numbers>

namespace {

// Angle of p seen from the centre of box, counter-clockwise from 3 o'clock, in degrees.
double ScreenAngle(QPointF p, const QRectF& box) {
    const QPointF d = p - box.center();
    return std::atan2(-d.y(), d.x()) * 180.0 / std::numbers::pi;
}

// Shape 0: a slim triangle from the hub to the tick circle, with a small hub.
TArrowOutline BuildArrow(int areaWidth) {
    const int c = areaWidth / 2, w = c / 10;
    return {{QPoint(c - w, c + w), QPoint(c + w, c + w), QPoint(c, 0)}, QPoint(c, c), 2, 0};
}

} // namespace

TAbRMeter::TAbRMeter(QWidget* parent)
    : TAbAnalogGControl(parent), FArrowSettings(std::make_unique<TArrowSettings>()),
      FBevelInner(std::make_unique<TAbSBevel>(bsLowered, 5, blInner)),
      FBevelOuter(std::make_unique<TAbSBevel>(bsRaised, 5, blOuter)),
      FFontUnit(std::make_unique<TFont>("System", -13, TFontStyles{}, clBlack)),
      FScaleSettings(std::make_unique<TScaleSettings>()) {}

TAbRMeter::~TAbRMeter() {
    FlashUnregister(this);
}

void TAbRMeter::SetAutoSize(bool v) {
    if (v == FAutoSize)
        return;
    FAutoSize = v;
    if (UpdateCount() == 0)
        Invalidate();
}

void TAbRMeter::SetFontUnit(const TFont& v) {
    FFontUnit->Assign(v);
    if (UpdateCount() == 0)
        Invalidate();
}

void TAbRMeter::SetOptions(TRMeterOptions v) {
    if (v == FOptions)
        return;
    FOptions = v;
    UpdateFlashing();
    if (UpdateCount() == 0)
        Invalidate();
}

void TAbRMeter::Loaded() {
    const TNotifyEvent paramChange = [this](QObject* Sender) { ParamChange(Sender); };
    FArrowSettings->OnChange = paramChange;
    FFontUnit->OnChange = paramChange;
    FBevelInner->OnChange = paramChange;
    FBevelOuter->OnChange = paramChange;
    FScaleSettings->OnChange = paramChange;
    TAbAnalogGControl::Loaded();
    UpdateFlashing();
    EndUpdate();
}

void TAbRMeter::ParamChange(QObject* Sender) {
    TAbAnalogGControl::ParamChange(Sender);
    if (UpdateCount() == 0)
        Invalidate();
}

void TAbRMeter::LogScaleChanged() {
    FScaleSettings->SetLogScale(LogScale());
    if (UpdateCount() == 0)
        Invalidate();
}

void TAbRMeter::OverflowChanged(int) {
    UpdateFlashing();
}

void TAbRMeter::LimitChanged() {
    UpdateFlashing();
}

// Alarm flashing of the pointer; decided once loading has settled the options.
void TAbRMeter::UpdateFlashing() {
    if (Loading())
        return;
    const bool overflow = FOptions.Contains(opOverflow) && (UOverflow() || LOverflow());
    const bool limit = FOptions.Contains(opLimit) && (LLimit() || ULimit());
    FFlashing = overflow || limit;
    if (FFlashing)
        FlashRegister(this, FlashCode(ff2Hz));
    else
        FlashUnregister(this);
}

void TAbRMeter::WMFlash(quint32, qint32 LParam) {
    FFlashColor = LParam != 0 ? cAlarm1 : cAlarm0;
    if (isVisible() && !vChange && !FisToSmall)
        DrawPointer();
}

void TAbRMeter::CalcSize() {
    CalcMeterSize();
}

void TAbRMeter::CalcMeterSize() {
    const TSignalSettings& s = *SignalSettings();
    const QFont font = Font()->ToQFont();
    sName1 = TextExtent(font, s.Name1());
    sName2 = TextExtent(font, s.Name2());
    sUnit = TextExtent(FFontUnit->ToQFont(), s.ValueUnit());
    FScaleSettings->CalcRSize(s.ValueFrom(), s.ValueTo());
    const int textW = FScaleSettings->TextW(), textH = FScaleSettings->TextH();
    const int outer = FOptions.Contains(opBevelOuter) ? 2 * FBevelOuter->TotalWidth() : 0;
    const int inner = FOptions.Contains(opBevelInner) ? 2 * FBevelInner->TotalWidth() : 0;
    int w = FAutoSize ? textH * 10 : std::max(width() - outer - inner, 7 * textH);
    int h = Round((w - textW) / FHeightFactor + textH);
    h += outer;
    w += outer;
    if (FOptions.Contains(opName1)) {
        h += sName1.height();
        w = std::max(w, sName1.width() + outer + inner);
    }
    if (FOptions.Contains(opName2)) {
        h += sName2.height();
        w = std::max(w, sName2.width() + outer + inner);
    }
    h += inner;
    w += inner;
    min_w = qint16(w);
    min_h = qint16(h);
    if (FAutoSize && size() != QSize(w, h))
        resize(w, h);
}

// Nothing is drawn while updates are suspended: the settings may be half applied.
void TAbRMeter::Paint(QPainter& canvas) {
    if (UpdateCount() > 0)
        return;
    TRect r = TRect::FromQRect(rect());
    PaintFrame(canvas, r, FOptions, *FBevelOuter, *FBevelInner, sName1, sName2);
    FisToSmall = r.Width() < 2 || r.Height() < 2;
    if (FisToSmall)
        return;
    canvas.setRenderHint(QPainter::Antialiasing);
    const TRect r0 = r;
    FScaleSettings->RoundScala(canvas, r, float(FStartAngle), float(FRotAngle));
    rPointer = r;
    const TSectorSettings& sectors = *SectorSettings();
    if (FOptions.Contains(opSector))
        DrawSectors(canvas, r.Shrunk(FScaleSettings->sl1() + sectors.Offset()));
    if (sectors.Offset() < 0) {
        TRect again = r0;
        FScaleSettings->RoundScala(canvas, again, float(FStartAngle), float(FRotAngle));
    }
    if (FOptions.Contains(opUnit))
        PaintUnit(canvas, r);
    ArrowStartPos = BuildArrow(rPointer.Width());
    for (QPoint& p : ArrowStartPos.Points)
        p = RotatePoint(p, ArrowStartPos.Centre, float(FStartAngle));
}

void TAbRMeter::PaintUnit(QPainter& canvas, const TRect& r) {
    const int textW = FScaleSettings->TextW(), textH = FScaleSettings->TextH();
    const int y = FMeterType == Ab270Meter ? Round((width() - textW) / 1.18 - textH)
                                           : Round(r.Width() / 3.0 - textH / 2.0) + r.Top;
    canvas.setFont(FFontUnit->ToQFont());
    canvas.setPen(ColorToQColor(FFontUnit->Color()));
    TextOut(canvas, r.Left + (r.Width() - sUnit.width()) / 2, y, SignalSettings()->ValueUnit());
}

void TAbRMeter::DrawSectors(QPainter& canvas, const TRect& ring) {
    const QRect box = ring.ToQRect();
    const int k = ring.Width() / 10 + SectorSettings()->WidthOffset();
    const QRegion outer(box.adjusted(0, 0, 0, 1), QRegion::Ellipse);
    const QRegion inner(ring.Shrunk(k).ToQRect(), QRegion::Ellipse);
    canvas.save();
    canvas.setClipRegion(outer.subtracted(inner));
    const float f = float(FRotAngle) / 1000.0f;
    for (int i = 0; i < 3; ++i) {
        const int from = SectorSettings()->SectorFrom(i), to = SectorSettings()->SectorTo(i);
        if (to - from <= 4 || to <= 0 || from >= 1000)
            continue;
        const QColor color = ColorToQColor(SectorSettings()->SectorColor(i));
        canvas.setPen(color);
        canvas.setBrush(color);
        const int start = from < 0 ? FStartAngle : Round(from * f) + FStartAngle;
        const int extent = from < 0 ? std::min(1000, to) : std::min(1000, to) - from;
        canvas.drawPie(box, (90 - start) * 16, -Round(extent * f) * 16);
    }
    canvas.restore();
    DrawScaleLine(canvas, ring);
}

void TAbRMeter::DrawScaleLine(QPainter& canvas, const TRect& ring) {
    canvas.setPen(QPen(ColorToQColor(FScaleSettings->Color()), FScaleSettings->PenW1()));
    canvas.setBrush(Qt::NoBrush);
    if (!FScaleSettings->DrawLine())
        return;
    if (FMeterType == Ab360Meter) {
        canvas.drawEllipse(ring.ToQRect());
        return;
    }
    const QPoint* linePos = FScaleSettings->LinePos();
    const QRectF box(QRectF(linePos[0], linePos[1]));
    const double from = ScreenAngle(linePos[2], box), to = ScreenAngle(linePos[3], box);
    double span = std::fmod(to - from + 360.0, 360.0);
    if (span == 0)
        span = 360.0;
    canvas.drawArc(box, Round(from * 16), Round(span * 16));
}

void TAbRMeter::BuildMarks() {
    const int c = ArrowStartPos.Centre.x(), sl1 = FScaleSettings->sl1();
    const int b = Round(sl1 * 0.6);
    minPointerStart = {QPoint(c, sl1 + b), QPoint(c, 1), QPoint(c - b, 1)};
    maxPointerStart = {QPoint(c, sl1 + b), QPoint(c, 1), QPoint(c + b, 1)};
    for (auto* mark : {&minPointerStart, &maxPointerStart})
        for (QPoint& p : *mark)
            p = RotatePoint(p, ArrowStartPos.Centre, float(FStartAngle));
}

// The hub circles do not move with the pointer: drawn once here, placed by DrawPointer.
void TAbRMeter::BuildHubs() {
    const TArrowSettings& arrow = *FArrowSettings;
    const int half = std::max(ArrowStartPos.Hub1Radius, ArrowStartPos.Hub2Radius) + 2;
    FHubBmp = NewBitmap(QSize(2 * half, 2 * half));
    FHubBmp.fill(Qt::transparent);
    QPainter canvas(&FHubBmp);
    canvas.setRenderHint(QPainter::Antialiasing);
    auto hub = [&](int radius, TColor pen, TColor brush) {
        if (radius <= 0)
            return;
        canvas.setPen(ColorToQColor(pen));
        canvas.setBrush(ColorToQColor(brush));
        canvas.drawEllipse(QPoint(half, half), radius, radius);
    };
    hub(ArrowStartPos.Hub1Radius, arrow.ColorCP1Pen(), arrow.ColorCP1Brush());
    hub(ArrowStartPos.Hub2Radius, arrow.ColorCP2Pen(), arrow.ColorCP2Brush());
}

void TAbRMeter::PaintDone() {
    if (UpdateCount() > 0)
        BmpPointerArea = QImage(); // no dial to draw the pointer over
    if (FisToSmall || UpdateCount() > 0)
        return;
    FPointerOpaque = FOptions.Contains(opBevelOuter) || FOptions.Contains(opBevelInner);
    BmpPointerArea =
        CopyFromCache(rPointer.ToQRect().intersected(rect()),
                      FPointerOpaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    FDrawnRect = QRect();
    BuildMarks();
    BuildHubs();
    ValueChanged();
}

void TAbRMeter::ValueChanged() {
    const bool outer = vChange;
    vChange = true;
    TAbAnalogGControl::ValueChanged();
    // A new extreme runs ValueChanged again from inside; the outermost run draws.
    if (!outer && !FisToSmall && (InPaint() || isVisible()))
        DrawPointer();
    vChange = outer;
}

QPolygon TAbRMeter::MarkPolygon(const std::array<QPoint, 3>& mark, int PPT) const {
    const float angle = float(FRotAngle) / 1000.0f * float(PPT);
    QPolygon polygon;
    for (QPoint p : mark)
        polygon << RotatePoint(p, ArrowStartPos.Centre, angle);
    return polygon;
}

QRect TAbRMeter::HubRect() const {
    const QSize size = FHubBmp.size() / FHubBmp.devicePixelRatio();
    return QRect(ArrowActPos.Centre - QPoint(size.width() / 2, size.height() / 2), size);
}

// Moves the pointer and the min/max marks to the current positions and repaints, over
// the saved dial, just the part that the old and the new drawing cover.
void TAbRMeter::DrawPointer() {
    if (FisToSmall || BmpPointerArea.width() / BmpPointerArea.devicePixelRatio() < 2)
        return;
    const float f = float(FRotAngle) / 1000.0f;
    ArrowActPos = ArrowStartPos;
    for (QPoint& p : ArrowActPos.Points)
        p = RotatePoint(p, ArrowStartPos.Centre, f * float(PPT()));
    QRect drawn = QPolygon(ArrowActPos.Points).boundingRect() | HubRect();
    if (MinMax()->MinVisible()) {
        minPointer = MarkPolygon(minPointerStart, MinPPT());
        drawn |= minPointer.boundingRect();
    }
    if (MinMax()->MaxVisible()) {
        maxPointer = MarkPolygon(maxPointerStart, MaxPPT());
        drawn |= maxPointer.boundingRect();
    }
    drawn.adjust(-2, -2, 2, 2); // antialiased edges and the outline pen
    // One rectangle: painting through a clip of several rectangles costs far more.
    const QRect dirty = drawn | FDrawnRect;
    FDrawnRect = drawn;
    RepaintValue(dirty.translated(rPointer.Left, rPointer.Top).intersected(PointerArea()),
                 FPointerOpaque);
}

void TAbRMeter::DrawMark(QPainter& canvas, const QPolygon& mark, int PPT, TColor color) {
    TColor sectorColor = color;
    if (MinMax()->UseSectorCol() && SectorSettings()->CheckSectorColor(PPT, sectorColor))
        color = sectorColor;
    canvas.setPen(ColorToQColor(color));
    canvas.setBrush(ColorToQColor(color));
    canvas.drawPolygon(mark);
}

// The saved dial under `area`, then the marks, the pointer and its hub.
void TAbRMeter::PaintValue(QPainter& canvas, const QRect& area) {
    const QRect target = area.intersected(PointerArea());
    if (FisToSmall || BmpPointerArea.isNull() || target.isEmpty())
        return;
    const qreal ratio = BmpPointerArea.devicePixelRatio();
    const QRect source = target.translated(-rPointer.Left, -rPointer.Top);
    canvas.drawImage(target, BmpPointerArea,
                     QRect(source.topLeft() * ratio, source.size() * ratio));
    canvas.save();
    canvas.setClipRect(target, Qt::IntersectClip); // the pointer stays inside its area
    canvas.translate(rPointer.Left, rPointer.Top);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    if (MinMax()->MinVisible())
        DrawMark(canvas, minPointer, MinPPT(), MinMax()->MinColor());
    if (MinMax()->MaxVisible())
        DrawMark(canvas, maxPointer, MaxPPT(), MinMax()->MaxColor());
    const TArrowSettings& arrow = *FArrowSettings;
    canvas.setPen(ColorToQColor(arrow.ColorPen()));
    canvas.setBrush(ColorToQColor(FFlashing ? FFlashColor : arrow.ColorBrush()));
    canvas.drawPolygon(QPolygon(ArrowActPos.Points));
    canvas.drawImage(HubRect().topLeft(), FHubBmp);
    canvas.restore();
}

TAb270Meter::TAb270Meter(QWidget* parent) : TAbRMeter(parent) {
    FStartAngle = 225;
    FRotAngle = 270;
    FHeightFactor = 1.18f;
    resize(252, 252);
    ScaleSettings()->SetSteps(10);
    FMeterType = Ab270Meter;
}
