#pragma once
// Colours: low byte red, then green, then blue; top byte 0xFF names a system colour.
#include <QColor>
#include <QtGlobal>

using TColor = quint32;
constexpr TColor clSystemColor = 0xFF000000;

constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;

constexpr TColor clWindow = clSystemColor | 5, clWindowText = clSystemColor | 8,
                 clAppWorkSpace = clSystemColor | 12, clHighlight = clSystemColor | 13,
                 clHighlightText = clSystemColor | 14, clBtnFace = clSystemColor | 15,
                 clBtnShadow = clSystemColor | 16, clGrayText = clSystemColor | 17,
                 clBtnText = clSystemColor | 18, clBtnHighlight = clSystemColor | 20,
                 cl3DDkShadow = clSystemColor | 21, cl3DLight = clSystemColor | 22,
                 clInfoText = clSystemColor | 23, clInfoBk = clSystemColor | 24;

constexpr TColor RGBColor(int r, int g, int b) {
    return TColor(r & 0xFF) | TColor(g & 0xFF) << 8 | TColor(b & 0xFF) << 16;
}
// The colour to draw with; system colours come from the application palette.
QColor ColorToQColor(TColor c);
// The colour with a system colour resolved to its RGB value.
TColor ColorToRGB(TColor c);
// Channel-wise step k of `steps` from `from` to `to` (steps 0 taken as 1).
TColor BlendColor(TColor from, TColor to, int steps, int k);
