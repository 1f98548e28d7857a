#include "tools/ControllerEmulator.h"

#include "serial/ComPortPaths.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <numbers>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace sim {

// The frames here (start byte, lengths, checksum, scanning) are written again on purpose rather
// than taken from link/Frames: the emulator is the independent far end the tool's own frame
// code is tested against, so a fault shared by both could not hide.
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t StartByte = 0xC0;
constexpr std::uint8_t ReadBlock = 0x60;
constexpr std::uint8_t BlockReplyCode = 0x61;
constexpr std::uint8_t WriteBlock = 0x62;
constexpr std::uint8_t ReadVersion = 0x24;
constexpr std::uint8_t VersionReplyCode = 0x25;
constexpr std::uint8_t ReadLiveData = 0x26;
constexpr std::uint8_t LiveDataCode = 0x27;
constexpr std::size_t LiveFrameLength = 17;
constexpr std::size_t MemorySize = 256;
// A block frame carries its own length in one byte: 6 header and checksum bytes + data.
constexpr std::size_t MaxBlockCount = 255 - 6;

constexpr auto StaleFrameAge = std::chrono::milliseconds(200);
constexpr auto SplitGap = std::chrono::milliseconds(8);
constexpr std::size_t MaxPendingOutput = 64 * 1024;
// On a paced line, bytes from the tool beyond this wait in the pseudo-terminal, so a tool
// that writes faster than the line goes is held back as a real line would hold it.
constexpr std::size_t MaxPendingInput = 4096;
constexpr std::size_t MaxLoggedRequests = 10000;
constexpr std::uint8_t StrayJunk[] = {0x55, 0x00, 0xAA};

// Ten bits a byte: start bit, eight data bits, stop bit.
Clock::duration ByteTime(int baud) {
    if (baud <= 0)
        return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL) /
                                                       baud);
}

// The ticks of a free-running timer: whole multiples of the period on the steady clock, so
// they keep their pace whatever the line carries.
Clock::time_point LatestTick(Clock::time_point now, Clock::duration period) {
    return Clock::time_point(now.time_since_epoch() / period * period);
}

std::optional<timespec> ToTimespec(std::optional<Clock::duration> wait) {
    if (!wait)
        return std::nullopt;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*wait).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

unsigned Bit(Fault fault) {
    return static_cast<unsigned>(fault);
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// 19200 8N1 without any byte translation, so binary frames pass untouched.
void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        ThrowErrno("tcgetattr");
    t.c_iflag &=
        ~(IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK | BRKINT | IGNBRK | INPCK);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ISIG | ICANON | ECHO | ECHONL | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        ThrowErrno("tcsetattr");
}

// The master side of a pseudo-terminal plus a slave descriptor held open but never read,
// so the master does not report a hang-up while no client has the device open.
class PseudoTerminal {
public:
    ~PseudoTerminal() { Close(); }

    void Open() {
        Close();
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0)
            ThrowErrno("posix_openpt");
        try {
            OpenSlave();
        } catch (...) {
            Close();
            throw;
        }
    }

    void Close() {
        CloseFd(slaveKeeper);
        CloseFd(master);
        slavePath.clear();
    }

    bool IsOpen() const { return master >= 0; }
    int Master() const { return master; }
    const std::string& SlavePath() const { return slavePath; }

private:
    void OpenSlave() {
        char name[128];
        if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name))
            ThrowErrno("pseudo-terminal setup");
        if (fcntl(master, F_SETFL, O_NONBLOCK) != 0 || fcntl(master, F_SETFD, FD_CLOEXEC) != 0)
            ThrowErrno("fcntl");
        slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (slaveKeeper < 0)
            ThrowErrno(std::string("open ") + name);
        MakeRaw(slaveKeeper);
        slavePath = name;
    }

    int master = -1;
    int slaveKeeper = -1;
    std::string slavePath;
};

