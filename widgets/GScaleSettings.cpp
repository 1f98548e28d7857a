#include "widgets/GScaleSettings.h"

#include "core/Numbers.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

QPoint RotatePoint(QPoint p, QPoint c, float angle) {
    const float a = angle * std::numbers::pi_v<float> / 180.0f;
    const float cs = std::cos(a), sn = std::sin(a);
    const float dx = float(p.x() - c.x()), dy = float(p.y() - c.y());
    return QPoint(c.x() + Round(dx * cs - dy * sn), c.y() + Round(dy * cs + dx * sn));
}

TScaleSettings::TScaleSettings() : FFont("Arial", -19) {
    FFont.OnChange = [this](QObject*) { Change(); };
}

void TScaleSettings::SetSteps(int v) {
    if (v >= 1 && v <= 20)
        SetProp(FSteps, v);
}

void TScaleSettings::SetSubSteps(int v) {
    if (v >= 1 && v <= 10)
        SetProp(FSubSteps, v);
}

void TScaleSettings::SetDrawLine(bool v) {
    FDrawLine = v;
    Change();
}

QStringList TScaleSettings::Labels() const {
    return FText.split(';');
}

void TScaleSettings::CalcRSize(float ValueFrom, float ValueTo) {
    FText.clear();
    if (FLogScale) {
        FLogSteps = std::max(1, Round(std::log10(double(ValueTo) / double(ValueFrom))));
        for (int i = 0; i <= FLogSteps; ++i)
            FText += FormatFloat(FValueFormatLog, double(ValueFrom) * std::pow(10.0, i)) + ';';
    } else {
        const float step = (ValueFrom - ValueTo) / float(FSteps);
        for (int i = 0; i <= FSteps; ++i)
            FText += FormatFloat(FValueFormat, ValueTo + float(FSteps - i) * step) + ';';
    }
    const QFontMetrics metrics(FFont.ToQFont());
    FTextW = 0;
    for (const QString& label : Labels())
        FTextW = std::max(FTextW, metrics.horizontalAdvance(label));
    FTextH = metrics.height();
    FPenW1 = Round(FTextH / 14.0);
    FSpacing = (FTextW < FTextH ? FTextH / 2 : FTextW / 2) + 1;
}

void TScaleSettings::DrawMinorTicks(QPainter& canvas, QPoint c, const QPoint* pts, float base,
                                    float m) {
    canvas.setPen(QPen(ColorToQColor(FColor), 1));
    for (int j = 1; j < FSubSteps; ++j) {
        const int angle = FLogScale ? Round(std::log10(j * 10.0 / FSubSteps) * m * FSubSteps + base)
                                    : Round(base + j * m);
        canvas.drawLine(RotatePoint(pts[1], c, float(angle)), RotatePoint(pts[2], c, float(angle)));
    }
}

void TScaleSettings::RoundScala(QPainter& canvas, TRect& r, float AlphaFrom, float Alpha) {
    canvas.setFont(FFont.ToQFont());
    canvas.setBrush(Qt::NoBrush);
    // Ticks are lines on whole pixels in the pen's own colour: smoothed, a 1-pixel tick on
    // a pixel column would spread over two half-tone columns.
    const bool smooth = canvas.testRenderHint(QPainter::Antialiasing);
    canvas.setRenderHint(QPainter::Antialiasing, false);
    const int E = FLogScale ? FLogSteps : FSteps;
    const int cx = r.Left + r.Width() / 2;
    const int R = FSpacing + (r.Width() - 2 * FSpacing) / 2 - FTextW / 2;
    Fsl1 = R / 8;
    Fsl2 = FPenW1 == 1 ? Fsl1 / 2 : Round(Fsl1 / 1.4);
    const int cy = r.Top + R + FTextH / 2;
    const int a = FTextW / 2, p = FPenW1 / 2;
    r = {cx - R + a + p, cy - R + a + p, cx + R - a + p - 1, cy + R - a + p - 1};
    const float m = Alpha / float(FSubSteps * E), M = float(FSubSteps) * m;
    const QPoint c(cx, cy);
    QPoint pts[4] = {{cx, cy - (R - FSpacing)},
                     {cx, cy - (R - FSpacing - Fsl1)},
                     {cx, cy - (R - FSpacing - Fsl1 + Fsl2)},
                     {cx, cy - R}};
    for (QPoint& point : pts)
        point = RotatePoint(point, c, AlphaFrom);
    const QStringList labels = Labels();
    const QPen majorPen(ColorToQColor(FColor), FPenW1);
    auto drawLabel = [&](float angle, int L) {
        const QString label = labels.value(L);
        const QPoint at = RotatePoint(pts[3], c, angle);
        canvas.setPen(ColorToQColor(FFont.Color()));
        const QSize size = TextExtent(canvas.font(), label);
        TextOut(canvas, at.x() - size.width() / 2, at.y() - size.height() / 2, label);
    };
    auto drawMajorTick = [&](float angle) {
        canvas.setPen(majorPen);
        canvas.drawLine(RotatePoint(pts[0], c, angle), RotatePoint(pts[1], c, angle));
    };
    for (int L = 0; L < E; ++L) {
        drawLabel(float(L) * M, L);
        drawMajorTick(float(L) * M);
        DrawMinorTicks(canvas, c, pts, float(L) * M, m);
    }
    // A full circle's last label would sit on its first; its last tick is still drawn.
    if (Alpha != 360)
        drawLabel(Alpha, E);
    drawMajorTick(Alpha);
    canvas.setRenderHint(QPainter::Antialiasing, smooth);
    FLinePos[0] = QPoint(r.Left + Fsl1, r.Top + Fsl1);
    FLinePos[1] = QPoint(r.Right - Fsl1, r.Bottom - Fsl1 + 1);
    FLinePos[2] = RotatePoint(pts[1], c, Alpha);
    FLinePos[3] = pts[0];
    if (FPenW1 == 1) {
        r.Left += 1;
        r.Top += 1;
    }
}
