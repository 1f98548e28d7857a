#pragma once
// Bevelled frames with a filled face, their gradient and offsets.
#include "widgets/GPersistent.h"

enum TGradientStyle { gsHorizontal1 };

class TAbGradSettings : public TAbPersistent {
public:
    TAbGradSettings(TColor from = RGBColor(226, 226, 226), TColor to = RGBColor(143, 143, 143),
                    bool visible = false);

    TColor ColorFrom() const { return FColorFrom; }
    TColor ColorTo() const { return FColorTo; }
    bool Visible() const { return FVisible; }
    TGradientStyle Style() const { return FStyle; }
    void SetColorFrom(TColor v) { SetProp(FColorFrom, v); }
    void SetColorTo(TColor v) { SetProp(FColorTo, v); }
    void SetVisible(bool v) { SetProp(FVisible, v); }
    void SetStyle(TGradientStyle v) { SetProp(FStyle, v); }

    void PaintGradient(QPainter& canvas, const TRect& r) const;

private:
    TColor FColorFrom, FColorTo;
    bool FVisible;
    TGradientStyle FStyle = gsHorizontal1;
};

class TAbOffset : public TAbPersistent {
public:
    int Top() const { return FTop; }
    int Left() const { return FLeft; }
    int Right() const { return FRight; }
    int Bottom() const { return FBottom; }
    void SetTop(int v) { SetProp(FTop, v); }
    void SetLeft(int v) { SetProp(FLeft, v); }
    void SetRight(int v) { SetProp(FRight, v); }
    void SetBottom(int v) { SetProp(FBottom, v); }
    TRect SetOffset(const TRect& r) const;

private:
    int FTop = 0, FLeft = 0, FRight = 0, FBottom = 0;
};

enum TBevelStyle { bsLowered, bsRaised };
enum TBevelLine { blNone, blOuter, blInner, blBoth };

// A 3-D frame with a filled face, shared by the meter and the value indicator.
class TAbSBevel : public TAbPersistent {
public:
    TAbSBevel(TBevelStyle style = bsRaised, int spacing = 5, TBevelLine line = blNone,
              TColor color = clBtnFace);

    TBevelStyle Style() const { return FStyle; }
    int Spacing() const { return FSpacing; }
    TBevelLine BevelLine() const { return FBevelLine; }
    int Width() const { return FWidth; }
    TColor Color() const { return FColor; }
    TColor ColorShadowFrom() const { return FColorShadowFrom; }
    TColor ColorShadowTo() const { return FColorShadowTo; }
    TColor ColorHighLightFrom() const { return FColorHighLightFrom; }
    TColor ColorHighLightTo() const { return FColorHighLightTo; }
    TColor PenColor() const { return FPenColor; }
    TAbOffset* Offset() { return &FOffset; }
    TAbGradSettings* SurfaceGrad() { return &FSurfaceGrad; }
    int TotalWidth() const { return FTotalWidth; }
    void SetStyle(TBevelStyle v) { SetProp(FStyle, v); }
    void SetSpacing(int v) { SetProp(FSpacing, v); }
    void SetBevelLine(TBevelLine v) { SetProp(FBevelLine, v); }
    void SetWidth(int v) { SetProp(FWidth, v); }
    void SetColor(TColor v) { SetProp(FColor, v); }
    void SetColorShadowFrom(TColor v) { SetProp(FColorShadowFrom, v); }
    void SetColorShadowTo(TColor v) { SetProp(FColorShadowTo, v); }
    void SetColorHighLightFrom(TColor v) { SetProp(FColorHighLightFrom, v); }
    void SetColorHighLightTo(TColor v) { SetProp(FColorHighLightTo, v); }
    void SetPenColor(TColor v) { SetProp(FPenColor, v); }

    void Change() override;
    // Paints the bevel into r and returns in r the free inner rectangle.
    void PaintFilledBevel(QPainter& canvas, TRect& r) const;

private:
    void PaintFrame(QPainter& canvas, TRect& r) const;

    TBevelStyle FStyle;
    int FSpacing;
    TBevelLine FBevelLine;
    int FWidth = 2;
    TColor FColor;
    TColor FColorShadowFrom = clBtnShadow, FColorShadowTo = clBtnShadow;
    TColor FColorHighLightFrom = clBtnHighlight, FColorHighLightTo = clBtnHighlight;
    TColor FPenColor = clBlack;
    TAbOffset FOffset;
    TAbGradSettings FSurfaceGrad;
    int FTotalWidth = 0;
};

// A one-pixel 3-D frame on r (top and left in a, bottom and right in b); r shrinks by 1.
void Frame3D(QPainter& canvas, TRect& r, const QColor& a, const QColor& b);
