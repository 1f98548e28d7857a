#include "widgets/GAnalogValue.h"

#include "core/Numbers.h"

#include <QStringList>
#include <cmath>

TAbAnalogValue::TAbAnalogValue(QObject* sender) : FSender(sender) {
    CheckLimits();
}

TAbAnalogValue::~TAbAnalogValue() = default;

int TAbAnalogValue::DigitOf(float v) const {
    const TSignalSettings& s = FSignalSettings;
    if (FLogScale)
        return Round(std::log10(double(v) / double(s.ValueFrom())) * LogFactor1) + s.DigitalFrom();
    return Round((double(v) - double(s.ValueFrom())) * double(s.DigitPerValue()) + s.DigitalFrom());
}

void TAbAnalogValue::SetValue(float v) {
    if (v == FValue)
        return;
    if (FLogScale && v <= 0)
        return;
    FValue = v;
    FDigit = DigitOf(v);
    ValueChanged();
}

void TAbAnalogValue::SetDigit(int d) {
    if (d == FDigit)
        return;
    const TSignalSettings& s = FSignalSettings;
    FDigit = d;
    if (FLogScale)
        FValue = s.ValueFrom() * float(std::pow(10.0, (d - s.DigitalFrom()) / LogFactor1));
    else
        FValue = float(d - s.DigitalFrom()) * s.ValuePerDigit() + s.ValueFrom();
    ValueChanged();
}

void TAbAnalogValue::SetLimitUpper(float v) {
    if (v == FLimitUpper)
        return;
    FLimitUpper = v;
    ValueChanged();
}

void TAbAnalogValue::SetLimitLower(float v) {
    if (v == FLimitLower)
        return;
    FLimitLower = v == 0 ? 0.0001f : v;
    ValueChanged();
}

void TAbAnalogValue::SetHintOptions(THintOptions v) {
    const bool autoHintOn = v.Contains(hoAutoHint) && !FHintOptions.Contains(hoAutoHint);
    FHintOptions = v;
    if (autoHintOn)
        ValueChanged();
}

void TAbAnalogValue::SetLogScale(bool v) {
    if (v == FLogScale)
        return;
    FLogScale = v;
    FSignalSettings.SetLogScale(v);
    FSectorSettings.SetLogScale(v);
    // A log scale has no place for zero or less: a range that starts there (the default
    // range starts at zero) starts at the smallest value instead.
    if (v && FSignalSettings.ValueFrom() <= 0)
        FSignalSettings.SetValueFrom(TSignalSettings::SmallestLogValue);
    LogScaleChanged();
}

void TAbAnalogValue::ResetMinMax() {
    FMinMax.SetMin(FValue);
    FMinMax.SetMax(FValue);
    FMinPPT = FMaxPPT = FPPT;
    MinMaxChanged(FSender);
    UpdateHint();
    ValueChanged();
}

void TAbAnalogValue::SetMin(float v, TDateTime DT) {
    if (v == FMinMax.Min())
        return;
    FMinMax.SetMin(v);
    FMinMax.SetMinDateTime(DT);
    FMinPPT = FSignalSettings.GetPPT(v);
    MinMaxChanged(FSender);
    UpdateHint();
}

void TAbAnalogValue::SetMax(float v, TDateTime DT) {
    if (v == FMinMax.Max())
        return;
    FMinMax.SetMax(v);
    FMinMax.SetMaxDateTime(DT);
    FMaxPPT = FSignalSettings.GetPPT(v);
    MinMaxChanged(FSender);
    UpdateHint();
}

void TAbAnalogValue::Loaded() {
    FLoading = false;
    const TNotifyEvent settingsChanged = [this](QObject* Sender) { SettingsChanged(Sender); };
    FSignalSettings.OnChange = settingsChanged;
    FSectorSettings.OnChange = settingsChanged;
    FMinMax.SetMin(MinSentinel);
    FMinMax.SetMax(MaxSentinel);
    FMinMax.OnChange = [this](QObject* Sender) { MinMaxChanged(Sender); };
}

void TAbAnalogValue::Recalculate() {
    TSignalSettings& s = FSignalSettings;
    s.Recalculate();
    if (FLogScale) {
        LogFactor1 = s.TotalDigit() / std::log10(double(s.ValueTo()) / double(s.ValueFrom()));
        LogFactor2 = std::log10(1.0 / double(s.ValueFrom()));
        if (FValue <= 0)
            FValue = 1;
    }
    FDigit = DigitOf(FValue);
    Raise(OnSettingsChange, FSender);
}

