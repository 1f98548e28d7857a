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
    // Everything that arrives within the window.
    Bytes ReceiveFor(std::chrono::milliseconds window) const {
        return Receive(std::numeric_limits<std::size_t>::max(), window);
    }
    int Fd() const { return fd; }

private:
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

inline const Bytes VersionRequest{0xC0, 0x04, 0x24, 0x17};
inline const Bytes LiveDataRequest{0xC0, 0x04, 0x26, 0x15};

} // namespace simtest
