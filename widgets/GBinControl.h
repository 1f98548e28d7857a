#pragma once
// The base of the two-state widgets: lamps and switches.
#include "widgets/GGraphicControl.h"

enum TFlashFreq { ff8Hz, ff4Hz, ff2Hz, ff1Hz, ff05Hz };
enum TMode { mButton, mSwitch, mIndicator, mRadioButton };

// The blink-phase bit of the shared flash counter for a frequency (2 for ff8Hz … 6).
int FlashCode(TFlashFreq f);

// Base of the two-state widgets.
class TAbBinGControl : public TAbGraphicControl {
public:
    explicit TAbBinGControl(QWidget* parent);
    ~TAbBinGControl() override;

    bool Checked() const { return FChecked; }
    void SetChecked(bool v);
    TFlashFreq Frequency() const { return FFrequency; }
    void SetFrequency(TFlashFreq v);
    bool Flashing() const { return FFlashing; }
    void SetFlashing(bool v);
    qint32 StatusInt() const { return FStatusInt; }
    void SetStatusInt(qint32 v);
    int StatusBit() const { return FStatusBit; }
    void SetStatusBit(int v);
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int v);
    TMode Mode() const { return FMode; }
    void SetMode(TMode v);
    bool MouseIsDown() const { return FMouseIsDown; }
    int FirstCheckedBit() const { return FFirstCheckedBit; }
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& v);

    TNotifyEvent OnStatusChanged;
    TNotifyEvent OnStatusIntChanged;

protected:
    void ParamChange(QObject* Sender) override;
    virtual void StatusChanged();
    virtual void GroupIndexChanged();
    virtual void StatusIntChanged();
    virtual void Flash(bool status);
    void WMFlash(quint32 WParam, qint32 LParam) override;

    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QList<TAbBinGControl*> Group(int index) const;

    bool FChecked = false;
    TFlashFreq FFrequency = ff1Hz;
    bool FFlashing = false;
    qint32 FStatusInt = 0;
    int FStatusBit = 0;
    int FGroupIndex = 0;
    TMode FMode = mIndicator;
    bool FMouseIsDown = false;
    int FFirstCheckedBit = 32;
    QString FCaption;
    QString FNameShown; // the component name the caption was last set from
};
