#pragma once
// The two-state colour button: a gradient face, a 3-D bevel that goes down while
// pressed or checked, an optional glyph and a text that follow the state.
#include "widgets/_GClass.h"

#include <QImage>

class TAbBtnBevel : public TAbPersistent {
public:
    TColor ShadowColFrom() const { return FShadowColFrom; }
    TColor ShadowColTo() const { return FShadowColTo; }
    TColor HighlightColFrom() const { return FHighlightColFrom; }
    TColor HighlightColTo() const { return FHighlightColTo; }
    int Width() const { return FWidth; }
    void SetShadowColFrom(TColor v) { SetProp(FShadowColFrom, v); }
    void SetShadowColTo(TColor v) { SetProp(FShadowColTo, v); }
    void SetHighlightColFrom(TColor v) { SetProp(FHighlightColFrom, v); }
    void SetHighlightColTo(TColor v) { SetProp(FHighlightColTo, v); }
    void SetWidth(int v);

    // The button frame on r (r shrinks by Width); raised when `up`.
    void PaintBevel(QPainter& canvas, TRect& r, bool up, bool filled, TColor Col) const;

private:
    TColor FShadowColFrom = clBlack, FShadowColTo = clBtnShadow;
    TColor FHighlightColFrom = RGBColor(210, 210, 210), FHighlightColTo = clBtnHighlight;
    int FWidth = 2;
};

enum TPosH { phLeft, phRight, phCenter };
enum TPosV { pvTop, pvBottom, pvCenter };
enum TPos { pLeft, pRight, pTop, pBottom };
enum TFlashOption { foGlyph, foText, foTextCol, foBtnCol };
using TFlashOptions = TSet<TFlashOption>;
enum TCheckedOption { coGlyph, coText, coTextCol, coBtnCol, coBevel };
using TCheckedOptions = TSet<TCheckedOption>;

class TAbColBitBtn : public TAbBinGControl {
public:
    explicit TAbColBitBtn(QWidget* parent);
    ~TAbColBitBtn() override;

    QString TextOn() const { return FTextOn; }
    QString TextOff() const { return FTextOff; }
    TColor TextColOn() const { return FTextColOn; }
    TColor TextColOff() const { return FTextColOff; }
    TColor TextColDisabled() const { return FTextColDisabled; }
    bool Text3D() const { return FText3D; }
    TColor ColorOn() const { return FColorOn; }
    TColor ColorOff() const { return FColorOff; }
    TColor ColorDisabled() const { return FColorDisabled; }
    TAbGradSettings* GradBtnFace() { return FGradBtnFace.get(); }
    TAbBtnBevel* ButtonBevel() { return FButtonBevel.get(); }
    bool Beveled() const { return FBeveled; }
    bool Flat() const { return FFlat; }
    bool Transparent() const { return FTransparent; }
    QImage Glyph() const { return FGlyph; }
    int NumGlyph() const { return FNumGlyph; }
    TPosH PosHorizontal() const { return FPosHorizontal; }
    TPosV PosVertical() const { return FPosVertical; }
    TPos PosGlyph() const { return FPosGlyph; }
    int Spacing() const { return FSpacing; }
    int OffsetX() const { return FOffsetX; }
    int OffsetY() const { return FOffsetY; }
    int OffsetDown() const { return FOffsetDown; }
    TFlashOptions FlashOptions() const { return FFlashOptions; }
    TCheckedOptions CheckedOptions() const { return FCheckedOptions; }
    bool Enabled() const { return FEnabled; }
    TFont* Font() { return FFont.get(); }
    bool FlashStatus() const { return FFlashStatus; }
    bool MouseInControl() const { return FMouseInControl; }

    void SetTextOn(const QString& v) { SetLook(FTextOn, v); }
    void SetTextOff(const QString& v) { SetLook(FTextOff, v); }
    void SetTextColOn(TColor v) { SetLook(FTextColOn, v); }
    void SetTextColOff(TColor v) { SetLook(FTextColOff, v); }
    void SetTextColDisabled(TColor v) { SetLook(FTextColDisabled, v); }
    void SetText3D(bool v) { SetLook(FText3D, v); }
    void SetColorOn(TColor v) { SetLook(FColorOn, v); }
    void SetColorOff(TColor v) { SetLook(FColorOff, v); }
    void SetColorDisabled(TColor v) { SetLook(FColorDisabled, v); }
    void SetBeveled(bool v) { SetLook(FBeveled, v); }
    void SetFlat(bool v) { SetLook(FFlat, v); }
    void SetTransparent(bool v);
    void SetGlyph(const QImage& v);
    void SetNumGlyph(int v);
    void SetPosHorizontal(TPosH v) { SetLook(FPosHorizontal, v); }
    void SetPosVertical(TPosV v) { SetLook(FPosVertical, v); }
    void SetPosGlyph(TPos v) { SetLook(FPosGlyph, v); }
    void SetSpacing(int v) { SetLook(FSpacing, v); }
    void SetOffsetX(int v) { SetLook(FOffsetX, v); }
    void SetOffsetY(int v) { SetLook(FOffsetY, v); }
    void SetOffsetDown(int v) { SetLook(FOffsetDown, v); }
    void SetFlashOptions(TFlashOptions v) { FFlashOptions = v; }
    void SetCheckedOptions(TCheckedOptions v) { SetLook(FCheckedOptions, v); }
    void SetEnabled(bool v) { SetLook(FEnabled, v); }

    void Loaded() override;

protected:
    void ParamChange(QObject* Sender) override;
    void StatusChanged() override;
    void Flash(bool status) override;
    void Draw(bool stGlyph, bool stText, bool stTextCol, bool stBtn);

    void Paint(QPainter& canvas) override;
    void PaintDone() override;
    void PaintValue(QPainter& canvas, const QRect& area) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    template <class T> void SetLook(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        StatusChanged();
    }
    TRect FaceRect() const;
    void PaintFrame(QPainter& canvas, TColor face);
    void PaintContent(QPainter& canvas, const QString& text, bool stGlyph, bool stTextCol);
    void PaintText(QPainter& canvas, QPoint at, int blockWidth, const QString& text,
                   bool stTextCol);
    void PaintGlyph(QPainter& canvas, QPoint at, bool stGlyph);

    QString FTextOn, FTextOff;
    TColor FTextColOn = clLime, FTextColOff = clBlack, FTextColDisabled = clBtnShadow;
    bool FText3D = true;
    TColor FColorOn = clBtnFace, FColorOff = clBtnFace, FColorDisabled = RGBColor(160, 160, 160);
    std::unique_ptr<TAbGradSettings> FGradBtnFace;
    std::unique_ptr<TAbBtnBevel> FButtonBevel;
    bool FBeveled = true, FFlat = false, FTransparent = false;
    QImage FGlyph;
    QRgb FGlyphTransparent = 0;
    int FNumGlyph = 1;
    TPosH FPosHorizontal = phCenter;
    TPosV FPosVertical = pvCenter;
    TPos FPosGlyph = pLeft;
    int FSpacing = 4, FOffsetX = 0, FOffsetY = 0, FOffsetDown = 1;
    TFlashOptions FFlashOptions{foGlyph, foText, foTextCol, foBtnCol};
    TCheckedOptions FCheckedOptions{coGlyph, coText, coTextCol, coBtnCol, coBevel};
    bool FEnabled = true;
    std::unique_ptr<TFont> FFont;
    QImage BmpBackground;
    QImage FComposed; // the last drawn button, shown by PaintValue
    bool FFlashStatus = false;
    bool FMouseInControl = false;
    bool FPainting = false;
};
