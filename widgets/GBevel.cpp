#include "widgets/GBevel.h"

#include "core/Numbers.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>

TAbGradSettings::TAbGradSettings(TColor from, TColor to, bool visible)
    : FColorFrom(from), FColorTo(to), FVisible(visible) {}

void TAbGradSettings::PaintGradient(QPainter& canvas, const TRect& r) const {
    const int height = r.Height();
    if (height <= 0 || r.Width() <= 0)
        return;
    const TColor from = ColorToRGB(FColorFrom), to = ColorToRGB(FColorTo);
    if (from == to) {
        canvas.fillRect(r.ToQRect(), ColorToQColor(from));
        return;
    }
    int start[3], diff[3];
    for (int i = 0; i < 3; ++i) {
        start[i] = int(from >> (8 * i) & 0xFF);
        diff[i] = int(to >> (8 * i) & 0xFF) - start[i];
    }
    const int n =
        std::clamp(std::max({std::abs(diff[0]), std::abs(diff[1]), std::abs(diff[2])}), 1, height);
    const int bandHeight = height / n;
    const int bands = std::max(1, height / bandHeight);
    for (int b = 0; b <= bands; ++b) {
        const int top = r.Top + b * bandHeight;
        const int bottom = std::min(r.Bottom, top + bandHeight);
        if (top >= bottom)
            break;
        auto channel = [&](int i) {
            return start[i] + int(std::trunc(b * double(diff[i]) / bands));
        };
        canvas.fillRect(QRect(r.Left, top, r.Width(), bottom - top),
                        QColor(channel(0), channel(1), channel(2)));
    }
}

TRect TAbOffset::SetOffset(const TRect& r) const {
    return {r.Left + FLeft, r.Top + FTop, r.Right - FRight, r.Bottom - FBottom};
}

TAbSBevel::TAbSBevel(TBevelStyle style, int spacing, TBevelLine line, TColor color)
    : FStyle(style), FSpacing(spacing), FBevelLine(line), FColor(color) {
    FOffset.OnChange = [this](QObject*) { Change(); };
    FSurfaceGrad.OnChange = [this](QObject*) { Change(); };
    Change();
}

void TAbSBevel::Change() {
    FTotalWidth = FSpacing + FWidth;
    if (FBevelLine == blOuter || FBevelLine == blInner)
        FTotalWidth += 1;
    else if (FBevelLine == blBoth)
        FTotalWidth += 2;
    TAbPersistent::Change();
}

void Frame3D(QPainter& canvas, TRect& r, const QColor& a, const QColor& b) {
    const int w = r.Width(), h = r.Height();
    if (w > 0 && h > 0) {
        canvas.fillRect(r.Left, r.Top, w - 1, 1, a);
        canvas.fillRect(r.Left, r.Top, 1, h - 1, a);
        canvas.fillRect(r.Right - 1, r.Top, 1, h - 1, b);
        canvas.fillRect(r.Left, r.Bottom - 1, w, 1, b);
    }
    r = r.Shrunk(1);
}

void TAbSBevel::PaintFrame(QPainter& canvas, TRect& r) const {
    canvas.fillRect(r.ToQRect(), ColorToQColor(FColor));
    for (int k = 1; k <= FWidth; ++k) {
        const bool raised = FStyle == bsRaised;
        const TColor a = raised ? BlendColor(FColorHighLightFrom, FColorHighLightTo, FWidth, k)
                                : BlendColor(FColorShadowTo, FColorShadowFrom, FWidth, k);
        const TColor b = raised ? BlendColor(FColorShadowFrom, FColorShadowTo, FWidth, k)
                                : BlendColor(FColorHighLightTo, FColorHighLightFrom, FWidth, k);
        Frame3D(canvas, r, ColorToQColor(a), ColorToQColor(b));
    }
}

void TAbSBevel::PaintFilledBevel(QPainter& canvas, TRect& r) const {
    const TRect r0 = r;
    canvas.fillRect(r0.ToQRect(), ColorToQColor(FColor));
    const bool outer = FBevelLine == blOuter || FBevelLine == blBoth;
    const bool inner = FBevelLine == blInner || FBevelLine == blBoth;
    if (outer)
        r = r.Shrunk(1);
    const TRect face = r.Shrunk(FTotalWidth - FSpacing);
    PaintFrame(canvas, r);
    if (FSurfaceGrad.Visible())
        FSurfaceGrad.PaintGradient(canvas, face);
    canvas.setPen(QPen(ColorToQColor(FPenColor), 1));
    canvas.setBrush(Qt::NoBrush);
    if (inner) {
        canvas.drawRect(r.Left, r.Top, r.Width() - 1, r.Height() - 1);
        r = r.Shrunk(1);
    }
    if (outer)
        canvas.drawRect(r0.Left, r0.Top, r0.Width() - 1, r0.Height() - 1);
    r = FOffset.SetOffset(r.Shrunk(FSpacing));
}