// Cuts request frames out of the byte stream from the tool. A frame that cannot be a
// request (unknown command, impossible length, wrong checksum) loses its start byte and
// the scan goes on from the next 0xC0.
class FrameScanner {
public:
    // A partial frame older than the stale age is given up by the gap itself, however late
    // the serving thread got round to looking.
    void Feed(const std::uint8_t* data, std::size_t count, Clock::time_point now) {
        DropStale(now);
        buffer.insert(buffer.end(), data, data + count);
        lastByte = now;
    }

    std::optional<Bytes> Next() {
        for (;;) {
            buffer.erase(buffer.begin(), std::find(buffer.begin(), buffer.end(), StartByte));
            switch (Examine()) {
            case Verdict::Incomplete:
                return std::nullopt;
            case Verdict::Bad:
                buffer.erase(buffer.begin());
                break;
            case Verdict::Frame:
                return Take(buffer[1]);
            }
        }
    }

    bool HasPartial() const { return !buffer.empty(); }
    Clock::time_point StaleAt() const { return lastByte + StaleFrameAge; }

    // A frame that stopped arriving is given up, so it cannot swallow the next request.
    void DropStale(Clock::time_point now) {
        if (HasPartial() && now >= StaleAt())
            buffer.clear();
    }

    void Clear() { buffer.clear(); }

private:
    enum class Verdict { Incomplete, Bad, Frame };

    Verdict Examine() const {
        if (buffer.size() < 3)
            return Verdict::Incomplete;
        const std::optional<std::size_t> expected = ExpectedLength();
        if (!expected)
            return Verdict::Incomplete;
        if (*expected == 0 || buffer[1] != *expected)
            return Verdict::Bad;
        if (buffer.size() < *expected)
            return Verdict::Incomplete;
        const std::size_t last = *expected - 1;
        return Checksum(buffer.data(), last) == buffer[last] ? Verdict::Frame : Verdict::Bad;
    }

    // The length the command needs; 0 for an unknown command, none while still unknown.
    std::optional<std::size_t> ExpectedLength() const {
        switch (buffer[2]) {
        case ReadBlock:
            return 6;
        case ReadVersion:
        case ReadLiveData:
            return 4;
        case WriteBlock:
            if (buffer.size() < 5)
                return std::nullopt;
            return 6 + std::size_t{buffer[4]};
        default:
            return 0;
        }
    }

    Bytes Take(std::size_t length) {
        Bytes frame(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        return frame;
    }

    Bytes buffer;
    Clock::time_point lastByte;
};

void AppendChecksum(Bytes& frame) {
    frame.push_back(Checksum(frame.data(), frame.size()));
}

Bytes BlockReply(const std::array<std::uint8_t, MemorySize>& memory, std::uint8_t address,
                 std::uint8_t count) {
    Bytes frame{StartByte, static_cast<std::uint8_t>(6 + count), BlockReplyCode, address, count};
    frame.insert(frame.end(), memory.begin() + address, memory.begin() + address + count);
    AppendChecksum(frame);
    return frame;
}

Bytes VersionReply(std::uint8_t version) {
    Bytes frame{StartByte, 5, VersionReplyCode, version};
    AppendChecksum(frame);
    return frame;
}

bool InMemory(std::size_t address, std::size_t count) {
    return count >= 1 && count <= MaxBlockCount && address + count <= MemorySize;
}

double EngineLambda(int channel, double seconds) {
    constexpr double tau = 2 * std::numbers::pi;
    const double phase = 1.7 * channel;
    return 1.0 + 0.14 * std::sin(tau * 0.13 * seconds + phase) +
           0.07 * std::sin(tau * 0.57 * seconds + 2.3 * phase) +
           0.03 * std::sin(tau * 2.1 * seconds + 0.7 * phase);
}

double SweepLambda(int channel, double seconds) {
    constexpr double period = 8.0;
    const double u = std::fmod(seconds / period + 0.25 * channel, 1.0);
    const double rise = u < 0.5 ? 2 * u : 2 * (1 - u);
    return 0.65 + 0.70 * rise;
}

std::uint16_t LambdaRaw(double lambda) {
    const double scaled = lambda * 1000.0;
    if (!(scaled > 0))
        return 0;
    return static_cast<std::uint16_t>(std::lround(std::min(scaled, 65535.0)));
}

void CheckChannel(int channel) {
    if (channel < 1 || channel > 4)
        throw std::out_of_range("lambda channel " + std::to_string(channel) + " is not 1..4");
}

void CheckAddress(int address) {
    if (address < 0 || address >= static_cast<int>(MemorySize))
        throw std::out_of_range("controller address " + std::to_string(address) + " is not 0..255");
}

// A symbolic link that we may take over: one left dangling, or one to another pseudo-terminal
// (an emulator that ended without tidying up). A user's own device alias stays untouched.
bool MayReplaceAlias(const std::string& alias) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(alias, ec);
    if (!fs::exists(link))
        return true;
    if (!fs::is_symlink(link))
        return false;
    const std::string target = fs::read_symlink(alias, ec).string();
    return !fs::exists(fs::status(alias, ec)) || target.starts_with("/dev/pts/");
}

