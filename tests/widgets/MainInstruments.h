#pragma once
// The main window's instruments, built from its form tables, each at its size in that
// window, with loading ended.
#include "widgets/InstrumentForms.h"

template <class T, class Form> void ConfigureAsForm(T* instrument, const Form& form) {
    instrument->resize(form.Bounds.size());
    ApplyForm(instrument, form);
    instrument->Loaded();
}

// Meter1 … Meter4.
inline void ConfigureMeter(TAb270Meter* meter, int channel) {
    ConfigureAsForm(meter, MainMeters[channel - 1]);
}

// ValueInd1 … ValueInd4.
inline void ConfigureChannelReadout(TAbValueInd* readout, int channel) {
    ConfigureAsForm(readout, MainReadouts[channel - 1]);
}

// VoltsInd1.
inline void ConfigureVolts(TAbValueInd* readout) {
    ConfigureAsForm(readout, MainReadouts[4]);
}

// Online_LED1.
inline void ConfigureOnlineLamp(TAbLED* lamp) {
    ConfigureAsForm(lamp, MainLamps[0]);
}

// LED2.
inline void ConfigureWarmupLamp(TAbLED* lamp) {
    ConfigureAsForm(lamp, MainLamps[1]);
}

// DiskLED: the window's font and the lamp's default off colour.
inline void ConfigureDisk(TAbLED* lamp) {
    ConfigureAsForm(lamp, MainLamps[2]);
}

// OnlineButton.
inline void ConfigureButton(TAbColBitBtn* button) {
    ConfigureAsForm(button, MainOnlineButton);
}
