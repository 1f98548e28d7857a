#pragma once
// Instrument settings as data: for each kind of instrument, the property values a form
// gives it, applied by one function per kind. The main window's instruments are listed here
// too, so that the widget tests draw the very instruments the main window shows.
#include "widgets/AbCBitBt.h"
#include "widgets/AbLED.h"
#include "widgets/AbRMeter.h"
#include "widgets/AbVInd.h"

#include <QRect>
#include <QString>
#include <optional>

struct TFontForm {
    QString Name;
    int Height;
    TFontStyles Style;
    std::optional<TColor> Color;
};

struct TBevelForm {
    TBevelStyle Style;
    TBevelLine Line;
    int Width;
    int Spacing;
    std::optional<TColor> Color;
    std::optional<bool> SurfaceVisible;
};

// What the instruments of one kind share: a dial's scale, a readout's fonts and frames.
struct TDialLook {
    int Digit;
    float ValueFrom, ValueTo;
    QString Unit;
    float LimitUpper, LimitLower;
    TRMeterOptions Options;
    int ScaleSteps, ScaleSubSteps;
    QString ScaleFormat, ScaleFormatLog;
    TColor ScaleColor, PointerColor;
    bool ScaleLine, ScaleLeftTop;
    TFontForm ScaleFont;
    TColor Sector1Color, Sector3Color;
    int Sector1From, Sector1To, Sector2From, Sector2To, Sector3From, Sector3To;
    int SectorOffset, SectorWidthOffset;
    bool MinMaxSectorColour, MinVisible, MaxVisible;
    TBevelForm BevelOuter, BevelInner;
    TFontForm Font, FontUnit;
    bool AutoSize;
    float StartValue;
};

struct TReadoutLook {
    float ValueTo;
    QString Unit;
    float LimitUpper, LimitLower;
    TValueIndOptions Options;
    TFontForm Font, FontValue;
    TBevelForm BevelValue, BevelOuter, BevelInner;
    bool AutoSize;
    float StartValue;
};

struct TLampLook {
    TMode Mode;
    bool Flashing;
    TFlashFreq Frequency;
    int LedWidth, LedHeight;
    std::optional<TColor> LedColorOff;
    TLEDPos Position;
    int Spacing;
    std::optional<TFontForm> Font;
};

// One instrument: its name and place on the form, what tells it from its kind, its look.
struct TMeterForm {
    QString Name;
    QRect Bounds;
    QString Caption, ValueFormat;
    const TDialLook& Look;
};

struct TReadoutForm {
    QString Name;
    QRect Bounds;
    QString Caption, ValueFormat;
    const TReadoutLook& Look;
};

struct TLampForm {
    QString Name;
    QRect Bounds;
    QString Caption;
    const TLampLook& Look;
};

struct TButtonForm {
    QString Name;
    QRect Bounds;
    QString TextOn, TextOff;
    TColor TextColOn, TextColOff;
    bool Text3D;
    TFontForm Font;
    bool Gradient;
    TGradientStyle GradientStyle;
    TColor GradientFrom, GradientTo;
    int BevelWidth;
    TColor ColorOn, ColorOff, ColorDisabled;
    int OffsetDown, Spacing;
    TMode Mode;
    bool Checked;
    qint32 StatusInt;
};

// Each sets the instrument's properties; the caller places it and ends its loading.
void ApplyForm(TAb270Meter* meter, const TMeterForm& form);
void ApplyForm(TAbValueInd* readout, const TReadoutForm& form);
void ApplyForm(TAbLED* lamp, const TLampForm& form);
void ApplyForm(TAbColBitBtn* button, const TButtonForm& form);

// The main window's instruments, in the order the window declares them.
extern const TMeterForm MainMeters[4];     // Meter1 … Meter4
extern const TReadoutForm MainReadouts[5]; // ValueInd1 … ValueInd4, VoltsInd1
extern const TLampForm MainLamps[3];       // Online_LED1, LED2, DiskLED
extern const TButtonForm MainOnlineButton; // OnlineButton
