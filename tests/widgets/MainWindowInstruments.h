#pragma once
// The instruments configured as the main window's form configures them: properties in
// declaration order, then Loaded().
#include "widgets/AbCBitBt.h"
#include "widgets/AbLED.h"
#include "widgets/AbRMeter.h"
#include "widgets/AbVInd.h"

inline void ConfigureMeter(TAb270Meter* meter, int channel) {
    meter->resize(273, 241);
    meter->SetDigit(-133643);
    meter->SetLimitUpper(2.0f);
    meter->SetLimitLower(0.5f);
    TSectorSettings* sectors = meter->SectorSettings();
    sectors->SetSector1Color(clGreen);
    sectors->SetSector3Color(clGreen);
    for (auto set : {&TSectorSettings::SetSector1From, &TSectorSettings::SetSector1To,
                     &TSectorSettings::SetSector2From, &TSectorSettings::SetSector2To,
                     &TSectorSettings::SetSector3From, &TSectorSettings::SetSector3To})
        (sectors->*set)(1);
    sectors->SetOffset(0);
    sectors->SetWidthOffset(0);
    TSignalSettings* signal = meter->SignalSettings();
    signal->SetName1(QString("LAMBDA CH%1").arg(channel));
    signal->SetValueFormat(channel == 1 ? "#0.000" : "#0.0");
    signal->SetValueFrom(0.65f);
    signal->SetValueTo(1.35f);
    signal->SetValueUnit("h");
    meter->MinMax()->SetUseSectorCol(false);
    meter->MinMax()->SetMinVisible(false);
    meter->MinMax()->SetMaxVisible(false);
    meter->SetValue(-92.9f);
    meter->Font()->SetName("Arial");
    meter->Font()->SetHeight(-11);
    meter->SetFontUnit(TFont("System", -13, {fsBold}, clBlack));
    meter->BevelOuter()->SetStyle(bsRaised);
    meter->BevelOuter()->SetSpacing(5);
    meter->BevelOuter()->SetBevelLine(blOuter);
    meter->BevelOuter()->SetWidth(2);
    meter->BevelInner()->SetStyle(bsLowered);
    meter->BevelInner()->SetSpacing(5);
    meter->BevelInner()->SetBevelLine(blInner);
    meter->BevelInner()->SetWidth(2);
    meter->SetOptions({opBevelOuter, opName1});
    meter->SetAutoSize(false);
    TScaleSettings* scale = meter->ScaleSettings();
    scale->SetColor(clBlack);
    scale->SetPointerColor(clLime);
    scale->SetDrawLine(true);
    scale->SetPosLeftTop(false);
    scale->Font()->SetName("Arial");
    scale->Font()->SetHeight(-16);
    scale->Font()->SetStyle({fsBold});
    scale->SetSteps(14);
    scale->SetSubSteps(5);
    scale->SetValueFormat("#0.00");
    scale->SetValueFormatLog("0e-0");
    meter->Loaded();
}

inline void ConfigureReadout(TAbValueInd* readout, const QString& name, const QString& format,
                             const QString& unit, TValueIndOptions options, const TFont& font,
                             const TFont& fontValue) {
    readout->SetDigit(0);
    readout->SetLimitUpper(90);
    readout->SetLimitLower(10);
    readout->SignalSettings()->SetName1(name);
    readout->SignalSettings()->SetValueFormat(format);
    readout->SignalSettings()->SetValueTo(100);
    readout->SignalSettings()->SetValueUnit(unit);
    readout->Font()->Assign(font);
    readout->SetFontValue(fontValue);
    readout->BevelValue()->SetStyle(bsLowered);
    readout->BevelValue()->SetBevelLine(blNone);
    readout->BevelValue()->SetWidth(2);
    readout->BevelValue()->SetSpacing(0);
    readout->BevelValue()->SetColor(clBlack);
    readout->SetOptions(options);
    readout->SetAutoSize(true);
    readout->Loaded();
}

// ValueInd1 … ValueInd4.
inline void ConfigureChannelReadout(TAbValueInd* readout, int channel) {
    readout->resize(148, 72);
    ConfigureReadout(readout, QString("CH%1").arg(channel), "0.000", "%", {opName1},
                     TFont("Arial", -20), TFont("Arial", -40, {}, clLime));
}

// VoltsInd1.
inline void ConfigureVoltsReadout(TAbValueInd* readout) {
    readout->resize(83, 47);
    ConfigureReadout(readout, "Power", "#0.0", "V", {opName1, opUnit},
                     TFont("Arial", -16, {fsBold}), TFont("Arial", -21, {fsBold}, clLime));
}

inline void ConfigureLamp(TAbLED* lamp, const QString& caption, QSize size, int ledSize,
                          bool ownFont) {
    lamp->resize(size);
    lamp->SetCaption(caption);
    lamp->SetMode(mIndicator);
    lamp->SetChecked(false);
    lamp->SetFlashing(false);
    lamp->SetFrequency(ff1Hz);
    lamp->LED()->SetWidth(ledSize);
    lamp->LED()->SetHeight(ledSize);
    if (ownFont)
        lamp->LED()->SetColorOff(clAppWorkSpace);
    lamp->SetLED_Position(lpLeft);
    lamp->SetSpacing(5);
    lamp->SetStatusInt(0);
    lamp->SetStatusBit(0);
    lamp->SetGroupIndex(0);
    if (ownFont) {
        lamp->Font()->SetName("Arial");
        lamp->Font()->SetHeight(-16);
        lamp->Font()->SetStyle({fsBold});
    }
    lamp->Loaded();
}

// Online_LED1 and LED2.
inline void ConfigureStatusLamp(TAbLED* lamp, const QString& caption) {
    ConfigureLamp(lamp, caption, QSize(217, 33), 18, true);
}

// DiskLED: the window's font and the lamp's default off colour.
inline void ConfigureDiskLamp(TAbLED* lamp) {
    ConfigureLamp(lamp, "Log to Disk", QSize(97, 33), 15, false);
}

// OnlineButton.
inline void ConfigureOnlineButton(TAbColBitBtn* button) {
    button->resize(129, 33);
    button->SetMode(mSwitch);
    button->SetChecked(true);
    button->SetTextOn("COMMS ON");
    button->SetTextColOn(clLime);
    button->SetTextOff("COMMS OFF");
    button->SetTextColOff(clBlack);
    button->SetText3D(true);
    button->Font()->SetName("Tahoma");
    button->Font()->SetHeight(-11);
    button->Font()->SetStyle({fsBold});
    button->GradBtnFace()->SetVisible(true);
    button->GradBtnFace()->SetStyle(gsHorizontal1);
    button->GradBtnFace()->SetColorFrom(RGBColor(240, 240, 240));
    button->GradBtnFace()->SetColorTo(RGBColor(105, 105, 105));
    button->ButtonBevel()->SetWidth(4);
    button->SetColorOn(clBtnFace);
    button->SetColorOff(clBtnFace);
    button->SetColorDisabled(RGBColor(160, 160, 160));
    button->SetOffsetDown(1);
    button->SetSpacing(4);
    button->Loaded();
}
