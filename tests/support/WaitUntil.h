#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

// Runs the event loop until the condition holds or the time is up; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
