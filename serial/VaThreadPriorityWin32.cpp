// The port threads' priorities on Windows, through SetThreadPriority.
#include "serial/VaClasses.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

std::intptr_t TVaThread::CurrentThreadId() {
    return static_cast<std::intptr_t>(::GetCurrentThreadId());
}

// Windows priorities are given as levels of their own, not as steps from the caller's.
int TVaThread::StartingPriority() {
    return 0;
}

void TVaThread::ApplyPriority(std::intptr_t tid, int, TThreadPriority priority) {
    static constexpr int level[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                    THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                    THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                    THREAD_PRIORITY_TIME_CRITICAL};
    HANDLE thread = ::OpenThread(THREAD_SET_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(tid));
    if (!thread)
        return;
    ::SetThreadPriority(thread, level[priority]);
    ::CloseHandle(thread);
}