std::string ReadLink(const std::string& path) {
    std::error_code ec;
    return std::filesystem::read_symlink(path, ec).string();
}

} // namespace

std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return static_cast<std::uint8_t>(255 - sum % 256);
}

std::array<std::uint8_t, 256> EmulatorOptions::DefaultMemory() {
    std::array<std::uint8_t, 256> memory{};
    memory[0x02] = 0x01; // CAN address 0x0100
    memory[0x03] = 0x00;
    memory[0x0A] = 0x01; // slave CAN address 0x0101
    memory[0x0B] = 0x01;
    for (int n = 1; n <= 4; ++n) {
        const int block = 0x10 * n;
        memory[block] = 0x03; // resistor code 959
        memory[block + 1] = 0xBF;
        const std::string serial = "SN00" + std::to_string(n);
        std::copy(serial.begin(), serial.end(), memory.begin() + block + 8);
    }
    return memory;
}

struct ControllerEmulator::Impl {
    explicit Impl(EmulatorOptions o)
        : options(o), memory(o.memory), faults(o.faults), pattern(o.pattern), lambda(o.lambda),
          supplyRaw(o.supplyRaw), startTime(Clock::now()), byteTime(ByteTime(o.baud)),
          tick(std::chrono::milliseconds(std::max(o.latencyTimerMs, 0))) {}

    // Serving thread.
    void Serve();
    std::optional<Clock::duration> PollTimeout(Clock::time_point now) const;
    void HandleMaster(short revents, Clock::time_point now);
    void ReadRequests(Clock::time_point now);
    void Hear(const std::uint8_t* data, std::size_t count, Clock::time_point now);
    void HearDue(Clock::time_point now);
    void Answer(const Bytes& frame, Clock::time_point now);
    void Reply(Bytes reply, Clock::time_point now);
    void Schedule(Clock::time_point due, Bytes bytes);
    Clock::time_point Delivery(Clock::time_point at) const;
    void ReleaseDue(Clock::time_point now);
    void Flush();

    // Shared with the callers' threads, under the mutex.
    Bytes LiveFrame(Clock::time_point now) const;
    double LambdaAt(int channel, Clock::time_point now) const;
    std::uint8_t StatusAt(Clock::time_point now) const;
    void LogRequest(const Bytes& frame);
    void OpenLine();
    void HangUpLine();
    void OfferAlias();
    void WithdrawAlias();
    void Wake() const;

    EmulatorOptions options;
    mutable std::mutex mutex;
    std::array<std::uint8_t, MemorySize> memory;
    unsigned faults;
    LambdaPattern pattern;
    std::array<double, 4> lambda;
    int forcedStatus = -1;
    std::uint8_t supplyRaw;
    Clock::time_point startTime;

