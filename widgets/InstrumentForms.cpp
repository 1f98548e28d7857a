#include "widgets/InstrumentForms.h"

namespace {

void Apply(TFont* font, const TFontForm& form) {
    font->SetName(form.Name);
    font->SetHeight(form.Height);
    font->SetStyle(form.Style);
    if (form.Color)
        font->SetColor(*form.Color);
}

void Apply(TAbSBevel* bevel, const TBevelForm& form) {
    bevel->SetStyle(form.Style);
    bevel->SetBevelLine(form.Line);
    bevel->SetWidth(form.Width);
    bevel->SetSpacing(form.Spacing);
    if (form.Color)
        bevel->SetColor(*form.Color);
    if (form.SurfaceVisible)
        bevel->SurfaceGrad()->SetVisible(*form.SurfaceVisible);
}

} // namespace

void ApplyForm(TAb270Meter* meter, const TMeterForm& form) {
    const TDialLook& look = form.Look;
    meter->SetDigit(look.Digit);
    TSignalSettings* signal = meter->SignalSettings();
    signal->SetName1(form.Caption);
    signal->SetValueFormat(form.ValueFormat);
    signal->SetValueFrom(look.ValueFrom);
    signal->SetValueTo(look.ValueTo);
    signal->SetValueUnit(look.Unit);
    meter->SetLimitUpper(look.LimitUpper);
    meter->SetLimitLower(look.LimitLower);
    meter->SetOptions(look.Options);
    TScaleSettings* scale = meter->ScaleSettings();
    scale->SetSteps(look.ScaleSteps);
    scale->SetSubSteps(look.ScaleSubSteps);
    scale->SetValueFormat(look.ScaleFormat);
    scale->SetValueFormatLog(look.ScaleFormatLog);
    scale->SetColor(look.ScaleColor);
    scale->SetPointerColor(look.PointerColor);
    scale->SetDrawLine(look.ScaleLine);
    scale->SetPosLeftTop(look.ScaleLeftTop);
    Apply(scale->Font(), look.ScaleFont);
    TSectorSettings* sectors = meter->SectorSettings();
    sectors->SetSector1Color(look.Sector1Color);
    sectors->SetSector3Color(look.Sector3Color);
    sectors->SetSector1From(look.Sector1From);
    sectors->SetSector1To(look.Sector1To);
    sectors->SetSector2From(look.Sector2From);
    sectors->SetSector2To(look.Sector2To);
    sectors->SetSector3From(look.Sector3From);
    sectors->SetSector3To(look.Sector3To);
    sectors->SetOffset(look.SectorOffset);
    sectors->SetWidthOffset(look.SectorWidthOffset);
    meter->MinMax()->SetUseSectorCol(look.MinMaxSectorColour);
    meter->MinMax()->SetMinVisible(look.MinVisible);
    meter->MinMax()->SetMaxVisible(look.MaxVisible);
    Apply(meter->BevelOuter(), look.BevelOuter);
    Apply(meter->BevelInner(), look.BevelInner);
    Apply(meter->Font(), look.Font);
    Apply(meter->FontUnit(), look.FontUnit);
    meter->SetAutoSize(look.AutoSize);
    meter->SetValue(look.StartValue);
}

void ApplyForm(TAbValueInd* readout, const TReadoutForm& form) {
    const TReadoutLook& look = form.Look;
    TSignalSettings* signal = readout->SignalSettings();
    signal->SetName1(form.Caption);
    signal->SetValueFormat(form.ValueFormat);
    signal->SetValueTo(look.ValueTo);
    signal->SetValueUnit(look.Unit);
    readout->SetLimitUpper(look.LimitUpper);
    readout->SetLimitLower(look.LimitLower);
    readout->SetOptions(look.Options);
    Apply(readout->Font(), look.Font);
    Apply(readout->FontValue(), look.FontValue);
    Apply(readout->BevelValue(), look.BevelValue);
    Apply(readout->BevelOuter(), look.BevelOuter);
    Apply(readout->BevelInner(), look.BevelInner);
    readout->SetAutoSize(look.AutoSize);
    readout->SetValue(look.StartValue);
}

