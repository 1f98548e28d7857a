#include "serial/VaTypes.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

template <typename... Args> std::string Format(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

} // namespace

void RaiseCommError(const char* format, int code) {
    throw EVaCommError(Format(format, code, SystemErrorText(code).c_str()));
}

void RaiseOpenError(const std::string& path, int code) {
    if (code == ENOENT)
        throw EVaCommError(Format(sDeviceNotFound, path.c_str()), code);
    throw EVaCommError(Format(sCantOpenDevice, path.c_str(), code, SystemErrorText(code).c_str()),
                       code);
}

EVaCommError DisconnectedError(const std::string& path) {
    return EVaCommError(Format(sDeviceDisconnected, path.c_str()));
}

std::uint32_t BaudrateValue(TVaBaudrate baudrate, std::int32_t userBaudrate) {
    static constexpr std::array<std::uint32_t, 16> rates{0,     110,    300,    600,   1200,  2400,
                                                         4800,  9600,   14400,  19200, 38400, 56000,
                                                         57600, 115200, 128000, 256000};
    return baudrate == brUser ? static_cast<std::uint32_t>(userBaudrate) : rates.at(baudrate);
}

std::uint8_t ParityValue(TVaParity parity) {
    return parity;
}

std::uint8_t DatabitsValue(TVaDatabits databits) {
    return std::uint8_t(4 + databits);
}

std::uint8_t StopbitsValue(TVaStopbits stopbits) {
    return stopbits;
}

std::uint32_t ControlDtrValue(TVaControlDtr control) {
    static constexpr std::array<std::uint32_t, 3> bits{0x0000, 0x0010, 0x0020};
    return bits.at(control);
}

std::uint32_t ControlRtsValue(TVaControlRts control) {
    static constexpr std::array<std::uint32_t, 4> bits{0x0000, 0x1000, 0x2000, 0x3000};
    return bits.at(control);
}

std::uint32_t CommOptionValue(TVaCommOption option) {
    static constexpr std::array<std::uint32_t, 3> bits{0x0400, 0x0800, 0x0002};
    return bits.at(option);
}

std::uint32_t CommOptionsValue(TVaCommOptions options) {
    std::uint32_t value = 0;
    for (TVaCommOption o : {coErrorChar, coNullStrip, coParityCheck})
        if (options.Contains(o))
            value |= CommOptionValue(o);
    return value;
}

std::uint32_t CommEventValue(TVaCommEvent event) {
    static constexpr std::array<std::uint32_t, 13> bits{
        EV_BREAK,   EV_CTS,    EV_DSR,  EV_ERR,      EV_RING,   EV_RLSD,  EV_RXCHAR,
        EV_TXEMPTY, EV_RXFLAG, EV_PERR, EV_RX80FULL, EV_EVENT1, EV_EVENT2};
    return bits.at(event);
}

std::uint32_t CommEventsValue(TVaCommEvents events) {
    std::uint32_t value = 0;
    for (unsigned e = ceBreak; e <= ceEvent2; ++e)
        if (events.Contains(TVaCommEvent(e)))
            value |= CommEventValue(TVaCommEvent(e));
    return value;
}
