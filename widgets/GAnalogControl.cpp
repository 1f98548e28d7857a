#include "widgets/GAnalogControl.h"

#include <QPainter>

// The model's hooks, handed to the control's overridable ones: the dial and the readout
// redraw from there.
class TAbAnalogGControl::TShownValue final : public TAbAnalogValue {
public:
    explicit TShownValue(TAbAnalogGControl& control) : TAbAnalogValue(&control), C(control) {}

protected:
    void ValueChanged() override { C.ValueChanged(); }
    void OverflowChanged(int PPT) override { C.OverflowChanged(PPT); }
    void LimitChanged() override { C.LimitChanged(); }
    void MinMaxChanged(QObject* Sender) override { C.MinMaxChanged(Sender); }
    void LogScaleChanged() override { C.LogScaleChanged(); }
    void SettingsChanged(QObject* Sender) override { C.ParamChange(Sender); }

private:
    TAbAnalogGControl& C;
};

TAbAnalogGControl::TAbAnalogGControl(QWidget* parent)
    : TAbGraphicControl(parent), FValue(std::make_unique<TShownValue>(*this)),
      OnValueChange(FValue->OnValueChange), OnLimit(FValue->OnLimit),
      OnOverflow(FValue->OnOverflow), OnSectorChange(FValue->OnSectorChange),
      OnMinMaxChange(FValue->OnMinMaxChange), OnSettingsChange(FValue->OnSettingsChange),
      FFont(std::make_unique<TFont>("Arial", -11)), pPosLeftTop(pos()) {}

TAbAnalogGControl::~TAbAnalogGControl() = default;

void TAbAnalogGControl::Loaded() {
    TAbGraphicControl::Loaded();
    FFont->OnChange = [this](QObject* Sender) { ParamChange(Sender); };
    FValue->Loaded();
}

void TAbAnalogGControl::ParamChange(QObject*) {
    FValue->Recalculate();
}

void TAbAnalogGControl::CheckPosition() {
    if (pos() == pPosLeftTop)
        return;
    pPosLeftTop = pos();
    Raise(OnPosChanged, this);
}

void TAbAnalogGControl::ValueChanged() {
    CheckPosition();
    FValue->Refresh();
}

void TAbAnalogGControl::OverflowChanged(int) {}

void TAbAnalogGControl::LimitChanged() {}

void TAbAnalogGControl::MinMaxChanged(QObject* Sender) {
    Raise(OnMinMaxChange, Sender);
    ValueChanged();
}

void TAbAnalogGControl::LogScaleChanged() {
    UpdateParams();
}

void TAbAnalogGControl::PaintFrame(QPainter& canvas, TRect& r, const TSet<TAbOption>& options,
                                   TAbSBevel& outer, TAbSBevel& inner, QSize name1, QSize name2) {
    int d = 0;
    if (options.Contains(opBevelOuter)) {
        outer.PaintFilledBevel(canvas, r);
        d = outer.Spacing() / 2;
    }
    canvas.setFont(Font()->ToQFont());
    canvas.setPen(ColorToQColor(Font()->Color()));
    canvas.setBrush(Qt::NoBrush);
    const TSignalSettings& s = *SignalSettings();
    if (options.Contains(opName2)) {
        r.Bottom -= name2.height();
        TextOut(canvas, r.Left + (r.Width() - name2.width()) / 2, r.Bottom + d, s.Name2());
    }
    if (options.Contains(opName1)) {
        r.Bottom -= name1.height();
        TextOut(canvas, r.Left + (r.Width() - name1.width()) / 2, r.Bottom + d, s.Name1());
    }
    if (options.Contains(opBevelInner))
        inner.PaintFilledBevel(canvas, r);
}