    PseudoTerminal terminal;
    std::string aliasTarget; // what our alias points to; empty while we offer none
    unsigned lineGeneration = 0;
    FrameScanner scanner;
    std::multimap<Clock::time_point, Bytes> scheduled;
    Clock::time_point lastDue;
    Bytes outgoing;
    // Line pacing: one byte-time per byte (zero: none), the bytes from the tool not yet
    // through the wire, and when each direction of the wire is free again.
    Clock::duration byteTime{};
    std::deque<std::pair<Clock::time_point, std::uint8_t>> inbound;
    Clock::time_point inboundFree;
    Clock::time_point outboundFree;
    Clock::duration tick{}; // the latency timer's period; zero: none
    std::deque<Bytes> requests;
    std::deque<ControllerEmulator::LiveAnswer> liveAnswers;
    std::size_t liveRequests = 0;
    std::size_t heardBytes = 0;

    bool running = false;
    bool stopping = false;
    int wakeFd = -1;
    std::thread server;
};

void ControllerEmulator::Impl::Serve() {
    std::unique_lock lock(mutex);
    while (!stopping) {
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {terminal.Master(), 0, 0}};
        if (inbound.size() < MaxPendingInput)
            fds[1].events |= POLLIN;
        if (!outgoing.empty())
            fds[1].events |= POLLOUT;
        const nfds_t count = terminal.IsOpen() ? 2 : 1;
        const std::optional<timespec> timeout = ToTimespec(PollTimeout(Clock::now()));
        const unsigned generation = lineGeneration;
        lock.unlock();
        const int ready = ::ppoll(fds, count, timeout ? &*timeout : nullptr, nullptr);
        lock.lock();
        if (ready < 0 && errno != EINTR)
            return;
        std::uint64_t wakes = 0;
        if (fds[0].revents & POLLIN)
            (void)!::read(wakeFd, &wakes, sizeof wakes);
        const Clock::time_point now = Clock::now();
        if (count == 2 && generation == lineGeneration)
            HandleMaster(fds[1].revents, now);
        HearDue(now);
        scanner.DropStale(now);
        ReleaseDue(now);
        Flush();
    }
}

// With a latency timer, a byte due at `at` reaches the tool at the first tick at or after it.
Clock::time_point ControllerEmulator::Impl::Delivery(Clock::time_point at) const {
    if (tick == Clock::duration::zero())
        return at;
    return LatestTick(at + tick - Clock::duration(1), tick);
}

// Sleep until the next reply piece is due, a paced byte is through the wire or a partial
// request goes stale; otherwise wait.
std::optional<Clock::duration> ControllerEmulator::Impl::PollTimeout(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    const auto consider = [&](Clock::time_point at) {
        next = std::min(next.value_or(Clock::time_point::max()), at);
    };
    if (!scheduled.empty())
        consider(Delivery(scheduled.begin()->first));
    if (!inbound.empty())
        consider(inbound.front().first);
    if (scanner.HasPartial())
        consider(scanner.StaleAt());
    if (!next)
        return std::nullopt;
    return std::max(*next - now, Clock::duration::zero());
}

void ControllerEmulator::Impl::HandleMaster(short revents, Clock::time_point now) {
    if (revents & POLLIN)
        ReadRequests(now);
    else if (revents & (POLLHUP | POLLERR | POLLNVAL))
        HangUpLine(); // the terminal broke under us: stop polling it rather than spin
}

void ControllerEmulator::Impl::ReadRequests(Clock::time_point now) {
    std::uint8_t chunk[512];
    while (inbound.size() < MaxPendingInput) {
        const ssize_t n = ::read(terminal.Master(), chunk, sizeof chunk);
        if (n <= 0)
            return;
        heardBytes += static_cast<std::size_t>(n);
        Hear(chunk, static_cast<std::size_t>(n), now);
    }
}

// Unpaced, the bytes are heard as they are read. Paced, each is heard one byte-time after
// the one before it (or after it was read, on an idle line), and answered from then.
void ControllerEmulator::Impl::Hear(const std::uint8_t* data, std::size_t count,
                                    Clock::time_point now) {
    if (byteTime == Clock::duration::zero()) {
        scanner.Feed(data, count, now);
        while (std::optional<Bytes> frame = scanner.Next())
            Answer(*frame, now);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        inboundFree = std::max(inboundFree, now) + byteTime;
        inbound.emplace_back(inboundFree, data[i]);
    }
}

