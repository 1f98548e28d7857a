#pragma once
// The value of a dial or readout, apart from any widget: its range, position, limits,
// overflow, sectors, min/max record and hint, and the events they raise. The analog
// control holds one and redraws from its hooks, so the model runs and is tested alone.
#include "core/DateTime.h"
#include "widgets/GSignalSettings.h"

#include <QString>
#include <functional>

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

class TAbAnalogValue {
public:
    // Events carry `sender`, the control that shows the value (none when used alone).
    explicit TAbAnalogValue(QObject* sender = nullptr);
    virtual ~TAbAnalogValue();
    TAbAnalogValue(const TAbAnalogValue&) = delete;
    TAbAnalogValue& operator=(const TAbAnalogValue&) = delete;

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
    TSignalSettings* SignalSettings() { return &FSignalSettings; }
    TSectorSettings* SectorSettings() { return &FSectorSettings; }
    TMinMax* MinMax() { return &FMinMax; }

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
    QString Hint() const;

    void ResetMinMax();
    void SetMin(float v, TDateTime DT);
    void SetMax(float v, TDateTime DT);

    // End of loading: from here on events are raised, settings changes recalculate and
    // the min/max record starts afresh from the next value.
    void Loaded();
    bool Loading() const { return FLoading; }
    // The value pipeline: text, position, sectors, limits, overflow, min/max, hint, then
    // OnValueChange.
    void Refresh();
    // The range after a settings change; Digit follows the kept value. Then
    // OnSettingsChange.
    void Recalculate();

    TNotifyEvent OnValueChange;
    std::function<void(QObject* Sender, bool Lower, bool Upper)> OnLimit;
    std::function<void(QObject* Sender, int PPT)> OnOverflow;
    std::function<void(QObject* Sender, bool Sector1, bool Sector2, bool Sector3, bool Enter)>
        OnSectorChange;
    TNotifyEvent OnMinMaxChange;
    TNotifyEvent OnSettingsChange;

protected:
    // The points a control reacts to. Alone, ValueChanged runs Refresh, MinMaxChanged
    // raises OnMinMaxChange and runs ValueChanged, a settings or scale change runs
    // Recalculate, and an overflow or limit change needs nothing more.
    virtual void ValueChanged();
    virtual void OverflowChanged(int PPT);
    virtual void LimitChanged();
    virtual void MinMaxChanged(QObject* Sender);
    virtual void LogScaleChanged();
    virtual void SettingsChanged(QObject* Sender);

    template <class F, class... A> void Raise(const std::function<F>& event, A&&... args) {
        if (event && !FLoading)
            event(std::forward<A>(args)...);
    }

private:
    int DigitOf(float v) const;
    void CheckSectors();
    void CheckLimits();
    void CheckOverflow();
    void TrackMinMax();
    void UpdateHint();
    QString MinMaxHint(const QString& title, float v, TDateTime dt) const;

    QObject* FSender;
    bool FLoading = true;
    float FValue = 50;
    int FDigit = 500;
    float FLimitUpper = 90, FLimitLower = 10;
    THintOptions FHintOptions{hoAutoHint, hoValue, hoName1,      hoName2,
                              hoMin,      hoMax,   hoMinMaxDate, hoMinMaxTime};
    bool FLogScale = false;
    TSignalSettings FSignalSettings;
    TSectorSettings FSectorSettings;
    TMinMax FMinMax;
    int FPPT = 500;
    bool FULimit = true, FLLimit = true;
    bool FUOverflow = false, FLOverflow = false;
    bool FInSector[3] = {false, false, false};
    int FMinPPT = 0, FMaxPPT = 0;
    QString FValueStr;
    mutable QString FHint;
    mutable bool FHintStale = false;
    double LogFactor1 = 0, LogFactor2 = 0;
};
