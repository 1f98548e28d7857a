#pragma once
// The controller on a pseudo-terminal: answers block reads and writes, version and
// live-data requests from a 256-byte memory, warms up, streams moving lambda values,
// and can be told to misbehave. Used in-process by tests and as the uego-sim program.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// How the four lambda values move over time.
enum class LambdaPattern {
    Engine,   // each channel wanders around 1.0 like a running engine, own phase per channel
    Sweep,    // each channel sweeps 0.65 .. 1.35 and back
    Constant, // the values of EmulatorOptions::lambda, until SetLambda changes them
};

// Faults that can be switched on and off at any time.
enum class Fault : unsigned {
    Silent = 1u << 0,          // no answer to anything
    CorruptChecksum = 1u << 1, // every reply carries a wrong checksum
    SplitReplies = 1u << 2,    // replies leave in three pieces a few milliseconds apart
    LateReplies = 1u << 3,     // replies leave after EmulatorOptions::lateMs (past the next poll)
    StrayBytes = 1u << 4,      // junk bytes before each reply
    HangUp = 1u << 5,          // the line is hung up: the pseudo-terminal and the alias go away
};

struct EmulatorOptions {
    int port = 1;               // port number offered through the alias COMn; 0 offers none
    double warmupSeconds = 3.0; // status byte 1 for this long after Start
    std::uint8_t firmwareVersion = 23;
    LambdaPattern pattern = LambdaPattern::Engine;
    std::array<double, 4> lambda{1.0, 1.0, 1.0, 1.0}; // start values (Constant pattern)
    std::uint8_t supplyRaw = 196;                     // 196 × 0.01960784 × 3.2 ≈ 12.3 V
    int lateMs = 150;
    // The line's speed in bit/s: each byte then takes ten bits' time in each direction, as on
    // a real wire. 0 answers at once.
    int baud = 0;
    // A USB adapter's latency timer in milliseconds: the bytes the controller sends are held
    // and reach the tool only at the ticks of a free-running timer of this period (ticks at
    // whole multiples of the period on the steady clock). 0 hands them over at once.
    int latencyTimerMs = 0;
    unsigned faults = 0; // Fault bits active from the start
    std::array<std::uint8_t, 256> memory = DefaultMemory();

    // Four sensor blocks (resistor code 959, serial numbers "SN001" .. "SN004"),
    // CAN address 0x0100 and slave CAN address 0x0101.
    static std::array<std::uint8_t, 256> DefaultMemory();
};

class ControllerEmulator {
public:
    explicit ControllerEmulator(EmulatorOptions options = {});
    ~ControllerEmulator(); // stops, closes the terminal and removes the alias

    ControllerEmulator(const ControllerEmulator&) = delete;
    ControllerEmulator& operator=(const ControllerEmulator&) = delete;

    // Opens the pseudo-terminal, offers it as the alias of options.port and starts
    // serving. Throws std::runtime_error when the terminal cannot be made.
    void Start();
    void Stop();

    // The device the tool opens, e.g. /dev/pts/3; empty while the line is hung up.
    std::string SlavePath() const;
    std::string AliasPath() const; // empty when no port is offered

    // Fault switches, safe from any thread. Switching HangUp off brings the line back
    // on a new pseudo-terminal and offers the alias again, pointing to it.
    void SetFault(Fault fault, bool on);
    bool FaultOn(Fault fault) const;

    // Live values, safe from any thread.
    void SetPattern(LambdaPattern pattern);
    void SetLambda(int channel, double lambda); // channel 1..4; switches to Constant
    void SetStatus(int status); // forces the status byte; -1 returns to warm-up timing
    void SetSupplyRaw(std::uint8_t raw);

    std::uint8_t Memory(int address) const;
    void SetMemory(int address, std::uint8_t value);

    // What the emulator heard: each well-formed request it answered or stored, in order
    // (the latest 10000). Under Silent, requests are still heard and writes still stored.
    std::vector<std::vector<std::uint8_t>> Requests() const;
    std::size_t LiveRequestCount() const;
    // Bytes read from the tool's side so far, whole requests or not (on a paced line, before
    // their time on the wire has passed).
    std::size_t HeardByteCount() const;
    void ClearRequests();

    // Each live data frame made for a request (the latest 10000): when the request was
    // heard, and the frame as made (before any fault changed or held it back).
    struct LiveAnswer {
        std::chrono::steady_clock::time_point heard;
        std::vector<std::uint8_t> frame;
    };
    std::vector<LiveAnswer> LiveAnswers() const;

    // The live data frame as it would be sent now (17 bytes, correct checksum).
    std::vector<std::uint8_t> LiveFrameNow() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Frame checksum: 255 − (sum of the bytes mod 256).
std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count);

} // namespace sim