void ControllerEmulator::Impl::HearDue(Clock::time_point now) {
    while (!inbound.empty() && inbound.front().first <= now) {
        const auto [heard, byte] = inbound.front();
        inbound.pop_front();
        scanner.Feed(&byte, 1, heard);
        while (std::optional<Bytes> frame = scanner.Next())
            Answer(*frame, heard);
    }
}

void ControllerEmulator::Impl::Answer(const Bytes& frame, Clock::time_point now) {
    const std::uint8_t command = frame[2];
    if (command == ReadBlock || command == WriteBlock) {
        const std::uint8_t address = frame[3];
        const std::uint8_t count = frame[4];
        if (!InMemory(address, count))
            return;
        LogRequest(frame);
        if (command == ReadBlock)
            Reply(BlockReply(memory, address, count), now);
        else
            std::copy(frame.begin() + 5, frame.end() - 1, memory.begin() + address);
        return;
    }
    LogRequest(frame);
    if (command == ReadVersion)
        Reply(VersionReply(options.firmwareVersion), now);
    if (command == ReadLiveData) {
        ++liveRequests;
        Bytes live = LiveFrame(now);
        if (liveAnswers.size() == MaxLoggedRequests)
            liveAnswers.pop_front();
        liveAnswers.push_back({now, live});
        Reply(std::move(live), now);
    }
}

void ControllerEmulator::Impl::Reply(Bytes reply, Clock::time_point now) {
    if (faults & Bit(Fault::Silent))
        return;
    if (faults & Bit(Fault::CorruptChecksum))
        reply.back() ^= 0xFF;
    if (faults & Bit(Fault::StrayBytes))
        reply.insert(reply.begin(), std::begin(StrayJunk), std::end(StrayJunk));
    Clock::time_point due = now;
    if (faults & Bit(Fault::LateReplies))
        due += std::chrono::milliseconds(options.lateMs);
    if (!(faults & Bit(Fault::SplitReplies))) {
        Schedule(due, std::move(reply));
        return;
    }
    const auto third = static_cast<std::ptrdiff_t>(reply.size() / 3);
    Schedule(due, Bytes(reply.begin(), reply.begin() + third));
    Schedule(due + SplitGap, Bytes(reply.begin() + third, reply.begin() + 2 * third));
    Schedule(due + 2 * SplitGap, Bytes(reply.begin() + 2 * third, reply.end()));
}

// Replies leave in the order they were made, as from a controller with one serial line.
// Paced, each byte arrives one byte-time after the one before it has.
void ControllerEmulator::Impl::Schedule(Clock::time_point due, Bytes bytes) {
    lastDue = std::max(due, lastDue);
    if (byteTime == Clock::duration::zero()) {
        scheduled.emplace(lastDue, std::move(bytes));
        return;
    }
    for (std::uint8_t byte : bytes) {
        outboundFree = std::max(outboundFree, lastDue) + byteTime;
        scheduled.emplace(outboundFree, Bytes{byte});
    }
}

// Under a latency timer only what was due by the latest tick goes out: everything that came
// from the controller since the tick before it.
void ControllerEmulator::Impl::ReleaseDue(Clock::time_point now) {
    const Clock::time_point through = tick == Clock::duration::zero() ? now : LatestTick(now, tick);
    const auto end = scheduled.upper_bound(through);
    for (auto it = scheduled.begin(); it != end; ++it)
        if (outgoing.size() + it->second.size() <= MaxPendingOutput)
            outgoing.insert(outgoing.end(), it->second.begin(), it->second.end());
    scheduled.erase(scheduled.begin(), end);
}

