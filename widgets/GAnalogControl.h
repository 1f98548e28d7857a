#pragma once
// The base of the dial and the readout.
#include "core/DateTime.h"
#include "widgets/GBevel.h"
#include "widgets/GGraphicControl.h"
#include "widgets/GSignalSettings.h"

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

enum THintOption {
    hoAutoHint,
    hoValue,
    hoName1,
    hoName2,
    hoMin,
    hoMax,
    hoMinMaxDate,
    hoMinMaxTime
};
using THintOptions = TSet<THintOption>;

// Value model shared by the dial and the readout.
class TAbAnalogGControl : public TAbGraphicControl {
public:
    explicit TAbAnalogGControl(QWidget* parent);
    ~TAbAnalogGControl() override;

    float Value() const { return FValue; }
    void SetValue(float v);
    int Digit() const { return FDigit; }
    void SetDigit(int d);
    float LimitUpper() const { return FLimitUpper; }
    float LimitLower() const { return FLimitLower; }
    void SetLimitUpper(float v);
    void SetLimitLower(float v);
    THintOptions HintOptions() const { return FHintOptions; }
    void SetHintOptions(THintOptions v);
    bool LogScale() const { return FLogScale; }
    void SetLogScale(bool v);
    TSignalSettings* SignalSettings() { return FSignalSettings.get(); }
    TSectorSettings* SectorSettings() { return FSectorSettings.get(); }
    TMinMax* MinMax() { return FMinMax.get(); }
    TFont* Font() { return FFont.get(); }

    int PPT() const { return FPPT; }
    bool ULimit() const { return FULimit; }
    bool LLimit() const { return FLLimit; }
    bool UOverflow() const { return FUOverflow; }
    bool LOverflow() const { return FLOverflow; }
    bool InSector1() const { return FInSector[0]; }
    bool InSector2() const { return FInSector[1]; }
    bool InSector3() const { return FInSector[2]; }
    int MinPPT() const { return FMinPPT; }
    int MaxPPT() const { return FMaxPPT; }
    QString ValueStr() const { return FValueStr; }
    // The automatic hint, rebuilt from the current state when read after a change.
    QString Hint() const override;
    TColor cAlarm0 = clYellow, cAlarm1 = clRed;

    void ResetMinMax();
    void SetMin(float v, TDateTime DT);
    void SetMax(float v, TDateTime DT);

    void Loaded() override;

    TNotifyEvent OnValueChange;
    std::function<void(QObject* Sender, bool Lower, bool Upper)> OnLimit;
    std::function<void(QObject* Sender, int PPT)> OnOverflow;
    std::function<void(QObject* Sender, bool Sector1, bool Sector2, bool Sector3, bool Enter)>
        OnSectorChange;
    TNotifyEvent OnMinMaxChange;
    TNotifyEvent OnSettingsChange;
    TNotifyEvent OnPosChanged;

protected:
    void ParamChange(QObject* Sender) override;
    virtual void ValueChanged();
    virtual void OverflowChanged(int PPT);
    virtual void LimitChanged();
    virtual void MinMaxChanged(QObject* Sender);
    virtual void LogScaleChanged();

    void CheckLimits();
    // Marks the automatic hint for rebuilding; it is built when read.
    void UpdateHint();
    // The frame the meter and the readout share: the outer bevel, the names centred at
    // its bottom, the inner bevel. r shrinks to the area left inside.
    void PaintFrame(QPainter& canvas, TRect& r, const TSet<TAbOption>& options, TAbSBevel& outer,
                    TAbSBevel& inner, QSize name1, QSize name2);
    int DigitOf(float v) const;

private:
    void CheckPosition();
    void CheckSectors();
    void CheckOverflow();
    void TrackMinMax();
    QString MinMaxHint(const QString& title, float v, TDateTime dt) const;

    float FValue = 50;
    int FDigit = 500;
    float FLimitUpper = 90, FLimitLower = 10;
    THintOptions FHintOptions{hoAutoHint, hoValue, hoName1,      hoName2,
                              hoMin,      hoMax,   hoMinMaxDate, hoMinMaxTime};
    bool FLogScale = false;
    std::unique_ptr<TSignalSettings> FSignalSettings;
    std::unique_ptr<TSectorSettings> FSectorSettings;
    std::unique_ptr<TMinMax> FMinMax;
    std::unique_ptr<TFont> FFont;
    int FPPT = 500;
    bool FULimit = true, FLLimit = true;
    bool FUOverflow = false, FLOverflow = false;
    bool FInSector[3] = {false, false, false};
    int FMinPPT = 0, FMaxPPT = 0;
    QString FValueStr;
    mutable bool FHintStale = false;
    double LogFactor1 = 0, LogFactor2 = 0;
    QPoint pPosLeftTop;
};
