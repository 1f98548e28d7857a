#pragma once
// The link with a real port, what it tells kept as the windows would show it, and
// (optionally) the controller emulator: everything the main window gives it, without the window.
#include "link/DeviceLink.h"
#include "serial/VaComm.h"
#include "tests/support/LinkControls.h"
#include "tests/support/WaitUntil.h"

#include <QTimer>
#include <memory>

struct LinkRig {
    static constexpr int Port = 4;

    LinkRig() {
        link = std::make_unique<TDeviceLink>(port, readClock);
        view.Bind(*link);
        port.SetPortNum(Port);
        port.OnRxChar = [this](QObject* sender, std::uint32_t count) {
            link->VaComm1RxChar(sender, count);
        };
        port.OnClose = [this](QObject* sender) { link->VaComm1Close(sender); };
        port.OnHangUp = [this](QObject* sender) { link->VaComm1HangUp(sender); };
    }
    ~LinkRig() {
        port.OnRxChar = nullptr;
        port.OnClose = nullptr;
        port.OnHangUp = nullptr;
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

    // One live tick, then the event loop until the controller's answer has been routed.
    bool TickAndWaitForAnswer() {
        link->Timer2Timer(nullptr);
        return WaitForAnswer();
    }

    // The event loop until a whole live frame has arrived since the last tick.
    bool WaitForAnswer() {
        return WaitUntil([&] { return link->State.LiveArrived && link->State.RxIndex >= 18; },
                         10000);
    }

    QTimer readClock; // the read cycle's clock, which these tests tick by hand
    TestLinkView view;
    TVaComm port;
    std::unique_ptr<sim::ControllerEmulator> emulator;
    std::unique_ptr<TDeviceLink> link;
};
