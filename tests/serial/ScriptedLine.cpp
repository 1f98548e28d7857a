#include "ScriptedLine.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

using Clock = std::chrono::steady_clock;

namespace {

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

LineScript::~LineScript() {
    CloseFd(FFar);
}

void LineScript::SetHasCounts(bool value) {
    std::lock_guard lock(FLock);
    FHasCounts = value;
}

void LineScript::SetHasModemLines(bool value) {
    std::lock_guard lock(FLock);
    FHasModemLines = value;
}

void LineScript::SetModemError(int error) {
    std::lock_guard lock(FLock);
    FModemError = error;
}

void LineScript::SetControlError(int error) {
    std::lock_guard lock(FLock);
    FControlError = error;
}

void LineScript::Send(const std::string& bytes, std::function<void(LineScript&)> change) {
    std::lock_guard lock(FLock);
    FSent += bytes.size();
    if (change)
        FDue.emplace_back(FSent, std::move(change));
    if (::send(FFar, bytes.data(), bytes.size(), MSG_NOSIGNAL) != ssize_t(bytes.size()))
        throw std::runtime_error("far end send failed");
    ApplyDue(); // a change that comes with no bytes is seen at once
}

std::string LineScript::Receive(std::size_t count, std::chrono::milliseconds timeout) {
    std::string bytes;
    const auto deadline = Clock::now() + timeout;
    while (bytes.size() < count && Clock::now() < deadline) {
        pollfd p{FFar, POLLIN, 0};
        if (::poll(&p, 1, 5) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::recv(FFar, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0)
            bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return bytes;
}

void LineScript::HangUp() {
    std::lock_guard lock(FLock);
    CloseFd(FFar);
}

void LineScript::ApplyDue() {
    while (!FDue.empty() && FDue.front().first <= FRead) {
        auto change = std::move(FDue.front().second);
        FDue.erase(FDue.begin());
        change(*this);
    }
}

void LineScript::Change(const std::function<void(LineScript&)>& change) {
    std::lock_guard lock(FLock);
    change(*this);
}

void LineScript::SetPropertiesError(int error) {
    std::lock_guard lock(FLock);
    FPropertiesError = error;
}

void LineScript::SetWriteError(int error) {
    std::lock_guard lock(FLock);
    FWriteError = error;
}

void LineScript::SetCloseFails() {
    std::lock_guard lock(FLock);
    FCloseFails = true;
}

void LineScript::SetInput(int tiocmBit, bool on) {
    if (((FLines & tiocmBit) != 0) == on)
        return;
    FLines = on ? FLines | tiocmBit : FLines & ~tiocmBit;
    switch (tiocmBit) {
    case TIOCM_CTS:
        ++FCounts.Cts;
        break;
    case TIOCM_DSR:
        ++FCounts.Dsr;
        break;
    case TIOCM_CAR:
        ++FCounts.Dcd;
        break;
    case TIOCM_RNG:
        if (!on)
            ++FCounts.Rng; // a UART counts the trailing edge
        break;
    }
}

void LineScript::Ring() {
    SetInput(TIOCM_RNG, true);
    SetInput(TIOCM_RNG, false);
}

void LineScript::Break() {
    ++FCounts.Brk;
}

void LineScript::Count(int TVaLineCounts::*counter) {
    ++(FCounts.*counter);
}

void LineScript::SetOutQueue(int count) {
    FOutQueue = count;
}

void LineScript::SetInQueue(int count) {
    FInQueue = count;
}

void LineScript::SetHoldFlags(std::uint32_t flags) {
    FHoldFlags = flags;
}

int LineScript::Lines() {
    std::lock_guard lock(FLock);
    return FLines;
}

int LineScript::Opens() {
    std::lock_guard lock(FLock);
    return FOpens;
}

TVaDCB LineScript::Applied() {
    std::lock_guard lock(FLock);
    return FApplied;
}

std::vector<int> LineScript::Flushes() {
    std::lock_guard lock(FLock);
    return FFlushes;
}

bool LineScript::BreakOn() {
    std::lock_guard lock(FLock);
    return FBreakOn;
}

int LineScript::Resets() {
    std::lock_guard lock(FLock);
    return FResets;
}

int ScriptedLine::Open(const std::string&) {
    std::lock_guard lock(FScript->FLock);
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return errno;
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    CloseFd(FScript->FFar);
    FScript->FNear = ends[0];
    FScript->FFar = ends[1];
    FScript->FSent = FScript->FRead = 0;
    FScript->FDue.clear();
    ++FScript->FOpens;
    return 0;
}

// Never fails: a destructor must not throw.
ScriptedLine::~ScriptedLine() {
    Release();
}

void ScriptedLine::Close() {
    Release();
    std::lock_guard lock(FScript->FLock);
    if (std::exchange(FScript->FCloseFails, false))
        throw std::runtime_error("the line failed to close");
}

void ScriptedLine::Release() {
    std::lock_guard lock(FScript->FLock);
    CloseFd(FScript->FNear);
}

int ScriptedLine::Handle() const {
    std::lock_guard lock(FScript->FLock);
    return FScript->FNear;
}

TVaIoResult ScriptedLine::Read(void* buf, std::size_t count) {
    const ssize_t n = ::recv(Handle(), buf, count, MSG_DONTWAIT);
    if (n < 0)
        return {0, errno};
    std::lock_guard lock(FScript->FLock);
    FScript->FRead += static_cast<std::size_t>(n);
    FScript->ApplyDue();
    return {static_cast<std::size_t>(n), 0};
}

// A socket whose far end went away answers EPIPE; a hung-up tty answers EIO.
TVaIoResult ScriptedLine::Write(const void* buf, std::size_t count) {
    if (const int error = WriteError())
        return {0, error};
    const ssize_t n = ::send(Handle(), buf, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0)
        return {0, errno == EPIPE ? EIO : errno};
    return {static_cast<std::size_t>(n), 0};
}

int ScriptedLine::WriteError() const {
    std::lock_guard lock(FScript->FLock);
    return FScript->FWriteError;
}

int ScriptedLine::ApplySettings(const TVaDCB& dcb) {
    std::lock_guard lock(FScript->FLock);
    FScript->FApplied = dcb;
    return 0;
}

int ScriptedLine::ModemLines(int& lines) {
    std::lock_guard lock(FScript->FLock);
    if (!FScript->FHasModemLines)
        return ENOTTY;
    lines = FScript->FLines;
    return FScript->FModemError;
}

int ScriptedLine::SetModemLines(int bits, bool on) {
    std::lock_guard lock(FScript->FLock);
    if (!FScript->FHasModemLines)
        return ENOTTY;
    if (FScript->FControlError)
        return FScript->FControlError;
    FScript->FLines = on ? FScript->FLines | bits : FScript->FLines & ~bits;
    return 0;
}

int ScriptedLine::Counts(TVaLineCounts& counts) {
    std::lock_guard lock(FScript->FLock);
    if (!FScript->FHasCounts)
        return ENOTTY;
    counts = FScript->FCounts;
    return 0;
}

int ScriptedLine::HoldFlags(std::uint32_t& flags) {
    std::lock_guard lock(FScript->FLock);
    flags = FScript->FHoldFlags;
    return 0;
}

int ScriptedLine::InQueue(int& count) {
    std::lock_guard lock(FScript->FLock);
    count = FScript->FInQueue;
    return 0;
}

int ScriptedLine::OutQueue(int& count) {
    std::lock_guard lock(FScript->FLock);
    count = FScript->FOutQueue;
    return 0;
}

int ScriptedLine::Flush(int queues) {
    std::lock_guard lock(FScript->FLock);
    FScript->FFlushes.push_back(queues);
    return 0;
}

int ScriptedLine::SetBreak(bool on) {
    std::lock_guard lock(FScript->FLock);
    if (FScript->FControlError)
        return FScript->FControlError;
    FScript->FBreakOn = on;
    return 0;
}

int ScriptedLine::SetXon(bool on) {
    std::lock_guard lock(FScript->FLock);
    FScript->FHoldFlags = on ? FScript->FHoldFlags & ~HOLD_XOFF : FScript->FHoldFlags | HOLD_XOFF;
    return 0;
}

int ScriptedLine::ResetDev() {
    std::lock_guard lock(FScript->FLock);
    if (FScript->FControlError)
        return FScript->FControlError;
    ++FScript->FResets;
    FScript->FBreakOn = false;
    FScript->FHoldFlags &= ~HOLD_XOFF;
    return 0;
}

int ScriptedLine::Properties(TVaCommProp& prop) {
    std::lock_guard lock(FScript->FLock);
    prop = {};
    prop.ServiceMask = SP_SERIALCOMM;
    prop.ProvSubType = PST_RS232;
    prop.MaxBaud = 0x00020000; // 115200 bit/s
    return FScript->FPropertiesError;
}
