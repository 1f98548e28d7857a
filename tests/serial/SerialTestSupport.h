#pragma once
// Test helpers: a pseudo-terminal pair offered as a port number, the far end's reads and
// writes, running the Qt event loop until a condition holds, and process counters.
#include "tests/support/CommError.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Points XDG_CONFIG_HOME at a fresh temporary directory while it lives, so that the
// alias COMn can name any device.
class TempConfigHome {
public:
    TempConfigHome();
    ~TempConfigHome();
    TempConfigHome(const TempConfigHome&) = delete;
    TempConfigHome& operator=(const TempConfigHome&) = delete;

    // Makes <XDG_CONFIG_HOME>/uego-interface/ports/COMn a link to target.
    void Alias(int port, const std::string& target) const;
    std::string AliasPath(int port) const;

private:
    std::string FDir;
    std::string FOldValue;
    bool FHadOldValue = false;
};

// A pseudo-terminal pair: the test holds the master (the far end), the component opens
// the slave. No slave descriptor is kept open by the pair.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int Master() const { return FMaster; }
    const std::string& SlavePath() const { return FSlavePath; }

    void Write(const std::string& bytes) const;
    // Reads until count bytes arrived or timeout passed.
    std::string Read(std::size_t count, std::chrono::milliseconds timeout) const;
    // Reads whatever arrives until the line stays quiet for quiet.
    std::string ReadUntilQuiet(std::chrono::milliseconds quiet) const;
    // Closes the master: the slave is hung up.
    void HangUp();

private:
    int FMaster = -1;
    std::string FSlavePath;
};

// Runs the Qt event loop until done() holds or timeout passed; returns done().
bool RunEventsUntil(const std::function<bool()>& done,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5));
// The same, collecting the errors that reach the loop (where the program's error report
// would show them) instead of letting them end the test.
bool RunEventsCollecting(std::vector<std::string>& errors, const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Runs the Qt event loop for a while.
void RunEventsFor(std::chrono::milliseconds duration);

// Open descriptors and threads of this process.
int OpenDescriptorCount();
int ThreadCount();

// Milliseconds elapsed while fn ran.
double MillisecondsOf(const std::function<void()>& fn);
