#pragma once
// The settings of a value: its signal range, the three coloured sectors, the min/max record.
#include "core/DateTime.h"
#include "widgets/GPersistent.h"

class TSignalSettings : public TAbPersistent {
public:
    // Where a range given as starting at zero starts: a log scale has no place for zero.
    static constexpr float SmallestLogValue = 0.000001f;

    TSignalSettings();

    int DigitalFrom() const { return FDigitalFrom; }
    int DigitalTo() const { return FDigitalTo; }
    QString Name1() const { return FName1; }
    QString Name2() const { return FName2; }
    QString ValueFormat() const { return FValueFormat; }
    float ValueFrom() const { return FValueFrom; }
    float ValueTo() const { return FValueTo; }
    QString ValueUnit() const { return FValueUnit; }
    bool LogScale() const { return FLogScale; }
    void SetDigitalFrom(int v);
    void SetDigitalTo(int v);
    void SetName1(const QString& v) { SetProp(FName1, v); }
    void SetName2(const QString& v) { SetProp(FName2, v); }
    void SetValueFormat(const QString& v) { SetProp(FValueFormat, v); }
    void SetValueFrom(float v);
    void SetValueTo(float v);
    void SetValueUnit(const QString& v) { SetProp(FValueUnit, v); }
    void SetLogScale(bool v) { FLogScale = v; }

    float TotalValue() const { return FTotalValue; }
    int TotalDigit() const { return FTotalDigit; }
    float ValuePerDigit() const { return FValuePerDigit; }
    float DigitPerValue() const { return FDigitPerValue; }
    float PPTPerValue() const { return FPPTPerValue; }
    QString ValueSizeStr() const { return FValueSizeStr; }

    int GetPPT(float Value) const;
    float GetValue(int PPT) const;
    // Range recalculation, then OnChange.
    void Change() override;
    void Recalculate();

protected:
    virtual void DigitScaleChanged(int dFrom, int dTo);

private:
    float SnapToDecade(float v) const;

    int FDigitalFrom = 0, FDigitalTo = 1000;
    QString FName1 = "SignalName1", FName2 = "SignalName2", FValueFormat = "##0.0";
    float FValueFrom = 0, FValueTo = 100;
    QString FValueUnit = "%";
    bool FLogScale = false;
    float FTotalValue = 100;
    int FTotalDigit = 1000;
    float FValuePerDigit = 0, FDigitPerValue = 0, FPPTPerValue = 0;
    QString FValueSizeStr = "##0.0";
};

class TSectorSettings : public TAbPersistent {
public:
    TColor Sector1Color() const { return FColor[0]; }
    TColor Sector2Color() const { return FColor[1]; }
    TColor Sector3Color() const { return FColor[2]; }
    int Sector1From() const { return FFrom[0]; }
    int Sector2From() const { return FFrom[1]; }
    int Sector3From() const { return FFrom[2]; }
    int Sector1To() const { return FTo[0]; }
    int Sector2To() const { return FTo[1]; }
    int Sector3To() const { return FTo[2]; }
    void SetSector1Color(TColor v) { SetProp(FColor[0], v); }
    void SetSector2Color(TColor v) { SetProp(FColor[1], v); }
    void SetSector3Color(TColor v) { SetProp(FColor[2], v); }
    void SetSector1From(int v) { SetProp(FFrom[0], v); }
    void SetSector2From(int v) { SetProp(FFrom[1], v); }
    void SetSector3From(int v) { SetProp(FFrom[2], v); }
    void SetSector1To(int v) { SetProp(FTo[0], v); }
    void SetSector2To(int v) { SetProp(FTo[1], v); }
    void SetSector3To(int v) { SetProp(FTo[2], v); }
    int Offset() const { return FOffset; }
    int WidthOffset() const { return FWidthOffset; }
    bool LogScale() const { return FLogScale; }
    void SetOffset(int v) { SetProp(FOffset, v); }
    void SetWidthOffset(int v) { SetProp(FWidthOffset, v); }
    void SetLogScale(bool v) { SetProp(FLogScale, v); }

    // Sector index 0..2: colour and inclusive per-mille range.
    TColor SectorColor(int i) const { return FColor[i]; }
    int SectorFrom(int i) const { return FFrom[i]; }
    int SectorTo(int i) const { return FTo[i]; }
    bool CheckSectorColor(int PPT, TColor& Col) const;

private:
    TColor FColor[3] = {clYellow, clGreen, clRed};
    int FFrom[3] = {0, 334, 667};
    int FTo[3] = {333, 666, 1000};
    int FOffset = 0, FWidthOffset = 0;
    bool FLogScale = false;
};

constexpr float MinSentinel = 9999999.0f;
constexpr float MaxSentinel = -9999999.0f;

class TMinMax : public TAbPersistent {
public:
    TMinMax();

    float Max() const { return FMax; }
    float Min() const { return FMin; }
    TDateTime MaxDateTime() const { return FMaxDateTime; }
    TDateTime MinDateTime() const { return FMinDateTime; }
    TColor MaxColor() const { return FMaxColor; }
    TColor MinColor() const { return FMinColor; }
    bool UseSectorCol() const { return FUseSectorCol; }
    bool MinVisible() const { return FMinVisible; }
    bool MaxVisible() const { return FMaxVisible; }
    // Store and stamp now, without a change notification.
    void SetMax(float v);
    void SetMin(float v);
    void SetMaxDateTime(TDateTime v) { FMaxDateTime = v; }
    void SetMinDateTime(TDateTime v) { FMinDateTime = v; }
    void SetMaxColor(TColor v) { SetProp(FMaxColor, v); }
    void SetMinColor(TColor v) { SetProp(FMinColor, v); }
    void SetUseSectorCol(bool v) { SetProp(FUseSectorCol, v); }
    void SetMinVisible(bool v) { SetProp(FMinVisible, v); }
    void SetMaxVisible(bool v) { SetProp(FMaxVisible, v); }

private:
    float FMax = MaxSentinel, FMin = MinSentinel;
    TDateTime FMaxDateTime, FMinDateTime;
    TColor FMaxColor = clAqua, FMinColor = clAqua;
    bool FUseSectorCol = true, FMinVisible = true, FMaxVisible = true;
};