void ControllerEmulator::Impl::Flush() {
    while (!outgoing.empty() && terminal.IsOpen()) {
        const ssize_t n = ::write(terminal.Master(), outgoing.data(), outgoing.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // the line is full: poll for POLLOUT and go on then
        outgoing.erase(outgoing.begin(), outgoing.begin() + n);
    }
}

Bytes ControllerEmulator::Impl::LiveFrame(Clock::time_point now) const {
    Bytes frame{StartByte, static_cast<std::uint8_t>(LiveFrameLength), LiveDataCode};
    for (int channel = 1; channel <= 4; ++channel) {
        const std::uint16_t raw = LambdaRaw(LambdaAt(channel, now));
        frame.push_back(static_cast<std::uint8_t>(raw >> 8));
        frame.push_back(static_cast<std::uint8_t>(raw & 0xFF));
    }
    frame.insert(frame.end(), {0, StatusAt(now), 0, 0, supplyRaw});
    AppendChecksum(frame);
    return frame;
}

double ControllerEmulator::Impl::LambdaAt(int channel, Clock::time_point now) const {
    const double seconds = std::chrono::duration<double>(now - startTime).count();
    switch (pattern) {
    case LambdaPattern::Engine:
        return EngineLambda(channel - 1, seconds);
    case LambdaPattern::Sweep:
        return SweepLambda(channel - 1, seconds);
    case LambdaPattern::Constant:
        break;
    }
    return lambda[static_cast<std::size_t>(channel - 1)];
}

std::uint8_t ControllerEmulator::Impl::StatusAt(Clock::time_point now) const {
    if (forcedStatus >= 0)
        return static_cast<std::uint8_t>(forcedStatus);
    const double seconds = std::chrono::duration<double>(now - startTime).count();
    return seconds < options.warmupSeconds ? 1 : 0;
}

void ControllerEmulator::Impl::LogRequest(const Bytes& frame) {
    if (requests.size() == MaxLoggedRequests)
        requests.pop_front();
    requests.push_back(frame);
}

void ControllerEmulator::Impl::OpenLine() {
    terminal.Open();
    ++lineGeneration;
    OfferAlias();
}

// Closing the master and our slave descriptor hangs up the client: POLLHUP, then EIO.
void ControllerEmulator::Impl::HangUpLine() {
    terminal.Close();
    ++lineGeneration;
    scanner.Clear();
    scheduled.clear();
    outgoing.clear();
    inbound.clear();
    lastDue = {};
    inboundFree = {};
    outboundFree = {};
}

void ControllerEmulator::Impl::OfferAlias() {
    if (options.port <= 0)
        return;
    const std::string alias = va::PortAliasPath(options.port);
    std::error_code ec;
    std::filesystem::create_directories(va::PortAliasDirectory(), ec);
    if (ec)
        throw std::runtime_error("cannot create " + va::PortAliasDirectory() + ": " + ec.message());
    if (aliasTarget.empty() && !MayReplaceAlias(alias))
        throw std::runtime_error(alias + " already names another device; not replacing it");
    static std::atomic<unsigned> serial{0};
    const std::string fresh =
        alias + ".new." + std::to_string(getpid()) + "." + std::to_string(serial.fetch_add(1));
    if (::symlink(terminal.SlavePath().c_str(), fresh.c_str()) != 0)
        ThrowErrno("symlink " + fresh);
    if (::rename(fresh.c_str(), alias.c_str()) != 0) {
        const int error = errno;
        ::unlink(fresh.c_str());
        errno = error;
        ThrowErrno("rename to " + alias);
    }
    aliasTarget = terminal.SlavePath();
}

// Only our own link goes: another emulator may have taken the name over since.
void ControllerEmulator::Impl::WithdrawAlias() {
    if (aliasTarget.empty())
        return;
    const std::string alias = va::PortAliasPath(options.port);
    if (ReadLink(alias) == aliasTarget)
        ::unlink(alias.c_str());
    aliasTarget.clear();
}

void ControllerEmulator::Impl::Wake() const {
    if (wakeFd < 0)
        return;
    const std::uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
}

ControllerEmulator::ControllerEmulator(EmulatorOptions options)
    : d(std::make_unique<Impl>(options)) {}

ControllerEmulator::~ControllerEmulator() {
    Stop();
}

void ControllerEmulator::Start() {
    std::lock_guard lock(d->mutex);
    if (d->running)
        return;
    d->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d->wakeFd < 0)
        ThrowErrno("eventfd");
    try {
        if (!(d->faults & Bit(Fault::HangUp)))
            d->OpenLine();
    } catch (...) {
        d->terminal.Close();
        CloseFd(d->wakeFd);
        throw;
    }
    d->startTime = Clock::now();
    d->running = true;
    d->stopping = false;
    d->server = std::thread(&Impl::Serve, d.get());
}

