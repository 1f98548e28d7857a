#include "widgets/_AbFlash.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

std::atomic<bool> Terminating{false};

const QEvent::Type TickEvent = QEvent::Type(QEvent::registerEventType());

QThread::Priority ToQThreadPriority(TThreadPriority p) {
    switch (p) {
    case tpIdle:
        return QThread::IdlePriority;
    case tpLowest:
        return QThread::LowestPriority;
    case tpLower:
        return QThread::LowPriority;
    case tpNormal:
        return QThread::NormalPriority;
    case tpHigher:
        return QThread::HighPriority;
    case tpHighest:
        return QThread::HighestPriority;
    case tpTimeCritical:
        return QThread::TimeCriticalPriority;
    }
    return QThread::NormalPriority;
}

// Tells the waiting timer thread that its tick has run, even when the tick threw.
class TTickDoneGuard {
public:
    explicit TTickDoneGuard(TTimerThread* thread) : FThread(thread) {}
    ~TTickDoneGuard() {
        if (FThread)
            FThread->TickDone();
    }
    TTickDoneGuard(const TTickDoneGuard&) = delete;
    TTickDoneGuard& operator=(const TTickDoneGuard&) = delete;

private:
    TTimerThread* FThread;
};

} // namespace

bool ApplicationTerminating() {
    return Terminating.load();
}

void SetApplicationTerminating() {
    Terminating.store(true);
}

TTimerThread::TTimerThread(TAbFlash* owner) : tOwner(owner) {}

void TTimerThread::Resume(TThreadPriority priority) {
    {
        const std::lock_guard lock(FMutex);
        FSuspended = false;
    }
    FWake.notify_all();
    if (!isRunning())
        start(ToQThreadPriority(priority));
    else
        setPriority(ToQThreadPriority(priority));
}

void TTimerThread::Suspend() {
    const std::lock_guard lock(FMutex);
    FSuspended = true;
}

void TTimerThread::Terminate() {
    {
        const std::lock_guard lock(FMutex);
        FTerminated = true;
    }
    FWake.notify_all();
}

void TTimerThread::TickDone() {
    {
        const std::lock_guard lock(FMutex);
        FTickPending = false;
    }
    FWake.notify_all();
}

bool TTimerThread::WaitUntilResumed() {
    std::unique_lock lock(FMutex);
    FWake.wait(lock, [this] { return !FSuspended || FTerminated; });
    return !FTerminated;
}

void TTimerThread::Synchronize() {
    std::unique_lock lock(FMutex);
    FTickPending = true;
    QCoreApplication::postEvent(tOwner, new QEvent(TickEvent));
    FWake.wait(lock, [this] { return !FTickPending || FTerminated; });
}

void TTimerThread::run() {
    while (WaitUntilResumed()) {
        QThread::msleep(quint32(tInterval.load()));
        {
            const std::lock_guard lock(FMutex);
            if (FTerminated || ApplicationTerminating() || !tOwner)
                return;
        }
        Synchronize();
    }
}

TAbFlash::TAbFlash(QObject* owner)
    : QObject(owner), FTimerThread(std::make_unique<TTimerThread>(this)) {}

TAbFlash::~TAbFlash() {
    FDestroying = true;
    FEnabled = false;
    FOnTimer = nullptr;
    FTimerThread->Terminate();
    FTimerThread->wait();
}

void TAbFlash::SetEnabled(bool v) {
    if (v == FEnabled)
        return;
    FEnabled = v;
    UpdateTimer();
}

void TAbFlash::SetThreadPriority(TThreadPriority v) {
    if (v == FThreadPriority)
        return;
    FThreadPriority = v;
    UpdateTimer();
}

void TAbFlash::SetOnTimer(TNotifyEvent v) {
    const bool wasSet = bool(FOnTimer);
    FOnTimer = std::move(v);
    if (wasSet != bool(FOnTimer))
        UpdateTimer();
}

void TAbFlash::UpdateTimer() {
    FTimerThread->Suspend();
    FTimerThread->tInterval = FInterval;
    if (FInterval != 0 && FEnabled && FOnTimer)
        FTimerThread->Resume(FThreadPriority);
}

void TAbFlash::Timer() {
    if (FEnabled && !FDestroying && FOnTimer)
        FOnTimer(this);
}

bool TAbFlash::event(QEvent* e) {
    if (e->type() != TickEvent)
        return QObject::event(e);
    const TTickDoneGuard done(FTimerThread.get());
    Timer();
    return true;
}
