#pragma once
// The hang-up latch: the first thread to find the device gone notes it and asks the main
// thread, once, to close the port from its event loop. Every open is a generation of its
// own, so a request that comes after the port was closed and opened again does nothing.
#include <QEvent>
#include <atomic>
#include <mutex>
#include <optional>

class QObject;

class TVaHangUpLatch {
public:
    // target: the object the request is posted to.
    explicit TVaHangUpLatch(QObject* target) : FTarget(target) {}

    // At every open: not hung up, a new generation, nothing deferred.
    void Arm();
    bool HungUp() const { return FHungUp.load(); }
    // Any thread; nothing is waited for.
    void Note();
    // A request that came while a handler ran waits for the last to return.
    void Defer() { FDeferred = true; }
    void PostDeferred();
    // The generation e carries when it is a request; none for any other event.
    std::optional<unsigned> Request(QEvent* e);
    // Whether a request of that generation is for this open's hang-up.
    bool Current(unsigned generation) const { return FHungUp && generation == FGeneration; }

private:
    void Post();

    QObject* const FTarget;
    std::atomic<bool> FHungUp = false;
    std::atomic<unsigned> FGeneration = 0; // counts the opens, so a late request finds its own
    std::mutex FPostLock;                  // a request is made and read under it
    std::atomic<bool> FDeferred = false;   // a request came while a handler ran
};
