#include "serial/VaObjects.h"

#include "serial/VaLine.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

TVaHandleObject::TVaHandleObject(std::intptr_t handle) : FHandle(handle) {}

TVaHandleObject::~TVaHandleObject() {
    if (FHandle >= 0)
        ::close(static_cast<int>(FHandle));
}

namespace {

int NewEventFd() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    return fd;
}

// poll() with a millisecond limit that survives interruption by signals.
int PollFor(pollfd* fds, nfds_t count, std::uint32_t timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
    for (;;) {
        int wait = -1;
        if (timeout != INFINITE) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            wait = static_cast<int>(std::max<std::int64_t>(0, left.count()));
        }
        const int n = ::poll(fds, count, wait);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

} // namespace

TVaEvent::TVaEvent(bool InitialState) : TVaHandleObject(NewEventFd()) {
    if (InitialState)
        SetEvent();
}

void TVaEvent::Signal() {
    std::lock_guard lock(FLock);
    if (FState)
        return;
    // The state first: a thread woken by the descriptor must find the event set.
    FState = true;
    const std::uint64_t one = 1;
    if (::write(static_cast<int>(FHandle), &one, sizeof one) != sizeof one)
        FError = errno;
}

void TVaEvent::ResetEvent() {
    if (!FState.load())
        return;
    std::lock_guard lock(FLock);
    if (!FState)
        return;
    std::uint64_t count = 0;
    if (::read(static_cast<int>(FHandle), &count, sizeof count) != sizeof count)
        FError = errno;
    FState = false;
}

TVaEventWaitResult TVaEvent::WaitFor(std::uint32_t Timeout) {
    pollfd fd{static_cast<int>(FHandle), POLLIN, 0};
    const int n = PollFor(&fd, 1, Timeout);
    if (n < 0) {
        FError = errno;
        return wrError;
    }
    return n == 0 ? wrTimeout : wrSignaled;
}

int WaitForMultiple(std::initializer_list<TVaEvent*> events, std::uint32_t Timeout,
                    TVaLineWait* port) {
    std::array<pollfd, 6> fds{};
    std::array<int, 6> index{};
    assert(events.size() < fds.size());
    std::size_t count = 0;
    int listed = 0;
    for (TVaEvent* e : events) {
        if (e) {
            index[count] = listed;
            fds[count++] = {static_cast<int>(e->Handle()), POLLIN, 0};
        }
        ++listed;
    }
    if (port) {
        index[count] = listed;
        const short ready = port->For == TVaLineReady::Input ? POLLIN : POLLOUT;
        fds[count++] = {port->Line.PollDescriptor(), ready, 0};
    }
    if (PollFor(fds.data(), count, Timeout) <= 0)
        return wmTimeout;
    if (port)
        port->HungUp = (fds[count - 1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    for (std::size_t i = 0; i < count; ++i)
        if (fds[i].revents != 0)
            return index[i];
    return wmTimeout;
}
