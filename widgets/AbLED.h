#pragma once
// The lamp: a coloured lamp with a caption beside it. A change of state (or a flash
// phase) redraws the lamp alone.
#include "widgets/_GClass.h"

#include <QImage>

enum TLEDShape {
    sRound,
    sArrowLeft,
    sArrowRight,
    sArrowUp,
    sArrowDown,
    sRectangle,
    sDiamondLeft,
    sDiamondRight
};

enum TLEDPos { lpLeft, lpRight, lpTop, lpBottom };

class TLED : public TAbPersistent {
public:
    TLEDShape Shape() const { return FShape; }
    TColor ColorOn() const { return FColorOn; }
    TColor ColorOff() const { return FColorOff; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetShape(TLEDShape v) { SetProp(FShape, v); }
    void SetColorOn(TColor v) { SetProp(FColorOn, v); }
    void SetColorOff(TColor v) { SetProp(FColorOff, v); }
    void SetWidth(int v);
    void SetHeight(int v);
    // The lamp's current box in control coordinates.
    QRect Rect() const { return FRect; }
    void SetRect(const QRect& r) { FRect = r; }

    void Draw(QPainter& canvas, bool Checked) const;

private:
    // The lamp drawn once per state, colours and size, and copied from then on.
    struct TFace {
        QImage Picture;
        QColor Fill, Shadow, Highlight;
        TLEDShape Shape;
    };

    QPolygon Outline() const;
    void DrawShape(QPainter& canvas, const TFace& face) const;

    TLEDShape FShape = sRound;
    TColor FColorOn = clLime, FColorOff = clBtnFace;
    int FWidth = 13, FHeight = 13;
    QRect FRect;
    mutable TFace FFaces[2]; // off, on
};

class TAbLED : public TAbBinGControl {
public:
    explicit TAbLED(QWidget* parent);
    ~TAbLED() override;

    TLED* LED() { return FLED.get(); }
    TLEDPos LED_Position() const { return FLED_Position; }
    void SetLED_Position(TLEDPos v);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int v);
    // Setting any font property makes the lamp use its own font instead of its parent's.
    TFont* Font() { return FFont.get(); }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool v);

protected:
    void ParamChange(QObject* Sender) override;
    void StatusChanged() override;
    void Flash(bool status) override;

    void Paint(QPainter& canvas) override;
    void PaintValue(QPainter& canvas, const QRect& area) override;
    void changeEvent(QEvent* e) override;

private:
    QFont CaptionFont() const;
    QColor CaptionColor() const;
    void DrawCaption(QPainter& canvas, const QRect& box);

    std::unique_ptr<TLED> FLED;
    TLEDPos FLED_Position = lpLeft;
    int FSpacing = 5;
    std::unique_ptr<TFont> FFont;
    bool FParentFont = true;
    bool FShownState = false; // the state the lamp shows: Checked, or the flash phase
};
