// The port threads' priorities on Linux: steps of nice, and the batch scheduling class
// above normal.
#include "serial/VaClasses.h"

#include <algorithm>
#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

std::intptr_t TVaThread::CurrentThreadId() {
    return ::gettid();
}

int TVaThread::StartingPriority() {
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    return errno == 0 ? nice : 0;
}

// Steps of nice from the starting thread's own value, so that a program started with a
// lower priority keeps it. A thread above normal takes its larger share as a batch
// thread, which does not preempt when woken: the write thread, woken by the main thread
// for the bytes it queues, would otherwise take the main thread's processor at once and
// hold it up for each write. Raising a priority needs the right to do so and is skipped
// without it.
void TVaThread::ApplyPriority(std::intptr_t tid, int base, TThreadPriority priority) {
    static constexpr int step[] = {19, 10, 5, 0, -5, -10, -15};
    const sched_param param{};
    ::sched_setscheduler(static_cast<pid_t>(tid), priority > tpNormal ? SCHED_BATCH : SCHED_OTHER,
                         &param);
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::clamp(base + step[priority], -20, 19));
}
