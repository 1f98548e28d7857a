#pragma once
// The tool's end of the emulated line in tests: opens the device raw, sends request bytes
// and collects reply bytes within a time limit.
#include "tools/ControllerEmulator.h"

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Bytes with the time each was read.
struct TimedBytes {
    Bytes bytes;
    std::vector<std::chrono::steady_clock::time_point> times;
};

class ToolPort {
public:
    explicit ToolPort(const std::string& path); // throws std::runtime_error
    ~ToolPort();
    ToolPort(const ToolPort&) = delete;
    ToolPort& operator=(const ToolPort&) = delete;

    void Send(const Bytes& bytes) const;
    // Bytes as each read delivered them, until `count` bytes came or `timeout` passed.
    std::vector<Bytes> ReceivePieces(std::size_t count, std::chrono::milliseconds timeout) const;
    Bytes Receive(std::size_t count, std::chrono::milliseconds timeout = 2000ms) const;
    // `count` bytes, each stamped with the time the read that brought it returned (10 s at most).
    TimedBytes ReceiveTimed(std::size_t count) const;
    // Everything that arrives within the window.
    Bytes ReceiveFor(std::chrono::milliseconds window) const {
        return Receive(std::numeric_limits<std::size_t>::max(), window);
    }
    int Fd() const { return fd; }

private:
    struct Piece {
        std::chrono::steady_clock::time_point readAt;
        Bytes bytes;
    };
    std::vector<Piece> ReceiveStamped(std::size_t count, std::chrono::milliseconds timeout) const;

    int fd = -1;
};

// The frame with its checksum appended.
Bytes WithChecksum(Bytes frame);

// Options for in-process tests: no alias, no warm-up, fixed lambda values.
sim::EmulatorOptions TestOptions();

// An emulator with the tool's port open on it.
struct Rig {
    explicit Rig(const sim::EmulatorOptions& options = TestOptions());
    Bytes Ask(const Bytes& request, std::size_t replyLength) const;

    sim::ControllerEmulator emulator;
    ToolPort port;
};

// A latency timer's ticks fall at whole multiples of its period on the steady clock: the
// first at or after `at`.
std::chrono::steady_clock::time_point TickAtOrAfter(std::chrono::steady_clock::time_point at,
                                                    std::chrono::milliseconds period);
// Sends the request just after a tick, so that its answer has the whole period to wait; a
// try that the machine stretched past a quarter period is made again. Returns when it was sent.
std::chrono::steady_clock::time_point SendJustAfterTick(const ToolPort& port, const Bytes& request,
                                                        std::chrono::milliseconds period);

inline const Bytes VersionRequest{0xC0, 0x04, 0x24, 0x17};
inline const Bytes LiveDataRequest{0xC0, 0x04, 0x26, 0x15};

} // namespace simtest