void ControllerEmulator::Stop() {
    {
        std::lock_guard lock(d->mutex);
        if (!d->running)
            return;
        d->stopping = true;
        d->Wake();
    }
    d->server.join();
    std::lock_guard lock(d->mutex);
    d->HangUpLine();
    d->WithdrawAlias();
    CloseFd(d->wakeFd);
    d->running = false;
}

std::string ControllerEmulator::SlavePath() const {
    std::lock_guard lock(d->mutex);
    return d->terminal.SlavePath();
}

std::string ControllerEmulator::AliasPath() const {
    return d->options.port > 0 ? va::PortAliasPath(d->options.port) : std::string();
}

void ControllerEmulator::SetFault(Fault fault, bool on) {
    std::lock_guard lock(d->mutex);
    const bool wasOn = d->faults & Bit(fault);
    if (on)
        d->faults |= Bit(fault);
    else
        d->faults &= ~Bit(fault);
    if (fault == Fault::HangUp && on != wasOn && d->running) {
        if (on) {
            // The alias goes with the terminal, as a pulled adapter's device node goes.
            d->HangUpLine();
            d->WithdrawAlias();
        } else {
            try {
                d->OpenLine();
            } catch (...) {
                d->faults |= Bit(Fault::HangUp);
                d->HangUpLine();
                throw;
            }
        }
    }
    d->Wake();
}

bool ControllerEmulator::FaultOn(Fault fault) const {
    std::lock_guard lock(d->mutex);
    return d->faults & Bit(fault);
}

void ControllerEmulator::SetPattern(LambdaPattern pattern) {
    std::lock_guard lock(d->mutex);
    d->pattern = pattern;
}

void ControllerEmulator::SetLambda(int channel, double lambda) {
    CheckChannel(channel);
    std::lock_guard lock(d->mutex);
    d->lambda[static_cast<std::size_t>(channel - 1)] = lambda;
    d->pattern = LambdaPattern::Constant;
}

void ControllerEmulator::SetStatus(int status) {
    std::lock_guard lock(d->mutex);
    d->forcedStatus = status < 0 ? -1 : std::min(status, 255);
}

void ControllerEmulator::SetSupplyRaw(std::uint8_t raw) {
    std::lock_guard lock(d->mutex);
    d->supplyRaw = raw;
}

std::uint8_t ControllerEmulator::Memory(int address) const {
    CheckAddress(address);
    std::lock_guard lock(d->mutex);
    return d->memory[static_cast<std::size_t>(address)];
}

void ControllerEmulator::SetMemory(int address, std::uint8_t value) {
    CheckAddress(address);
    std::lock_guard lock(d->mutex);
    d->memory[static_cast<std::size_t>(address)] = value;
}

std::vector<std::vector<std::uint8_t>> ControllerEmulator::Requests() const {
    std::lock_guard lock(d->mutex);
    return {d->requests.begin(), d->requests.end()};
}

std::size_t ControllerEmulator::HeardByteCount() const {
    std::lock_guard lock(d->mutex);
    return d->heardBytes;
}

std::size_t ControllerEmulator::LiveRequestCount() const {
    std::lock_guard lock(d->mutex);
    return d->liveRequests;
}

void ControllerEmulator::ClearRequests() {
    std::lock_guard lock(d->mutex);
    d->requests.clear();
    d->liveAnswers.clear();
    d->liveRequests = 0;
}

std::vector<ControllerEmulator::LiveAnswer> ControllerEmulator::LiveAnswers() const {
    std::lock_guard lock(d->mutex);
    return {d->liveAnswers.begin(), d->liveAnswers.end()};
}

std::vector<std::uint8_t> ControllerEmulator::LiveFrameNow() const {
    std::lock_guard lock(d->mutex);
    return d->LiveFrame(Clock::now());
}

} // namespace sim
