#include "widgets/GAnalogControl.h"

#include "core/Numbers.h"

#include <QPainter>
#include <cmath>

TAbAnalogGControl::TAbAnalogGControl(QWidget* parent)
    : TAbGraphicControl(parent), FSignalSettings(std::make_unique<TSignalSettings>()),
      FSectorSettings(std::make_unique<TSectorSettings>()), FMinMax(std::make_unique<TMinMax>()),
      FFont(std::make_unique<TFont>("Arial", -11)) {
    CheckLimits();
    pPosLeftTop = pos();
}

TAbAnalogGControl::~TAbAnalogGControl() = default;

int TAbAnalogGControl::DigitOf(float v) const {
    const TSignalSettings& s = *FSignalSettings;
    if (FLogScale)
        return Round(std::log10(double(v) / double(s.ValueFrom())) * LogFactor1) + s.DigitalFrom();
    return Round((double(v) - double(s.ValueFrom())) * double(s.DigitPerValue()) + s.DigitalFrom());
}

void TAbAnalogGControl::SetValue(float v) {
    if (v == FValue)
        return;
    if (FLogScale && v <= 0)
        return;
    FValue = v;
    FDigit = DigitOf(v);
    ValueChanged();
}

void TAbAnalogGControl::SetDigit(int d) {
    if (d == FDigit)
        return;
    const TSignalSettings& s = *FSignalSettings;
    FDigit = d;
    if (FLogScale)
        FValue = s.ValueFrom() * float(std::pow(10.0, (d - s.DigitalFrom()) / LogFactor1));
    else
        FValue = float(d - s.DigitalFrom()) * s.ValuePerDigit() + s.ValueFrom();
    ValueChanged();
}

void TAbAnalogGControl::SetLimitUpper(float v) {
    if (v == FLimitUpper)
        return;
    FLimitUpper = v;
    ValueChanged();
}

void TAbAnalogGControl::SetLimitLower(float v) {
    if (v == FLimitLower)
        return;
    FLimitLower = v == 0 ? 0.0001f : v;
    ValueChanged();
}

void TAbAnalogGControl::SetHintOptions(THintOptions v) {
    const bool autoHintOn = v.Contains(hoAutoHint) && !FHintOptions.Contains(hoAutoHint);
    FHintOptions = v;
    if (autoHintOn)
        ValueChanged();
}

void TAbAnalogGControl::SetLogScale(bool v) {
    if (v == FLogScale)
        return;
    FLogScale = v;
    FSignalSettings->SetLogScale(v);
    FSectorSettings->SetLogScale(v);
    LogScaleChanged();
}

void TAbAnalogGControl::ResetMinMax() {
    FMinMax->SetMin(FValue);
    FMinMax->SetMax(FValue);
    FMinPPT = FMaxPPT = FPPT;
    MinMaxChanged(this);
    UpdateHint();
    ValueChanged();
}

void TAbAnalogGControl::SetMin(float v, TDateTime DT) {
    if (v == FMinMax->Min())
        return;
    FMinMax->SetMin(v);
    FMinMax->SetMinDateTime(DT);
    FMinPPT = FSignalSettings->GetPPT(v);
    MinMaxChanged(this);
    UpdateHint();
}

void TAbAnalogGControl::SetMax(float v, TDateTime DT) {
    if (v == FMinMax->Max())
        return;
    FMinMax->SetMax(v);
    FMinMax->SetMaxDateTime(DT);
    FMaxPPT = FSignalSettings->GetPPT(v);
    MinMaxChanged(this);
    UpdateHint();
}

void TAbAnalogGControl::Loaded() {
    TAbGraphicControl::Loaded();
    const TNotifyEvent paramChange = [this](QObject* Sender) { ParamChange(Sender); };
    FFont->OnChange = paramChange;
    FSignalSettings->OnChange = paramChange;
    FSectorSettings->OnChange = paramChange;
    FMinMax->SetMin(MinSentinel);
    FMinMax->SetMax(MaxSentinel);
    FMinMax->OnChange = [this](QObject* Sender) { MinMaxChanged(Sender); };
}

void TAbAnalogGControl::ParamChange(QObject*) {
    TSignalSettings& s = *FSignalSettings;
    s.Recalculate();
    if (FLogScale) {
        LogFactor1 = s.TotalDigit() / std::log10(double(s.ValueTo()) / double(s.ValueFrom()));
        LogFactor2 = std::log10(1.0 / double(s.ValueFrom()));
        if (FValue <= 0)
            FValue = 1;
    }
    FDigit = DigitOf(FValue);
    Raise(OnSettingsChange, this);
}

