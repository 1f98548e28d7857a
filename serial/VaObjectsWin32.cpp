// The Windows side of the port threads' system wrappers: manual-reset Win32 events, and
// the wait on several of them and the line through WaitForMultipleObjects.
//
// <windows.h> comes after the project's headers: it defines as macros names that they
// declare as constants (INFINITE, EV_RXCHAR, ...), with the same values.
#include "serial/VaObjects.h"

#include "serial/VaLine.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <chrono>
#include <system_error>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

HANDLE Win32Handle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::intptr_t NewEvent() {
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event)
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(),
                                "CreateEventW");
    return reinterpret_cast<std::intptr_t>(event);
}

// How often a wait on the line looks whether the device is still there: a removed
// adapter, or a far end that closed under Wine, need not end a pending WaitCommEvent.
constexpr DWORD LineCheckMs = 100;

} // namespace

TVaHandleObject::TVaHandleObject(std::intptr_t handle) : FHandle(handle) {}

TVaHandleObject::~TVaHandleObject() {
    if (FHandle)
        ::CloseHandle(Win32Handle(FHandle));
}

TVaEvent::TVaEvent(bool InitialState) : TVaHandleObject(NewEvent()) {
    if (InitialState)
        SetEvent();
}

void TVaEvent::Signal() {
    std::lock_guard lock(FLock);
    if (FState)
        return;
    // The state first: a thread woken by the handle must find the event set.
    FState = true;
    if (!::SetEvent(Win32Handle(FHandle)))
        FError = static_cast<int>(::GetLastError());
}

void TVaEvent::ResetEvent() {
    if (!FState.load())
        return;
    std::lock_guard lock(FLock);
    if (!FState)
        return;
    if (!::ResetEvent(Win32Handle(FHandle)))
        FError = static_cast<int>(::GetLastError());
    FState = false;
}

TVaEventWaitResult TVaEvent::WaitFor(std::uint32_t Timeout) {
    switch (::WaitForSingleObject(Win32Handle(FHandle), Timeout)) {
    case WAIT_OBJECT_0:
        return wrSignaled;
    case WAIT_TIMEOUT:
        return wrTimeout;
    case WAIT_ABANDONED:
        return wrAbandoned;
    default:
        FError = static_cast<int>(::GetLastError());
        return wrError;
    }
}

// The line is waited on in slices of LineCheckMs: every slice arms the line's wait again,
// which also asks the device whether it is still there.
int WaitForMultiple(std::initializer_list<TVaEvent*> events, std::uint32_t Timeout,
                    TVaLineWait* port) {
    std::array<HANDLE, 6> handles{};
    std::array<int, 6> index{};
    assert(events.size() < handles.size());
    DWORD count = 0;
    int listed = 0;
    for (TVaEvent* e : events) {
        if (e) {
            index[count] = listed;
            handles[count++] = Win32Handle(e->Handle());
        }
        ++listed;
    }
    const auto signalled = [&](DWORD result, DWORD waited) {
        return result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + waited;
    };
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(Timeout);
    for (;;) {
        DWORD wait = INFINITE;
        if (Timeout != INFINITE) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<DWORD>(std::max<std::int64_t>(0, left.count()));
        }
        DWORD waited = count;
        if (port) {
            bool hungUp = false;
            HANDLE line = static_cast<HANDLE>(port->Line.ArmWait(port->For, hungUp));
            if (!line) {
                // Ready now, or gone; events listed before the port still come first.
                if (count > 0) {
                    const DWORD first = ::WaitForMultipleObjects(count, handles.data(), FALSE, 0);
                    if (signalled(first, count))
                        return index[first - WAIT_OBJECT_0];
                }
                port->HungUp = hungUp;
                return listed;
            }
            handles[waited] = line;
            index[waited++] = listed;
            wait = std::min(wait, LineCheckMs);
        }
        if (waited == 0) {
            ::Sleep(wait);
            return wmTimeout;
        }
        const DWORD result = ::WaitForMultipleObjects(waited, handles.data(), FALSE, wait);
        if (signalled(result, waited)) {
            const DWORD i = result - WAIT_OBJECT_0;
            if (port && i == count) {
                port->HungUp = port->Line.WaitEnded(port->For);
                return listed;
            }
            return index[i];
        }
        if (result != WAIT_TIMEOUT)
            return wmTimeout;
        if (Timeout != INFINITE && Clock::now() >= deadline)
            return wmTimeout;
    }
}
