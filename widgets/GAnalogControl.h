#pragma once
// The base of the dial and the readout: a graphic control that shows a TAbAnalogValue.
#include "core/DateTime.h"
#include "widgets/GAnalogValue.h"
#include "widgets/GBevel.h"
#include "widgets/GGraphicControl.h"

#include <QPoint>
#include <memory>

// Parts of a meter or readout to paint or react with; the readout uses the bevels, the
// names and the unit. `opOverflow`/`opLimit` flash the pointer, `opSector` paints the ring.
enum TAbOption {
    opBevelInner,
    opBevelOuter,
    opName1,
    opName2,
    opOverflow,
    opLimit,
    opSector,
    opUnit
};

class TAbAnalogGControl : public TAbGraphicControl {
    class TShownValue;
    // Declared first: the event references below are bound to it.
    std::unique_ptr<TAbAnalogValue> FValue;

public:
    explicit TAbAnalogGControl(QWidget* parent);
    ~TAbAnalogGControl() override;

    // The properties of the value model, which the control holds and redraws from.
    float Value() const { return FValue->Value(); }
    void SetValue(float v) { FValue->SetValue(v); }
    int Digit() const { return FValue->Digit(); }
    void SetDigit(int d) { FValue->SetDigit(d); }
    float LimitUpper() const { return FValue->LimitUpper(); }
    float LimitLower() const { return FValue->LimitLower(); }
    void SetLimitUpper(float v) { FValue->SetLimitUpper(v); }
    void SetLimitLower(float v) { FValue->SetLimitLower(v); }
    THintOptions HintOptions() const { return FValue->HintOptions(); }
    void SetHintOptions(THintOptions v) { FValue->SetHintOptions(v); }
    bool LogScale() const { return FValue->LogScale(); }
    void SetLogScale(bool v) { FValue->SetLogScale(v); }
    TSignalSettings* SignalSettings() { return FValue->SignalSettings(); }
    TSectorSettings* SectorSettings() { return FValue->SectorSettings(); }
    TMinMax* MinMax() { return FValue->MinMax(); }
    TFont* Font() { return FFont.get(); }

    int PPT() const { return FValue->PPT(); }
    bool ULimit() const { return FValue->ULimit(); }
    bool LLimit() const { return FValue->LLimit(); }
    bool UOverflow() const { return FValue->UOverflow(); }
    bool LOverflow() const { return FValue->LOverflow(); }
    bool InSector1() const { return FValue->InSector1(); }
    bool InSector2() const { return FValue->InSector2(); }
    bool InSector3() const { return FValue->InSector3(); }
    int MinPPT() const { return FValue->MinPPT(); }
    int MaxPPT() const { return FValue->MaxPPT(); }
    QString ValueStr() const { return FValue->ValueStr(); }
    QString Hint() const override { return FValue->Hint(); }
    TColor cAlarm0 = clYellow, cAlarm1 = clRed;

    void ResetMinMax() { FValue->ResetMinMax(); }
    void SetMin(float v, TDateTime DT) { FValue->SetMin(v, DT); }
    void SetMax(float v, TDateTime DT) { FValue->SetMax(v, DT); }

    void Loaded() override;

    // The model's events, raised with this control as Sender.
    TNotifyEvent& OnValueChange;
    std::function<void(QObject* Sender, bool Lower, bool Upper)>& OnLimit;
    std::function<void(QObject* Sender, int PPT)>& OnOverflow;
    std::function<void(QObject* Sender, bool Sector1, bool Sector2, bool Sector3, bool Enter)>&
        OnSectorChange;
    TNotifyEvent& OnMinMaxChange;
    TNotifyEvent& OnSettingsChange;
    TNotifyEvent OnPosChanged;

protected:
    void ParamChange(QObject* Sender) override;
    // The model's hooks: the value pipeline, then what the control shows of it.
    virtual void ValueChanged();
    virtual void OverflowChanged(int PPT);
    virtual void LimitChanged();
    virtual void MinMaxChanged(QObject* Sender);
    virtual void LogScaleChanged();

    // The frame the meter and the readout share: the outer bevel, the names centred at
    // its bottom, the inner bevel. r shrinks to the area left inside.
    void PaintFrame(QPainter& canvas, TRect& r, const TSet<TAbOption>& options, TAbSBevel& outer,
                    TAbSBevel& inner, QSize name1, QSize name2);

private:
    void CheckPosition();

    std::unique_ptr<TFont> FFont;
    QPoint pPosLeftTop;
};