void TAbAnalogValue::CheckSectors() {
    for (int i = 0; i < 3; ++i) {
        const bool in =
            FSectorSettings.SectorFrom(i) <= FPPT && FPPT <= FSectorSettings.SectorTo(i);
        if (in == FInSector[i])
            continue;
        FInSector[i] = in;
        Raise(OnSectorChange, FSender, i == 0, i == 1, i == 2, in);
    }
}

void TAbAnalogValue::CheckLimits() {
    const bool upper = FValue > FLimitUpper, lower = FValue < FLimitLower;
    if (upper == FULimit && lower == FLLimit)
        return;
    FULimit = upper;
    FLLimit = lower;
    LimitChanged();
    Raise(OnLimit, FSender, lower, upper);
}

void TAbAnalogValue::CheckOverflow() {
    if (FPPT < 0 || FPPT > 1000) {
        const bool below = FPPT < 0;
        if (below ? !FLOverflow : !FUOverflow) {
            FLOverflow = below;
            FUOverflow = !below;
            OverflowChanged(FPPT);
            Raise(OnOverflow, FSender, FPPT);
        }
        FPPT = below ? 0 : 1000;
    } else if (FUOverflow || FLOverflow) {
        FUOverflow = FLOverflow = false;
        OverflowChanged(FPPT);
        Raise(OnOverflow, FSender, FPPT);
    }
}

void TAbAnalogValue::TrackMinMax() {
    if (FValue < FMinMax.Min()) {
        const bool first = FMinMax.Min() == MinSentinel;
        FMinMax.SetMin(FValue);
        FMinPPT = FPPT;
        if (!first)
            MinMaxChanged(FSender);
    }
    if (FValue > FMinMax.Max()) {
        const bool first = FMinMax.Max() == MaxSentinel;
        FMinMax.SetMax(FValue);
        FMaxPPT = FPPT;
        if (!first)
            MinMaxChanged(FSender);
    }
}

void TAbAnalogValue::Refresh() {
    const TSignalSettings& s = FSignalSettings;
    FValueStr = FormatFloat(s.ValueFormat(), FValue);
    // A digital range without span has no positions; the value then sits at the start.
    FPPT = s.TotalDigit() > 0 ? Round(1000.0 / s.TotalDigit() * (FDigit - s.DigitalFrom())) : 0;
    CheckSectors();
    CheckLimits();
    CheckOverflow();
    TrackMinMax();
    UpdateHint();
    Raise(OnValueChange, FSender);
}

void TAbAnalogValue::ValueChanged() {
    Refresh();
}

void TAbAnalogValue::OverflowChanged(int) {}

void TAbAnalogValue::LimitChanged() {}

void TAbAnalogValue::MinMaxChanged(QObject* Sender) {
    Raise(OnMinMaxChange, Sender);
    ValueChanged();
}

void TAbAnalogValue::LogScaleChanged() {
    Recalculate();
}

void TAbAnalogValue::SettingsChanged(QObject*) {
    Recalculate();
}

QString TAbAnalogValue::MinMaxHint(const QString& title, float v, TDateTime dt) const {
    QString text =
        title + FormatFloat(FSignalSettings.ValueFormat(), v) + " " + FSignalSettings.ValueUnit();
    if (FHintOptions.Contains(hoMinMaxDate))
        text += " " + FormatLocaleDate(dt);
    if (FHintOptions.Contains(hoMinMaxTime))
        text += " " + FormatLocaleTime(dt);
    return text;
}

void TAbAnalogValue::UpdateHint() {
    if (FHintOptions.Contains(hoAutoHint))
        FHintStale = true;
}

QString TAbAnalogValue::Hint() const {
    if (!FHintStale)
        return FHint;
    FHintStale = false;
    QStringList parts;
    if (FHintOptions.Contains(hoValue))
        parts << "Value= " + FValueStr + " " + FSignalSettings.ValueUnit();
    if (FHintOptions.Contains(hoMin))
        parts << MinMaxHint("MIN= ", FMinMax.Min(), FMinMax.MinDateTime());
    if (FHintOptions.Contains(hoMax))
        parts << MinMaxHint("MAX= ", FMinMax.Max(), FMinMax.MaxDateTime());
    if (FHintOptions.Contains(hoName1))
        parts << FSignalSettings.Name1();
    if (FHintOptions.Contains(hoName2))
        parts << FSignalSettings.Name2();
    FHint = parts.join('\r');
    return FHint;
}
