#pragma once
// What the link tells, kept as the windows would show it: the meters' and readouts' values,
// the lamps, the menu item and the log controls; the live switch on, as at start.
#include "link/DeviceLink.h"
#include "tools/ControllerEmulator.h"

#include <QString>
#include <array>

struct TestLinkView {
    // A value no frame gives, so that a test sees whether a tick showed anything.
    static constexpr float Untouched = -92.9f;

    void Bind(TDeviceLink& link) {
        link.OnLiveShown = [this](const TLiveShown& shown) {
            Meter = shown.Lambda;
            ValueInd = shown.Lambda;
            Volts = shown.Volts;
            WarmUpLamp = shown.WarmUp;
        };
        link.OnPolling = [this](bool on) { Polling = on; };
        link.OnOnline = [this](bool on) { OnlineLamp = on; };
        link.OnConfigEnabled = [this](bool enabled) { ConfigEnabled = enabled; };
        link.OnPortOpen = [this](bool open) { PortLamp = open; };
        link.OnLogActive = [this](bool logging) {
            DiskLamp = logging;
            LogStopEnabled = logging;
            LogStartEnabled = !logging;
        };
        link.OnLogFileName = [this](const QString& fileName) { LogFileName = fileName; };
    }

    std::array<float, 4> Meter{Untouched, Untouched, Untouched, Untouched};
    std::array<float, 4> ValueInd{};
    float Volts = 0;
    bool WarmUpLamp = false;
    bool Polling = true;
    bool OnlineLamp = false;
    bool ConfigEnabled = false;
    bool PortLamp = false;
    bool DiskLamp = false;
    bool LogStartEnabled = true;
    bool LogStopEnabled = false;
    QString LogFileName;
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
