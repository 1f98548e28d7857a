#pragma once
// The port component's base, its worker-thread base, and the hand-over by which a
// worker thread runs code on the main thread and waits for it.
#include "core/ThreadPriority.h"

#include <QEvent>
#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

// A component: an owner, a name, and the loading and destroying states.
class TVaComponent : public QObject {
public:
    explicit TVaComponent(QObject* owner = nullptr);

    QObject* Owner() const { return parent(); }
    QString Name() const { return objectName(); }
    void SetName(const QString& name) { setObjectName(name); }

    bool Loading() const { return FLoading; }
    bool Destroying() const { return FDestroying; }
    // The owner applies the stored properties between BeginLoading and Loaded.
    void BeginLoading() { FLoading = true; }
    virtual void Loaded();

protected:
    // Called first by the destructor of the most derived class.
    void MarkDestroying() { FDestroying = true; }

private:
    bool FLoading = false;
    bool FDestroying = false;
};

// The hand-over to the main thread (one object, living on the main thread).
//
// A worker calls Synchronize(fn): fn is queued, the main thread is woken by a posted
// event, and the worker blocks until fn has run. The main thread runs queued work from
// that posted event, and also while it waits for a worker (TVaThread::WaitFor, used by
// Close; the write thread's flush acknowledgement), where it runs nothing else: no timer
// tick, no input event.
//
// A job queued with a tag may be withdrawn by that tag before the main thread starts it:
// its worker goes on as if it had run (the write thread's queue-empty report, once the
// queue has filled again, so that the report cannot hold up the writer).
//
// Exceptions thrown by fn: the worker is always released first and never sees them.
// Run from the event loop, the exception then propagates out of event() into
// QApplication::notify, where the program's top-level error report shows it (queued
// work left behind gets a fresh wake-up first). Run inside a thread wait, it is
// captured and re-raised later from a posted event, so it reaches notify from the event
// loop instead of interrupting the wait; ShowException does the same for errors caught
// elsewhere.
class TVaHandOver : public QObject {
public:
    static TVaHandOver& Instance(); // first call on the main thread

    void Synchronize(const std::function<void()>& fn, const void* tag = nullptr);
    // Withdraws the queued jobs carrying tag that have not started.
    void Withdraw(const void* tag);
    // Main thread, inside a wait: runs queued work, deferring its exceptions, until
    // done() holds or timeout passed; returns done(). done is tested under the
    // hand-over's lock; whoever makes it true calls Notify afterwards.
    bool RunPendingUntil(const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = std::chrono::hours(24 * 365));
    void Notify();
    std::size_t PendingCount();
    // Hands an error to the top-level error report through the event loop.
    void ShowException(std::exception_ptr error);

    static QEvent::Type WakeEventType();
    static QEvent::Type ReraiseEventType();

protected:
    bool event(QEvent* e) override;

private:
    struct TJob {
        const std::function<void()>* Fn;
        const void* Tag = nullptr;
        bool Done = false;
    };

    TVaHandOver() = default;
    TJob* TakeJob();
    std::exception_ptr Run(TJob* job);
    void PostWake();

    std::mutex FLock;
    std::condition_variable FDone; // a job has run
    std::condition_variable FWork; // a job was queued, or a wait may be over
    std::deque<TJob*> FJobs;
};

// A worker thread: created suspended, with a terminate flag and a priority; the owner
// stops it and waits for its end before destroying it.
class TVaThread {
public:
    // owner: what the thread serves, as Current tells it.
    explicit TVaThread(const void* owner = nullptr);
    virtual ~TVaThread();
    TVaThread(const TVaThread&) = delete;
    TVaThread& operator=(const TVaThread&) = delete;

    void Start();
    void Terminate() { FTerminated = true; }
    bool Terminated() const { return FTerminated; }
    TThreadPriority Priority() const { return FPriority; }
    void SetPriority(TThreadPriority priority);
    // true: work is handed to the main thread; false: it runs on this thread.
    void SetSync(bool sync) { FSync = sync; }
    // Waits for the end of Execute. On the main thread it keeps running hand-overs.
    void WaitFor();
    // The owner of the worker whose Execute runs on the calling thread; none on any
    // other thread.
    static const void* CurrentOwner();

protected:
    virtual void Execute() = 0;
    TVaHandOver& HandOver() { return FHandOver; }
    // Runs fn on the main thread (FSync) or here; errors here go to the error report.
    // A tag lets the main thread withdraw fn before it has started (TVaHandOver).
    void Synchronize(const std::function<void()>& fn, const void* tag = nullptr);

private:
    void Run();
    // The system's side (VaObjects.cpp, VaObjectsWin32.cpp): the calling thread's id, the
    // calling thread's own priority to count steps from, and a thread's priority set.
    static std::intptr_t CurrentThreadId();
    static int StartingPriority();
    static void ApplyPriority(std::intptr_t tid, int base, TThreadPriority priority);

    TVaHandOver& FHandOver;
    const void* const FOwner;
    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<TThreadPriority> FPriority{tpNormal};
    std::atomic<std::intptr_t> FThreadId{0};
    int FBaseNice = 0; // of the thread that started this one
    std::atomic<bool> FEnded{false};
    bool FSync = true;
};
