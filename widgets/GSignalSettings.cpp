#include "widgets/GSignalSettings.h"

#include "core/Numbers.h"

#include <cmath>
#include <cstdlib>

TSignalSettings::TSignalSettings() = default;

void TSignalSettings::SetDigitalFrom(int v) {
    if (v == FDigitalFrom)
        return;
    DigitScaleChanged(v, FDigitalTo);
    FDigitalFrom = v;
    Change();
}

void TSignalSettings::SetDigitalTo(int v) {
    if (v == FDigitalTo)
        return;
    DigitScaleChanged(FDigitalFrom, v);
    FDigitalTo = v;
    Change();
}

void TSignalSettings::DigitScaleChanged(int, int) {}

float TSignalSettings::SnapToDecade(float v) const {
    if (!FLogScale)
        return v;
    return float(std::pow(10.0, Round(std::log10(v > 0 ? double(v) : 1.0))));
}

void TSignalSettings::SetValueFrom(float v) {
    if (v == FValueFrom || v == FValueTo)
        return;
    FValueFrom = SnapToDecade(v == 0 ? SmallestLogValue : v);
    Change();
}

void TSignalSettings::SetValueTo(float v) {
    if (v == FValueFrom || v == FValueTo)
        return;
    FValueTo = SnapToDecade(v);
    Change();
}

namespace {

// The span rule shared by the value and the digital range; `keep` when it does not apply.
template <class T> T Span(T from, T to, T keep) {
    if (from < 0 && to < 0)
        return std::abs(from) - std::abs(to);
    if (from < 0 && to >= 0)
        return std::abs(to) + std::abs(from);
    if (from >= 0 && to > 0)
        return std::abs(to) - std::abs(from);
    return keep;
}

QString WidestSection(const QString& format) {
    const qsizetype semicolon = format.indexOf(';');
    if (semicolon < 0)
        return format;
    const QString before = format.left(semicolon), rest = format.mid(semicolon + 1);
    return rest.size() < before.size() ? before : rest;
}

} // namespace

void TSignalSettings::Recalculate() {
    FTotalValue = Span<float>(FValueFrom, FValueTo, FTotalValue);
    FTotalDigit = Span<int>(FDigitalFrom, FDigitalTo, 0);
    if (FTotalDigit > 0)
        FValuePerDigit = FTotalValue / float(FTotalDigit);
    if (FTotalValue > 0) {
        FDigitPerValue = float(FTotalDigit) / FTotalValue;
        FPPTPerValue = 1000.0f / FTotalValue;
        FValueSizeStr = WidestSection(FValueFormat);
    }
}

void TSignalSettings::Change() {
    Recalculate();
    TAbPersistent::Change();
}

int TSignalSettings::GetPPT(float Value) const {
    return Round((double(Value) - double(FValueFrom)) * double(FPPTPerValue));
}

float TSignalSettings::GetValue(int PPT) const {
    return FTotalValue / 1000.0f * float(PPT) + FValueFrom;
}

bool TSectorSettings::CheckSectorColor(int PPT, TColor& Col) const {
    for (int i = 0; i < 3; ++i) {
        if (FFrom[i] <= PPT && PPT <= FTo[i]) {
            Col = FColor[i];
            return true;
        }
    }
    return false;
}

TMinMax::TMinMax() : FMaxDateTime(Now()), FMinDateTime(FMaxDateTime) {}

void TMinMax::SetMax(float v) {
    FMax = v;
    FMaxDateTime = Now();
}

void TMinMax::SetMin(float v) {
    FMin = v;
    FMinDateTime = Now();
}
