#include "link/PortRetry.h"

#include "serial/VaComm.h"

TPortRetry::TPortRetry(TVaComm& port, std::function<void()> reopened)
    : FPort(port), FReopened(std::move(reopened)) {
    FTimer.setInterval(IntervalMs);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { Try(); });
}

void TPortRetry::Start() {
    FPortNum = FPort.PortNum();
    FTimer.start();
}

void TPortRetry::Stop() {
    FTimer.stop();
}

// A port the operator opened, or a number he chose, ends the retries. A device that is
// not back yet is no news: the failure is not reported.
void TPortRetry::Try() {
    if (FPort.Active() || FPort.PortNum() != FPortNum) {
        Stop();
        return;
    }
    try {
        FPort.Open();
    } catch (const EVaCommError&) {
        return;
    }
    Stop();
    FReopened();
}
