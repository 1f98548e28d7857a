#pragma once
// The instruments as the main window configures them, each at its size in that window,
// with loading ended.
#include "widgets/AbCBitBt.h"
#include "widgets/AbLED.h"
#include "widgets/AbRMeter.h"
#include "widgets/AbVInd.h"
#include "windows/Unit1NC.h"

inline void ConfigureMeter(TAb270Meter* meter, int channel) {
    meter->resize(273, 241);
    ConfigureLambdaMeter(meter, channel);
    meter->Loaded();
}

// ValueInd1 … ValueInd4.
inline void ConfigureChannelReadout(TAbValueInd* readout, int channel) {
    readout->resize(148, 72);
    ConfigureLambdaReadout(readout, QString("CH%1").arg(channel));
    readout->Loaded();
}

// VoltsInd1.
inline void ConfigureVolts(TAbValueInd* readout) {
    readout->resize(83, 47);
    ConfigureVoltsReadout(readout);
    readout->Loaded();
}

// Online_LED1 and LED2.
inline void ConfigureLamp(TAbLED* lamp, const QString& caption) {
    lamp->resize(217, 33);
    ConfigureStatusLamp(lamp, caption);
    lamp->Loaded();
}

// DiskLED: the window's font and the lamp's default off colour.
inline void ConfigureDisk(TAbLED* lamp) {
    lamp->resize(97, 33);
    ConfigureDiskLamp(lamp);
    lamp->Loaded();
}

// OnlineButton.
inline void ConfigureButton(TAbColBitBtn* button) {
    button->resize(129, 33);
    ConfigureOnlineButton(button);
    button->Loaded();
}