void ApplyForm(TAbLED* lamp, const TLampForm& form) {
    const TLampLook& look = form.Look;
    lamp->SetCaption(form.Caption);
    lamp->SetMode(look.Mode);
    lamp->SetFlashing(look.Flashing);
    lamp->SetFrequency(look.Frequency);
    lamp->LED()->SetWidth(look.LedWidth);
    lamp->LED()->SetHeight(look.LedHeight);
    if (look.LedColorOff)
        lamp->LED()->SetColorOff(*look.LedColorOff);
    lamp->SetLED_Position(look.Position);
    lamp->SetSpacing(look.Spacing);
    if (look.Font)
        Apply(lamp->Font(), *look.Font);
}

void ApplyForm(TAbColBitBtn* button, const TButtonForm& form) {
    button->SetTextOn(form.TextOn);
    button->SetTextColOn(form.TextColOn);
    button->SetTextOff(form.TextOff);
    button->SetTextColOff(form.TextColOff);
    button->SetText3D(form.Text3D);
    Apply(button->Font(), form.Font);
    button->GradBtnFace()->SetVisible(form.Gradient);
    button->GradBtnFace()->SetStyle(form.GradientStyle);
    button->GradBtnFace()->SetColorFrom(form.GradientFrom);
    button->GradBtnFace()->SetColorTo(form.GradientTo);
    button->ButtonBevel()->SetWidth(form.BevelWidth);
    button->SetColorOn(form.ColorOn);
    button->SetColorOff(form.ColorOff);
    button->SetColorDisabled(form.ColorDisabled);
    button->SetOffsetDown(form.OffsetDown);
    button->SetSpacing(form.Spacing);
    button->SetMode(form.Mode);
    button->SetChecked(form.Checked);
    button->SetStatusInt(form.StatusInt);
}

namespace {

const TBevelForm RaisedOuter{bsRaised, blOuter, 2, 5, {}, false};
const TBevelForm LoweredInner{bsLowered, blInner, 2, 5, {}, false};

const TDialLook LambdaDial{.Digit = -133643,
                           .ValueFrom = 0.65f,
                           .ValueTo = 1.35f,
                           .Unit = "h",
                           .LimitUpper = 2.0f,
                           .LimitLower = 0.5f,
                           .Options = {opBevelOuter, opName1},
                           .ScaleSteps = 14,
                           .ScaleSubSteps = 5,
                           .ScaleFormat = "#0.00",
                           .ScaleFormatLog = "0e-0",
                           .ScaleColor = clBlack,
                           .PointerColor = clLime,
                           .ScaleLine = true,
                           .ScaleLeftTop = false,
                           .ScaleFont = {"Arial", -16, {fsBold}, {}},
                           .Sector1Color = clGreen,
                           .Sector3Color = clGreen,
                           .Sector1From = 1,
                           .Sector1To = 1,
                           .Sector2From = 1,
                           .Sector2To = 1,
                           .Sector3From = 1,
                           .Sector3To = 1,
                           .SectorOffset = 0,
                           .SectorWidthOffset = 0,
                           .MinMaxSectorColour = false,
                           .MinVisible = false,
                           .MaxVisible = false,
                           .BevelOuter = RaisedOuter,
                           .BevelInner = LoweredInner,
                           .Font = {"Arial", -11, {}, {}},
                           .FontUnit = {"System", -13, {fsBold}, clBlack},
                           .AutoSize = false,
                           .StartValue = -92.9f}; // below the scale until the first data frame

const TBevelForm ValueBox{bsLowered, blNone, 2, 0, clBlack, {}};

const TReadoutLook LambdaReadout{.ValueTo = 100,
                                 .Unit = "%",
                                 .LimitUpper = 90,
                                 .LimitLower = 10,
                                 .Options = {opName1},
                                 .Font = {"Arial", -20, {}, {}},
                                 .FontValue = {"Arial", -40, {}, clLime},
                                 .BevelValue = ValueBox,
                                 .BevelOuter = RaisedOuter,
                                 .BevelInner = LoweredInner,
                                 .AutoSize = true,
                                 .StartValue = 0};

const TReadoutLook SupplyReadout{.ValueTo = 100,
                                 .Unit = "V",
                                 .LimitUpper = 90,
                                 .LimitLower = 10,
                                 .Options = {opName1, opUnit},
                                 .Font = {"Arial", -16, {fsBold}, {}},
                                 .FontValue = {"Arial", -21, {fsBold}, clLime},
                                 .BevelValue = ValueBox,
                                 .BevelOuter = RaisedOuter,
                                 .BevelInner = LoweredInner,
                                 .AutoSize = true,
                                 .StartValue = 0};

const TLampLook StatusLamp{.Mode = mIndicator,
                           .Flashing = false,
                           .Frequency = ff1Hz,
                           .LedWidth = 18,
                           .LedHeight = 18,
                           .LedColorOff = clAppWorkSpace,
                           .Position = lpLeft,
                           .Spacing = 5,
                           .Font = TFontForm{"Arial", -16, {fsBold}, {}}};

// The window's font and the lamp's own off colour.
const TLampLook DiskLamp{.Mode = mIndicator,
                         .Flashing = false,
                         .Frequency = ff1Hz,
                         .LedWidth = 15,
                         .LedHeight = 15,
                         .LedColorOff = {},
                         .Position = lpLeft,
                         .Spacing = 5,
                         .Font = {}};

} // namespace

