#pragma once
// The instruments, switch, menu item and log controls the link drives, as real widgets
// in a window that is never shown; the live switch on, as at start.
#include "link/DeviceLink.h"
#include "tools/ControllerEmulator.h"
#include "widgets/AbCBitBt.h"
#include "widgets/AbLED.h"
#include "widgets/AbRMeter.h"
#include "widgets/AbVInd.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

struct TestLinkControls {
    TestLinkControls() {
        for (int n = 0; n < 4; ++n) {
            controls.Meter[n] = new TAb270Meter(&window);
            controls.ValueInd[n] = new TAbValueInd(&window);
            controls.Meter[n]->SignalSettings()->SetValueFrom(0.65f);
            controls.Meter[n]->SignalSettings()->SetValueTo(1.35f);
            controls.Meter[n]->Loaded();
            controls.ValueInd[n]->Loaded();
            controls.Meter[n]->SetValue(-92.9f);
        }
        controls.VoltsInd1 = new TAbValueInd(&window);
        controls.VoltsInd1->Loaded();
        controls.Online_LED1 = new TAbLED(&window);
        controls.LED2 = new TAbLED(&window);
        controls.DiskLED = new TAbLED(&window);
        controls.ComPortLED = new TAbLED(&window);
        controls.OnlineButton = new TAbColBitBtn(&window);
        controls.OnlineButton->SetMode(mSwitch);
        controls.OnlineButton->SetChecked(true);
        controls.Config1 = new QAction(&window);
        controls.Config1->setEnabled(false);
        controls.LogStartButton = new QPushButton(&window);
        controls.LogStopButton = new QPushButton(&window);
        controls.LogStopButton->setEnabled(false);
        controls.StaticText2 = new QLabel(&window);
    }

    QWidget window;
    TLinkControls controls;
};

// A controller that answers at once with fixed lambda values and supply, already warm.
inline sim::EmulatorOptions ConstantController(double l1, double l2, double l3, double l4,
                                               int supplyRaw = 200) {
    sim::EmulatorOptions options;
    options.warmupSeconds = 0;
    options.pattern = sim::LambdaPattern::Constant;
    options.lambda = {l1, l2, l3, l4};
    options.supplyRaw = std::uint8_t(supplyRaw);
    return options;
}
