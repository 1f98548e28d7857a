#include "SerialTestSupport.h"

#include "serial/VaTypes.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

TempConfigHome::TempConfigHome() {
    char pattern[] = "/tmp/uego-serial-test-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    FDir = pattern;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
        FHadOldValue = true;
        FOldValue = old;
    }
    ::setenv("XDG_CONFIG_HOME", FDir.c_str(), 1);
    fs::create_directories(FDir + "/uego-interface/ports");
}

TempConfigHome::~TempConfigHome() {
    if (FHadOldValue)
        ::setenv("XDG_CONFIG_HOME", FOldValue.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    std::error_code ec;
    fs::remove_all(FDir, ec);
}

std::string TempConfigHome::AliasPath(int port) const {
    return FDir + "/uego-interface/ports/COM" + std::to_string(port);
}

void TempConfigHome::Alias(int port, const std::string& target) const {
    std::error_code ec;
    fs::remove(AliasPath(port), ec);
    fs::create_symlink(target, AliasPath(port));
}

PtyPair::PtyPair() {
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128];
    if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0 ||
        ::ptsname_r(FMaster, name, sizeof name) != 0)
        throw std::runtime_error("pseudo-terminal not available");
    FSlavePath = name;
}

PtyPair::~PtyPair() {
    HangUp();
}

void PtyPair::HangUp() {
    if (FMaster >= 0)
        ::close(FMaster);
    FMaster = -1;
}

void PtyPair::Write(const std::string& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(FMaster, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else {
            pollfd fd{FMaster, POLLOUT, 0};
            ::poll(&fd, 1, 10);
        }
    }
}

std::string PtyPair::Read(std::size_t count, std::chrono::milliseconds timeout) const {
    std::string bytes;
    const auto deadline = Clock::now() + timeout;
    while (bytes.size() < count && Clock::now() < deadline) {
        pollfd fd{FMaster, POLLIN, 0};
        if (::poll(&fd, 1, 5) <= 0 || !(fd.revents & POLLIN))
            continue;
        char chunk[4096];
        const ssize_t n = ::read(FMaster, chunk, sizeof chunk);
        if (n > 0)
            bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}

std::string PtyPair::ReadUntilQuiet(std::chrono::milliseconds quiet) const {
    std::string bytes;
    for (;;) {
        const std::string more = Read(1 << 20, quiet);
        if (more.empty())
            return bytes;
        bytes += more;
    }
}

bool RunEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

bool RunEventsCollecting(std::vector<std::string>& errors, const std::function<bool()>& done,
                         std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        try {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        } catch (const std::exception& e) {
            errors.emplace_back(e.what());
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void RunEventsFor(std::chrono::milliseconds duration) {
    const auto end = Clock::now() + duration;
    RunEventsUntil([&] { return Clock::now() >= end; }, duration + std::chrono::seconds(1));
}

int OpenDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

int ThreadCount() {
    // A sanitizer starts a thread of its own with the process's first new thread; start
    // one first so that it is in the count before any baseline is taken.
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

double MillisecondsOf(const std::function<void()>& fn) {
    const auto start = Clock::now();
    fn();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}