const TMeterForm MainMeters[4] = {
    {"Meter1", {17, 9, 273, 241}, "LAMBDA CH1", "#0.000", LambdaDial},
    {"Meter2", {296, 8, 273, 241}, "LAMBDA CH2", "#0.0", LambdaDial},
    {"Meter3", {16, 256, 273, 241}, "LAMBDA CH3", "#0.0", LambdaDial},
    {"Meter4", {296, 256, 273, 241}, "LAMBDA CH4", "#0.0", LambdaDial},
};

const TReadoutForm MainReadouts[5] = {
    {"ValueInd1", {582, 8, 148, 72}, "CH1", "0.000", LambdaReadout},
    {"ValueInd2", {736, 8, 148, 72}, "CH2", "0.000", LambdaReadout},
    {"ValueInd3", {584, 96, 148, 72}, "CH3", "0.000", LambdaReadout},
    {"ValueInd4", {738, 96, 148, 72}, "CH4", "0.000", LambdaReadout},
    {"VoltsInd1", {621, 182, 83, 47}, "Power", "#0.0", SupplyReadout},
};

const TLampForm MainLamps[3] = {
    {"Online_LED1", {624, 304, 217, 33}, "LAMBDA DATA ONLINE", StatusLamp},
    {"LED2", {624, 330, 217, 33}, "SENSOR WARMUP", StatusLamp},
    {"DiskLED", {761, 174, 97, 33}, "Log to Disk", DiskLamp},
};

const TButtonForm MainOnlineButton{.Name = "OnlineButton",
                                   .Bounds = {592, 243, 129, 33},
                                   .TextOn = "COMMS ON",
                                   .TextOff = "COMMS OFF",
                                   .TextColOn = clLime,
                                   .TextColOff = clBlack,
                                   .Text3D = true,
                                   .Font = {"Tahoma", -11, {fsBold}, {}},
                                   .Gradient = true,
                                   .GradientStyle = gsHorizontal1,
                                   .GradientFrom = RGBColor(240, 240, 240),
                                   .GradientTo = RGBColor(105, 105, 105),
                                   .BevelWidth = 4,
                                   .ColorOn = clBtnFace,
                                   .ColorOff = clBtnFace,
                                   .ColorDisabled = RGBColor(160, 160, 160),
                                   .OffsetDown = 1,
                                   .Spacing = 4,
                                   .Mode = mSwitch,
                                   .Checked = true,
                                   .StatusInt = 1};
