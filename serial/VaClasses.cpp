#include "serial/VaClasses.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>

TVaComponent::TVaComponent(QObject* owner) : QObject(owner) {}

void TVaComponent::Loaded() {
    FLoading = false;
}

namespace {

class TReraiseEvent : public QEvent {
public:
    explicit TReraiseEvent(std::exception_ptr error)
        : QEvent(TVaHandOver::ReraiseEventType()), Error(std::move(error)) {}
    std::exception_ptr Error;
};

thread_local const void* tRunningFor = nullptr;

bool OnThreadOf(const QObject& object) {
    return QThread::currentThread() == object.thread();
}

} // namespace

TVaHandOver& TVaHandOver::Instance() {
    // Never destroyed: workers may still post to it while the application shuts down.
    static TVaHandOver* const instance = new TVaHandOver;
    return *instance;
}

QEvent::Type TVaHandOver::WakeEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

QEvent::Type TVaHandOver::ReraiseEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void TVaHandOver::Synchronize(const std::function<void()>& fn, const void* tag) {
    if (OnThreadOf(*this)) {
        fn();
        return;
    }
    TJob job{&fn, tag};
    bool first;
    {
        std::lock_guard lock(FLock);
        first = FJobs.empty();
        FJobs.push_back(&job);
    }
    FWork.notify_one();
    if (first) // the main thread runs every queued job when woken once
        PostWake();
    std::unique_lock lock(FLock);
    FDone.wait(lock, [&] { return job.Done; });
}

void TVaHandOver::Withdraw(const void* tag) {
    if (!tag)
        return;
    bool withdrawn = false;
    {
        std::lock_guard lock(FLock);
        for (auto it = FJobs.begin(); it != FJobs.end();) {
            if ((*it)->Tag != tag) {
                ++it;
                continue;
            }
            (*it)->Done = true;
            it = FJobs.erase(it);
            withdrawn = true;
        }
    }
    if (withdrawn)
        FDone.notify_all();
}

std::size_t TVaHandOver::PendingCount() {
    std::lock_guard lock(FLock);
    return FJobs.size();
}

bool TVaHandOver::RunPendingUntil(const std::function<bool()>& done,
                                  std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        TJob* job;
        {
            std::unique_lock lock(FLock);
            if (!FWork.wait_until(lock, deadline, [&] { return done() || !FJobs.empty(); }) ||
                done())
                return done();
            job = FJobs.front();
            FJobs.pop_front();
        }
        if (std::exception_ptr error = Run(job))
            ShowException(error);
    }
}

void TVaHandOver::Notify() {
    // Under the lock, so that a waiter between its test and its sleep cannot miss it.
    std::lock_guard lock(FLock);
    FWork.notify_all();
}

// Events are made under FLock and read under it in event(): that orders a worker's
// writes to an event before the main thread's reads also for a thread sanitizer, which
// cannot see the locking inside Qt's postEvent.
void TVaHandOver::ShowException(std::exception_ptr error) {
    QEvent* reraise;
    {
        std::lock_guard lock(FLock);
        reraise = new TReraiseEvent(std::move(error));
    }
    QCoreApplication::postEvent(this, reraise);
}

void TVaHandOver::PostWake() {
    QEvent* wake;
    {
        std::lock_guard lock(FLock);
        wake = new QEvent(WakeEventType());
    }
    QCoreApplication::postEvent(this, wake);
}

bool TVaHandOver::event(QEvent* e) {
    QEvent::Type type;
    {
        std::lock_guard lock(FLock);
        type = e->type();
    }
    if (type == WakeEventType()) {
        while (TJob* job = TakeJob()) {
            if (std::exception_ptr error = Run(job)) {
                if (PendingCount() > 0)
                    PostWake();
                std::rethrow_exception(error);
            }
        }
        return true;
    }
    if (type == ReraiseEventType())
        std::rethrow_exception(static_cast<TReraiseEvent*>(e)->Error);
    return QObject::event(e);
}

TVaHandOver::TJob* TVaHandOver::TakeJob() {
    std::lock_guard lock(FLock);
    if (FJobs.empty())
        return nullptr;
    TJob* job = FJobs.front();
    FJobs.pop_front();
    return job;
}

std::exception_ptr TVaHandOver::Run(TJob* job) {
    std::exception_ptr error;
    try {
        (*job->Fn)();
    } catch (...) {
        error = std::current_exception();
    }
    {
        // The worker may return and free job as soon as Done is seen.
        std::lock_guard lock(FLock);
        job->Done = true;
    }
    FDone.notify_all();
    return error;
}

TVaThread::TVaThread(const void* owner) : FHandOver(TVaHandOver::Instance()), FOwner(owner) {}

TVaThread::~TVaThread() = default;

void TVaThread::Start() {
    FBaseNice = StartingPriority();
    FThread = std::thread([this] { Run(); });
}

void TVaThread::SetPriority(TThreadPriority priority) {
    FPriority = priority;
    if (const std::intptr_t tid = FThreadId)
        ApplyPriority(tid, FBaseNice, priority);
}

void TVaThread::WaitFor() {
    if (!FThread.joinable())
        return;
    if (OnThreadOf(FHandOver))
        FHandOver.RunPendingUntil([this] { return FEnded.load(); });
    FThread.join();
}

void TVaThread::Synchronize(const std::function<void()>& fn, const void* tag) {
    if (FSync) {
        FHandOver.Synchronize(fn, tag);
        return;
    }
    try {
        fn();
    } catch (...) {
        FHandOver.ShowException(std::current_exception());
    }
}

const void* TVaThread::CurrentOwner() {
    return tRunningFor;
}

void TVaThread::Run() {
    tRunningFor = FOwner;
    FThreadId = CurrentThreadId();
    ApplyPriority(FThreadId, FBaseNice, FPriority);
    try {
        Execute();
    } catch (...) {
        FHandOver.ShowException(std::current_exception());
    }
    FEnded = true;
    FHandOver.Notify();
}
