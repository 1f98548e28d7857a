#include "tests/tools/ToolPort.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace simtest {

namespace {

void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        throw std::runtime_error(std::string("tcgetattr: ") + std::strerror(errno));
    cfmakeraw(&t);
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetspeed(&t, B19200);
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        throw std::runtime_error(std::string("tcsetattr: ") + std::strerror(errno));
}

std::string StartAndGetSlave(sim::ControllerEmulator& emulator) {
    emulator.Start();
    return emulator.SlavePath();
}

} // namespace

ToolPort::ToolPort(const std::string& path) {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("open " + path + ": " + std::strerror(errno));
    try {
        MakeRaw(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

ToolPort::~ToolPort() {
    ::close(fd);
}

void ToolPort::Send(const Bytes& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            throw std::runtime_error(std::string("write: ") + std::strerror(errno));
        sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
}

std::vector<ToolPort::Piece> ToolPort::ReceiveStamped(std::size_t count,
                                                      std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<Piece> pieces;
    std::size_t received = 0;
    while (received < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0 || !(p.revents & POLLIN))
            break;
        std::uint8_t chunk[512];
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, count - received));
        if (n <= 0)
            break;
        pieces.push_back({std::chrono::steady_clock::now(), Bytes(chunk, chunk + n)});
        received += static_cast<std::size_t>(n);
    }
    return pieces;
}

std::vector<Bytes> ToolPort::ReceivePieces(std::size_t count,
                                           std::chrono::milliseconds timeout) const {
    std::vector<Bytes> pieces;
    for (Piece& piece : ReceiveStamped(count, timeout))
        pieces.push_back(std::move(piece.bytes));
    return pieces;
}

Bytes ToolPort::Receive(std::size_t count, std::chrono::milliseconds timeout) const {
    Bytes all;
    for (const Bytes& piece : ReceivePieces(count, timeout))
        all.insert(all.end(), piece.begin(), piece.end());
    return all;
}

TimedBytes ToolPort::ReceiveTimed(std::size_t count) const {
    TimedBytes got;
    for (const Piece& piece : ReceiveStamped(count, 10s)) {
        got.bytes.insert(got.bytes.end(), piece.bytes.begin(), piece.bytes.end());
        got.times.insert(got.times.end(), piece.bytes.size(), piece.readAt);
    }
    return got;
}

Bytes WithChecksum(Bytes frame) {
    unsigned sum = 0;
    for (std::uint8_t b : frame)
        sum += b;
    frame.push_back(static_cast<std::uint8_t>(~sum & 0xFF));
    return frame;
}

std::chrono::steady_clock::time_point TickAtOrAfter(std::chrono::steady_clock::time_point at,
                                                    std::chrono::milliseconds period) {
    const auto ticks = (at.time_since_epoch() + period - std::chrono::nanoseconds(1)) / period;
    return std::chrono::steady_clock::time_point(ticks * period);
}

std::chrono::steady_clock::time_point SendJustAfterTick(const ToolPort& port, const Bytes& request,
                                                        std::chrono::milliseconds period) {
    for (;;) {
        const auto tick = TickAtOrAfter(std::chrono::steady_clock::now(), period);
        std::this_thread::sleep_until(tick + 1ms);
        const auto sent = std::chrono::steady_clock::now();
        if (sent - tick < period / 4) {
            port.Send(request);
            return sent;
        }
    }
}

sim::EmulatorOptions TestOptions() {
    sim::EmulatorOptions options;
    options.port = 0;
    options.warmupSeconds = 0;
    options.pattern = sim::LambdaPattern::Constant;
    return options;
}

Rig::Rig(const sim::EmulatorOptions& options)
    : emulator(options), port(StartAndGetSlave(emulator)) {}

Bytes Rig::Ask(const Bytes& request, std::size_t replyLength) const {
    port.Send(request);
    return port.Receive(replyLength);
}

} // namespace simtest
