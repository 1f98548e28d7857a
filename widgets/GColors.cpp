#include "widgets/GColors.h"

#include "core/Numbers.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

QPalette::ColorRole SystemColorRole(TColor c) {
    switch (c) {
    case clWindow:
        return QPalette::Base;
    case clWindowText:
        return QPalette::WindowText;
    case clAppWorkSpace:
        return QPalette::Mid;
    case clHighlight:
        return QPalette::Highlight;
    case clHighlightText:
        return QPalette::HighlightedText;
    case clBtnShadow:
        return QPalette::Dark;
    case clBtnText:
        return QPalette::ButtonText;
    case clBtnHighlight:
        return QPalette::Light;
    case cl3DDkShadow:
        return QPalette::Shadow;
    case cl3DLight:
        return QPalette::Midlight;
    case clInfoText:
        return QPalette::ToolTipText;
    case clInfoBk:
        return QPalette::ToolTipBase;
    default:
        return QPalette::Button;
    }
}

} // namespace

QColor ColorToQColor(TColor c) {
    if ((c & 0xFF000000) == clSystemColor) {
        const QPalette palette = QGuiApplication::palette();
        if (c == clGrayText)
            return palette.color(QPalette::Disabled, QPalette::Text);
        return palette.color(QPalette::Active, SystemColorRole(c));
    }
    return QColor(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF));
}

TColor ColorToRGB(TColor c) {
    const QColor q = ColorToQColor(c);
    return RGBColor(q.red(), q.green(), q.blue());
}

TColor BlendColor(TColor from, TColor to, int steps, int k) {
    const TColor f = ColorToRGB(from), t = ColorToRGB(to);
    if (f == t)
        return from;
    if (steps == 0)
        steps = 1;
    auto channel = [&](int shift) {
        const int a = int(f >> shift & 0xFF), b = int(t >> shift & 0xFF);
        return a + Round(double(b - a) / steps * k);
    };
    return RGBColor(channel(0), channel(8), channel(16));
}
