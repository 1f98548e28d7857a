#pragma once
// Back by itself: after the line hung up, the same port number is tried again once a
// second, silently, until the port opens or the operator has opened or renumbered it, so a
// re-plugged adapter needs no trip to the port window.
#include "serial/VaTypes.h"

#include <QTimer>
#include <functional>

class TVaComm;

class TPortRetry {
public:
    static constexpr int IntervalMs = 1000;

    // reopened runs after a retry opened the port.
    TPortRetry(TVaComm& port, std::function<void()> reopened);

    // Starts trying the port's current number.
    void Start();
    void Stop();
    bool Trying() const { return FTimer.isActive(); }

private:
    void Try();

    TVaComm& FPort;
    std::function<void()> FReopened;
    QTimer FTimer;
    TVaPortInt FPortNum = 0;
};
