#pragma once
// The round dial meter: a scale of labels and ticks on an arc and a rotating pointer.
// The dial is painted only on full repaints; a new value redraws the pointer area alone,
// over a saved copy of the dial beneath it.
#include "widgets/_GClass.h"

#include <array>

class TArrowSettings : public TAbPersistent {
public:
    int Shape() const { return FShape; }
    TColor ColorPen() const { return FColorPen; }
    TColor ColorBrush() const { return FColorBrush; }
    TColor ColorCP1Pen() const { return FColorCP1Pen; }
    TColor ColorCP1Brush() const { return FColorCP1Brush; }
    TColor ColorCP2Pen() const { return FColorCP2Pen; }
    TColor ColorCP2Brush() const { return FColorCP2Brush; }
    void SetShape(int v) { SetProp(FShape, v); }
    void SetColorPen(TColor v) { SetProp(FColorPen, v); }
    void SetColorBrush(TColor v) { SetProp(FColorBrush, v); }
    void SetColorCP1Pen(TColor v) { SetProp(FColorCP1Pen, v); }
    void SetColorCP1Brush(TColor v) { SetProp(FColorCP1Brush, v); }
    void SetColorCP2Pen(TColor v) { SetProp(FColorCP2Pen, v); }
    void SetColorCP2Brush(TColor v) { SetProp(FColorCP2Brush, v); }

private:
    int FShape = 0;
    TColor FColorPen = clBlack, FColorBrush = clLime;
    TColor FColorCP1Pen = clBlack, FColorCP1Brush = clBlack;
    TColor FColorCP2Pen = clBlack, FColorCP2Brush = clBtnFace;
};

using TRMeterOption = TAbOption;
using TRMeterOptions = TSet<TAbOption>;

enum TMeterType { Ab360Meter, Ab270Meter, Ab180Meter, Ab120Meter };

// A pointer outline in pointer-area coordinates: polygon, rotation centre, hub radii.
struct TArrowOutline {
    QList<QPoint> Points;
    QPoint Centre;
    int Hub1Radius = 0; // 0: no hub circle
    int Hub2Radius = 0;
};

class TAbRMeter : public TAbAnalogGControl {
public:
    explicit TAbRMeter(QWidget* parent);
    ~TAbRMeter() override;

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    TArrowSettings* ArrowSettings() { return FArrowSettings.get(); }
    TAbSBevel* BevelInner() { return FBevelInner.get(); }
    TAbSBevel* BevelOuter() { return FBevelOuter.get(); }
    TFont* FontUnit() { return FFontUnit.get(); }
    void SetFontUnit(const TFont& v);
    TRMeterOptions Options() const { return FOptions; }
    void SetOptions(TRMeterOptions v);
    TScaleSettings* ScaleSettings() { return FScaleSettings.get(); }

    bool isToSmall() const { return FisToSmall; }
    bool Flashing() const { return FFlashing; }
    TColor FlashColor() const { return FFlashColor; }
    // The pointer area: the box of the tick circle.
    QRect PointerArea() const { return rPointer.ToQRect(); }
    float HeightFactor() const { return FHeightFactor; }
    int StartAngle() const { return FStartAngle; }
    int RotAngle() const { return FRotAngle; }
    TMeterType MeterType() const { return FMeterType; }

    void Loaded() override;

protected:
    void ParamChange(QObject* Sender) override;
    void ValueChanged() override;
    void OverflowChanged(int PPT) override;
    void LimitChanged() override;
    void LogScaleChanged() override;
    void WMFlash(quint32 WParam, qint32 LParam) override;

    void CalcSize() override;
    void Paint(QPainter& canvas) override;
    void PaintDone() override;
    void PaintValue(QPainter& canvas, const QRect& area) override;

    void DrawPointer();

    float FHeightFactor = 1.18f;
    int FStartAngle = 225;
    int FRotAngle = 270;
    TMeterType FMeterType = Ab270Meter;

private:
    void CalcMeterSize();
    void DrawSectors(QPainter& canvas, const TRect& ring);
    void DrawScaleLine(QPainter& canvas, const TRect& ring);
    void PaintUnit(QPainter& canvas, const TRect& r);
    void BuildMarks();
    void BuildHubs();
    QPolygon MarkPolygon(const std::array<QPoint, 3>& mark, int PPT) const;
    void DrawMark(QPainter& canvas, const QPolygon& mark, int PPT, TColor color);
    QRect HubRect() const;
    void UpdateFlashing();

    bool FAutoSize = true;
    std::unique_ptr<TArrowSettings> FArrowSettings;
    std::unique_ptr<TAbSBevel> FBevelInner, FBevelOuter;
    std::unique_ptr<TFont> FFontUnit;
    TRMeterOptions FOptions{opBevelInner, opBevelOuter, opName1,  opName2,
                            opOverflow,   opLimit,      opSector, opUnit};
    std::unique_ptr<TScaleSettings> FScaleSettings;

    bool FisToSmall = false;
    QImage BmpPointerArea; // the dial under the pointer area, saved at the last full repaint
    QRect FDrawnRect;      // part of the pointer area covered by the pointer and marks drawn last
    QImage FHubBmp;        // hub circles, drawn once per full repaint and placed by DrawPointer
    bool FPointerOpaque = false;
    bool FFlashing = false;
    TColor FFlashColor = clRed;
    bool vChange = false;
    TArrowOutline ArrowStartPos, ArrowActPos;
    QPolygon minPointer, maxPointer;
    std::array<QPoint, 3> minPointerStart{}, maxPointerStart{};
    QSize sName1, sName2, sUnit;
    qint16 min_w = 0, min_h = 0;
    TRect rPointer;
};

class TAb270Meter : public TAbRMeter {
public:
    explicit TAb270Meter(QWidget* parent);
};
