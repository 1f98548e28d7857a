#include "serial/VaCommHangUp.h"

#include <QCoreApplication>

namespace {

QEvent::Type HangUpEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class THangUpEvent : public QEvent {
public:
    explicit THangUpEvent(unsigned generation)
        : QEvent(HangUpEventType()), Generation(generation) {}
    const unsigned Generation;
};

} // namespace

void TVaHangUpLatch::Arm() {
    FHungUp = false;
    FDeferred = false;
    ++FGeneration;
}

// Either thread (or the main thread) may find the device gone; the first to do so asks
// the main thread to close the port.
void TVaHangUpLatch::Note() {
    if (!FHungUp.exchange(true))
        Post();
}

void TVaHangUpLatch::PostDeferred() {
    if (FDeferred.exchange(false))
        Post();
}

// The event is made under FPostLock and read under it in Request, so that a thread
// sanitizer sees the order that Qt's own queue lock provides.
void TVaHangUpLatch::Post() {
    QEvent* hangUp;
    {
        std::lock_guard lock(FPostLock);
        hangUp = new THangUpEvent(FGeneration);
    }
    QCoreApplication::postEvent(FTarget, hangUp);
}

std::optional<unsigned> TVaHangUpLatch::Request(QEvent* e) {
    std::lock_guard lock(FPostLock);
    if (e->type() != HangUpEventType())
        return std::nullopt;
    return static_cast<THangUpEvent*>(e)->Generation;
}