void TAbAnalogGControl::CheckPosition() {
    if (pos() == pPosLeftTop)
        return;
    pPosLeftTop = pos();
    Raise(OnPosChanged, this);
}

void TAbAnalogGControl::CheckSectors() {
    for (int i = 0; i < 3; ++i) {
        const bool in =
            FSectorSettings->SectorFrom(i) <= FPPT && FPPT <= FSectorSettings->SectorTo(i);
        if (in == FInSector[i])
            continue;
        FInSector[i] = in;
        Raise(OnSectorChange, this, i == 0, i == 1, i == 2, in);
    }
}

void TAbAnalogGControl::CheckLimits() {
    const bool upper = FValue > FLimitUpper, lower = FValue < FLimitLower;
    if (upper == FULimit && lower == FLLimit)
        return;
    FULimit = upper;
    FLLimit = lower;
    LimitChanged();
    Raise(OnLimit, this, lower, upper);
}

void TAbAnalogGControl::CheckOverflow() {
    if (FPPT < 0 || FPPT > 1000) {
        const bool below = FPPT < 0;
        if (below ? !FLOverflow : !FUOverflow) {
            FLOverflow = below;
            FUOverflow = !below;
            OverflowChanged(FPPT);
            Raise(OnOverflow, this, FPPT);
        }
        FPPT = below ? 0 : 1000;
    } else if (FUOverflow || FLOverflow) {
        FUOverflow = FLOverflow = false;
        OverflowChanged(FPPT);
        Raise(OnOverflow, this, FPPT);
    }
}

void TAbAnalogGControl::TrackMinMax() {
    if (FValue < FMinMax->Min()) {
        const bool first = FMinMax->Min() == MinSentinel;
        FMinMax->SetMin(FValue);
        FMinPPT = FPPT;
        if (!first)
            MinMaxChanged(this);
    }
    if (FValue > FMinMax->Max()) {
        const bool first = FMinMax->Max() == MaxSentinel;
        FMinMax->SetMax(FValue);
        FMaxPPT = FPPT;
        if (!first)
            MinMaxChanged(this);
    }
}

void TAbAnalogGControl::ValueChanged() {
    CheckPosition();
    const TSignalSettings& s = *FSignalSettings;
    FValueStr = FormatFloat(s.ValueFormat(), FValue);
    // A digital range without span has no positions; the value then sits at the start.
    FPPT = s.TotalDigit() > 0 ? Round(1000.0 / s.TotalDigit() * (FDigit - s.DigitalFrom())) : 0;
    CheckSectors();
    CheckLimits();
    CheckOverflow();
    TrackMinMax();
    UpdateHint();
    Raise(OnValueChange, this);
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

QString TAbAnalogGControl::MinMaxHint(const QString& title, float v, TDateTime dt) const {
    QString text =
        title + FormatFloat(FSignalSettings->ValueFormat(), v) + " " + FSignalSettings->ValueUnit();
    if (FHintOptions.Contains(hoMinMaxDate))
        text += " " + FormatLocaleDate(dt);
    if (FHintOptions.Contains(hoMinMaxTime))
        text += " " + FormatLocaleTime(dt);
    return text;
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

void TAbAnalogGControl::UpdateHint() {
    if (FHintOptions.Contains(hoAutoHint))
        FHintStale = true;
}

QString TAbAnalogGControl::Hint() const {
    if (!FHintStale)
        return FHint;
    FHintStale = false;
    QStringList parts;
    if (FHintOptions.Contains(hoValue))
        parts << "Value= " + FValueStr + " " + FSignalSettings->ValueUnit();
    if (FHintOptions.Contains(hoMin))
        parts << MinMaxHint("MIN= ", FMinMax->Min(), FMinMax->MinDateTime());
    if (FHintOptions.Contains(hoMax))
        parts << MinMaxHint("MAX= ", FMinMax->Max(), FMinMax->MaxDateTime());
    if (FHintOptions.Contains(hoName1))
        parts << FSignalSettings->Name1();
    if (FHintOptions.Contains(hoName2))
        parts << FSignalSettings->Name2();
    FHint = parts.join('\r');
    return FHint;
}
