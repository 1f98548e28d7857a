#pragma once
// Small system wrappers the port threads are built on: a handle owner, a manual-reset
// event (an eventfd that poll() waits on beside the port on Linux, a Win32 event on
// Windows), a wait on several events and the line, and a lock the holding thread may
// take again. VaObjects.cpp is the POSIX side, VaObjectsWin32.cpp the Windows one.
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>

struct TVaLineWait;

enum TVaEventWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

inline constexpr std::uint32_t INFINITE = 0xFFFFFFFF;

// Owns a system handle (a descriptor, or a Win32 handle); FError keeps the last system
// error seen.
class TVaHandleObject {
public:
    explicit TVaHandleObject(std::intptr_t handle);
    virtual ~TVaHandleObject();
    TVaHandleObject(const TVaHandleObject&) = delete;
    TVaHandleObject& operator=(const TVaHandleObject&) = delete;

    std::intptr_t Handle() const { return FHandle; }
    int Error() const { return FError; }

protected:
    std::intptr_t FHandle;
    int FError = 0;
};

// A manual-reset event: stays signalled until reset. The handle is readable (set)
// exactly while the event is signalled.
class TVaEvent : public TVaHandleObject {
public:
    explicit TVaEvent(bool InitialState);

    // Setting an event already set costs one load (a byte queued while others wait).
    void SetEvent() {
        if (!FState.load())
            Signal();
    }
    void ResetEvent();
    bool Signaled() const { return FState.load(); }
    // Timeout in milliseconds, INFINITE for no limit.
    TVaEventWaitResult WaitFor(std::uint32_t Timeout);

private:
    void Signal();

    std::mutex FLock;
    // Read without the lock. Sequentially consistent: a thread that publishes data with a
    // sequentially consistent store and then sets the event, and one that resets the event
    // and then looks at the data again, cannot both miss the other.
    std::atomic<bool> FState = false;
};

// The kind every port thread uses: manual reset, initially clear.
class TVaWaitEvent : public TVaEvent {
public:
    TVaWaitEvent() : TVaEvent(false) {}
};

// Result of WaitForMultiple when the time limit passed first.
inline constexpr int wmTimeout = -1;

// Waits until one of events is signalled or, when port is given, until its line is
// ready for port->For or hung up (port->HungUp tells). Returns the index of the first
// signalled event in list order (the port counts as the index after the last event), or
// wmTimeout. A null entry keeps its place in the list and is not waited on.
int WaitForMultiple(std::initializer_list<TVaEvent*> events, std::uint32_t Timeout,
                    TVaLineWait* port = nullptr);

// A lock that the thread holding it may take again.
class TVaCriticalSection {
public:
    void Acquire() { FMutex.lock(); }
    void Release() { FMutex.unlock(); }
    void Enter() { Acquire(); }
    void Leave() { Release(); }
    // For std::lock_guard.
    void lock() { Acquire(); }
    void unlock() { Release(); }

private:
    std::recursive_mutex FMutex;
};
