#pragma once
// The link with a real port, real instruments and (optionally) the controller emulator:
// everything the main window gives it, without the window.
#include "link/DeviceLink.h"
#include "serial/VaComm.h"
#include "tests/support/BoxWatcher.h"
#include "tools/ControllerEmulator.h"
#include "widgets/AbCBitBt.h"
#include "widgets/AbLED.h"
#include "widgets/AbRMeter.h"
#include "widgets/AbVInd.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <memory>

struct LinkRig {
    static constexpr int Port = 4;

    LinkRig() {
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
        link = std::make_unique<TDeviceLink>(port, controls);
        port.SetPortNum(Port);
        port.OnRxChar = [this](QObject* sender, std::uint32_t count) {
            link->VaComm1RxChar(sender, count);
        };
        port.OnClose = [this](QObject* sender) { link->VaComm1Close(sender); };
    }

    ~LinkRig() {
        port.OnRxChar = nullptr;
        port.OnClose = nullptr;
        port.Close();
    }

    // Starts the emulator as COM<Port> and opens the port on it.
    sim::ControllerEmulator& StartEmulator(sim::EmulatorOptions options = {}) {
        options.port = Port;
        emulator = std::make_unique<sim::ControllerEmulator>(options);
        emulator->Start();
        port.Open();
        return *emulator;
    }

    static sim::EmulatorOptions Constant(double l1, double l2, double l3, double l4,
                                         int supply = 200) {
        sim::EmulatorOptions options;
        options.warmupSeconds = 0;
        options.pattern = sim::LambdaPattern::Constant;
        options.lambda = {l1, l2, l3, l4};
        options.supplyRaw = std::uint8_t(supply);
        return options;
    }

    // One live tick, then the event loop until the controller's answer has been routed.
    bool TickAndWaitForAnswer(int timeoutMs = 2000) {
        link->Timer2Timer(nullptr);
        return WaitUntil([&] { return link->State.LiveArrived && link->State.RxIndex >= 18; },
                         timeoutMs);
    }

    // The event loop for a while, so late bytes can arrive.
    static void Settle(int ms) {
        WaitUntil([] { return false; }, ms);
    }

    QWidget window;
    TLinkControls controls;
    TVaComm port;
    std::unique_ptr<sim::ControllerEmulator> emulator;
    std::unique_ptr<TDeviceLink> link;
};
