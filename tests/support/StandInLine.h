#pragma once
// The Linux line of the port component, telling which device paths the component asked
// for. A numbered device (/dev/ttyS…, /dev/ttyUSB…, /dev/ttyACM…) is opened as a
// pseudo-terminal of the test's own instead: a fallback to the numbered device is there to
// be taken on any machine, and no real serial port is touched.
#include "serial/VaLine.h"

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

// A pseudo-terminal whose far end the test holds; its slave stands in for a numbered device.
class StandInTerminal {
public:
    StandInTerminal() : FMaster(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
            throw std::runtime_error("no pseudo-terminal for the stand-in");
        FSlave = ::ptsname(FMaster);
    }
    ~StandInTerminal() { ::close(FMaster); }
    StandInTerminal(const StandInTerminal&) = delete;
    StandInTerminal& operator=(const StandInTerminal&) = delete;
    const std::string& SlavePath() const { return FSlave; }

private:
    int FMaster;
    std::string FSlave;
};

inline bool IsNumberedDevice(const std::string& path) {
    for (const char* prefix : {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"})
        if (path.starts_with(prefix))
            return true;
    return false;
}

class StandInLine : public TVaTermiosLine {
public:
    StandInLine(std::shared_ptr<std::vector<std::string>> asked, std::string standIn)
        : FAsked(std::move(asked)), FStandIn(std::move(standIn)) {}

    int Open(const std::string& path) override {
        FAsked->push_back(path);
        return TVaTermiosLine::Open(IsNumberedDevice(path) ? FStandIn : path);
    }

private:
    std::shared_ptr<std::vector<std::string>> FAsked;
    std::string FStandIn;
};

// Keeps a terminal open, and so its number taken: once its far end is gone, its device
// node is gone too, and no other pseudo-terminal can be given the number it had.
struct HeldNumber {
    explicit HeldNumber(const std::string& path)
        : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~HeldNumber() {
        if (fd >= 0)
            ::close(fd);
    }
    HeldNumber(const HeldNumber&) = delete;
    HeldNumber& operator=(const HeldNumber&) = delete;
    const int fd;
};
