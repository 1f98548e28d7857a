#pragma once
// The port component's parts, for its own source files only: users of the component
// include serial/VaComm.h alone.
#include "serial/VaComm.h"
#include "serial/VaCommHangUp.h"
#include "serial/VaCommQueues.h"
#include "serial/VaCommReceiver.h"
#include "serial/VaCommThreads.h"

#include <QSocketNotifier>
#include <functional>
#include <utility>

// The main thread's watch on the port for received bytes: runs its handler for every
// activation, so that an error raised there reaches the event loop as from any handler.
class TRxWatch : public QSocketNotifier {
public:
    TRxWatch(int fd, std::function<void()> activated)
        : QSocketNotifier(fd, QSocketNotifier::Read), FActivated(std::move(activated)) {}

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::SockAct)
            return QSocketNotifier::event(e);
        FActivated();
        return true;
    }

private:
    std::function<void()> FActivated;
};

// Whether a line query answered: false when the line has nothing to report (no modem
// lines, no counters, a device gone); any other failure raises format with the error.
bool Answered(int error, const char* format);
