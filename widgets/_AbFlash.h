#pragma once
// A timer component whose ticks come from a background thread and run on the
// user-interface thread, one at a time: the thread waits until each tick has run.
#include "core/ThreadPriority.h"
#include "widgets/GTypes.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

// Set when the application is going away; timer threads stop ticking then.
bool ApplicationTerminating();
void SetApplicationTerminating();

class TAbFlash;

// Sleeps tInterval milliseconds, hands one tick to the owner on the user-interface
// thread and waits until it has run; created suspended.
class TTimerThread : public QThread {
public:
    explicit TTimerThread(TAbFlash* owner);

    TAbFlash* const tOwner;
    std::atomic<int> tInterval{16};

    void Resume(TThreadPriority priority);
    void Suspend();
    // Asks the thread to stop and wakes it wherever it waits.
    void Terminate();
    // The owner has run the tick the thread is waiting for.
    void TickDone();

protected:
    void run() override;

private:
    bool WaitUntilResumed();
    void Synchronize();

    std::mutex FMutex;
    std::condition_variable FWake;
    bool FSuspended = true;
    bool FTerminated = false;
    bool FTickPending = false;
};

class TAbFlash : public QObject {
public:
    explicit TAbFlash(QObject* owner = nullptr);
    ~TAbFlash() override;

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool v);
    TThreadPriority ThreadPriority() const { return FThreadPriority; }
    void SetThreadPriority(TThreadPriority v);
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent v);
    int Interval() const { return FInterval; }

protected:
    // One tick, on the user-interface thread.
    virtual void Timer();
    bool event(QEvent* e) override;

private:
    void UpdateTimer();

    bool FEnabled = true;
    int FInterval = 16;
    TNotifyEvent FOnTimer;
    TThreadPriority FThreadPriority = tpNormal;
    bool FDestroying = false;
    std::unique_ptr<TTimerThread> FTimerThread;
};
