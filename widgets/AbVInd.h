#pragma once
// The numeric readout: a caption and the value as text in a dark box, optionally
// followed by the unit. A new value redraws the inner value box alone.
#include "widgets/GlyphBitmap.h"
#include "widgets/_GClass.h"

using TValueIndOptions = TSet<TAbOption>;

class TAbValueInd : public TAbAnalogGControl {
public:
    explicit TAbValueInd(QWidget* parent);
    ~TAbValueInd() override;

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool v);
    TFont* FontValue() { return FFontValue.get(); }
    void SetFontValue(const TFont& v);
    TAbSBevel* BevelInner() { return FBevelInner.get(); }
    TAbSBevel* BevelOuter() { return FBevelOuter.get(); }
    TAbSBevel* BevelValue() { return FBevelValue.get(); }
    TValueIndOptions Options() const { return FOptions; }
    void SetOptions(TValueIndOptions v);

    // The part of the value box's face sized for the format, where the value text is drawn.
    QRect ValueArea() const { return rValue.ToQRect(); }
    // The whole face inside the value box's frame.
    QRect FaceArea() const { return rFace.ToQRect(); }

    void Loaded() override;

protected:
    void ParamChange(QObject* Sender) override;
    void ValueChanged() override;

    void CalcSize() override;
    void Paint(QPainter& canvas) override;
    void PaintDone() override;
    void PaintValue(QPainter& canvas, const QRect& area) override;

private:
    QRect ShowValue();

    bool FAutoSize = true;
    std::unique_ptr<TFont> FFontValue;
    std::unique_ptr<TAbSBevel> FBevelInner, FBevelOuter, FBevelValue;
    TValueIndOptions FOptions{opName1, opName2, opUnit};
    QSize sName1, sName2, sValue, sUnit;
    TRect rFace, rValue;
    qint16 min_w = 0, min_h = 0;
    TGlyphBitmap FValueBmp; // the value box's face with the value
    bool FValueChanging = false;
};
