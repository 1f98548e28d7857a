#pragma once
// The far end of a serial line in tests: a pseudo-terminal whose device the port opens
// (offered as COMn through the alias), with the test writing and reading the other side.
#include "serial/ComPortPaths.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

class FarEnd {
public:
    explicit FarEnd(int port) : FAlias(va::PortAliasPath(port)) {
        FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0)
            throw std::runtime_error("no pseudo-terminal");
        FDevice = ptsname(FMaster);
        // Raw on the device side, and held open so the master never sees a hang-up.
        FHold = ::open(FDevice.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        tcgetattr(FHold, &tio);
        cfmakeraw(&tio);
        tcsetattr(FHold, TCSANOW, &tio);
        std::filesystem::create_directories(va::PortAliasDirectory());
        std::filesystem::remove(FAlias);
        std::filesystem::create_symlink(FDevice, FAlias);
    }
    ~FarEnd() {
        std::error_code ignored;
        std::filesystem::remove(FAlias, ignored);
        ::close(FHold);
        ::close(FMaster);
    }
    FarEnd(const FarEnd&) = delete;
    FarEnd& operator=(const FarEnd&) = delete;

    const std::string& Device() const { return FDevice; }

    void Send(const std::vector<std::uint8_t>& bytes) const {
        if (::write(FMaster, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
            throw std::runtime_error("far end write failed");
    }

    // Everything that arrives until `count` bytes came or `timeoutMs` passed. The event
    // loop runs meanwhile: the port's write thread hands its notifications to this thread.
    std::vector<std::uint8_t> Receive(std::size_t count, int timeoutMs = 1000) const {
        std::vector<std::uint8_t> bytes;
        QElapsedTimer clock;
        clock.start();
        while (bytes.size() < count && clock.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pollfd p{FMaster, POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0)
                continue;
            std::uint8_t chunk[512];
            const ssize_t n = ::read(FMaster, chunk, std::min(sizeof chunk, count - bytes.size()));
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        return bytes;
    }

    // Whatever has arrived, without waiting for more.
    std::vector<std::uint8_t> Waiting() const {
        std::vector<std::uint8_t> bytes;
        std::uint8_t chunk[512];
        pollfd p{FMaster, POLLIN, 0};
        ssize_t n = 0;
        while (::poll(&p, 1, 0) > 0 && (n = ::read(FMaster, chunk, sizeof chunk)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        return bytes;
    }

    // Reads and drops whatever has arrived.
    void Discard() const { Waiting(); }

private:
    std::string FAlias;
    std::string FDevice;
    int FMaster = -1;
    int FHold = -1;
};
