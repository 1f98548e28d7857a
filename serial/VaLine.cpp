#include "serial/VaLine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int Result(int status) {
    return status == 0 ? 0 : errno;
}

// A read or write call's return value as a result, the call made again when a signal
// interrupted it.
template <class Call> TVaIoResult IoResult(Call call) {
    for (;;) {
        const ssize_t n = call();
        if (n >= 0)
            return {static_cast<std::size_t>(n), 0};
        if (errno != EINTR)
            return {0, errno};
    }
}

tcflag_t CharacterSize(std::uint8_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

tcflag_t ParityFlags(std::uint8_t parity) {
    switch (parity) {
    case 1:
        return PARENB | PARODD;
    case 2:
        return PARENB;
    case 3:
        return PARENB | CMSPAR | PARODD;
    case 4:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

} // namespace

std::unique_ptr<TVaLine> NewSystemLine() {
    return std::make_unique<TVaTermiosLine>();
}

std::string SystemErrorText(int code) {
    char buffer[256];
    std::string text = strerror_r(code, buffer, sizeof buffer);
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

bool IsHangUpError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

bool NothingToReport(int error) {
    return error == ENOTTY || error == EINVAL || IsHangUpError(error);
}

TVaIoStatus TVaIoResult::Status() const {
    if (Error == 0)
        return TVaIoStatus::Done;
    if (Error == EAGAIN || Error == EWOULDBLOCK)
        return TVaIoStatus::Waiting;
    return IsHangUpError(Error) ? TVaIoStatus::HungUp : TVaIoStatus::Failed;
}

speed_t StandardSpeed(std::uint32_t baud) {
    struct Rate {
        std::uint32_t bps;
        speed_t code;
    };
    static constexpr Rate rates[] = {
        {50, B50},         {75, B75},         {110, B110},        {134, B134},
        {150, B150},       {200, B200},       {300, B300},        {600, B600},
        {1200, B1200},     {1800, B1800},     {2400, B2400},      {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},    {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800},  {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000}};
    for (const Rate& r : rates)
        if (r.bps == baud)
            return r.code;
    return B0;
}

bool DcbToTermios(const TVaDCB& dcb, termios& t) {
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.BaudRate == 0)
        return false;
    // Raw: no byte is translated, swallowed or turned into a signal. A break is not
    // data: without IGNBRK it would arrive as a 0x00 byte inside a frame.
    t.c_iflag &= ~tcflag_t(BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                           IUCLC | IXON | IXOFF | IXANY | IMAXBEL);
    t.c_iflag |= IGNBRK;
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | CharacterSize(dcb.ByteSize) | ParityFlags(dcb.Parity);
    if (dcb.StopBits != 0)
        t.c_cflag |= CSTOPB;
    if (dcb.Flags & dcb_ParityCheck)
        t.c_iflag |= INPCK;
    if ((dcb.Flags & dcb_OutxCtsFlow) || (dcb.Flags & dcb_RtsControlMask) == dcb_RtsHandshake)
        t.c_cflag |= CRTSCTS;
    if (dcb.Flags & dcb_OutX)
        t.c_iflag |= IXON;
    if (dcb.Flags & dcb_InX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = dcb.XonChar;
    t.c_cc[VSTOP] = dcb.XoffChar;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (const speed_t speed = StandardSpeed(dcb.BaudRate); speed != B0) {
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
    }
    return true;
}

TVaTermiosLine::~TVaTermiosLine() {
    Close();
}

int TVaTermiosLine::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        ::close(fd); // also releases a lock taken before TIOCEXCL failed
        return error;
    }
    FHandle = fd;
    FExclusive = true;
    FXoffHold = false;
    return 0;
}

void TVaTermiosLine::Close() {
    if (FHandle < 0)
        return;
    ::tcflush(FHandle, TCIOFLUSH);
    if (FExclusive)
        ::ioctl(FHandle, TIOCNXCL);
    ::flock(FHandle, LOCK_UN);
    ::close(FHandle);
    FHandle = -1;
    FExclusive = false;
}

TVaIoResult TVaTermiosLine::Read(void* buf, std::size_t count) {
    return IoResult([&] { return ::read(FHandle, buf, count); });
}

TVaIoResult TVaTermiosLine::Write(const void* buf, std::size_t count) {
    return IoResult([&] { return ::write(FHandle, buf, count); });
}

int TVaTermiosLine::ApplySettings(const TVaDCB& dcb) {
    termios t{};
    if (::tcgetattr(FHandle, &t) != 0)
        return errno;
    if (!DcbToTermios(dcb, t))
        return EINVAL;
    if (::tcsetattr(FHandle, TCSANOW, &t) != 0)
        return errno;
    return SetLineSpeed(FHandle, dcb.BaudRate, StandardSpeed(dcb.BaudRate));
}

int TVaTermiosLine::ModemLines(int& lines) {
    return Result(::ioctl(FHandle, TIOCMGET, &lines));
}

int TVaTermiosLine::SetModemLines(int bits, bool on) {
    return Result(::ioctl(FHandle, on ? TIOCMBIS : TIOCMBIC, &bits));
}

int TVaTermiosLine::Counts(TVaLineCounts& counts) {
    serial_icounter_struct c{};
    if (::ioctl(FHandle, TIOCGICOUNT, &c) != 0)
        return errno;
    counts = {c.cts, c.dsr, c.rng, c.dcd, c.frame, c.overrun, c.parity, c.brk, c.buf_overrun};
    return 0;
}

int TVaTermiosLine::HoldFlags(std::uint32_t& flags) {
    flags = FXoffHold ? HOLD_XOFF : 0;
    termios t{};
    if (::tcgetattr(FHandle, &t) != 0)
        return errno;
    int lines = 0;
    if ((t.c_cflag & CRTSCTS) && ModemLines(lines) == 0 && !(lines & TIOCM_CTS))
        flags |= HOLD_CTS;
    return 0;
}

int TVaTermiosLine::InQueue(int& count) {
    return Result(::ioctl(FHandle, TIOCINQ, &count));
}

int TVaTermiosLine::OutQueue(int& count) {
    return Result(::ioctl(FHandle, TIOCOUTQ, &count));
}

int TVaTermiosLine::Flush(int queues) {
    return Result(::tcflush(FHandle, queues));
}

int TVaTermiosLine::SetBreak(bool on) {
    return Result(::ioctl(FHandle, on ? TIOCSBRK : TIOCCBRK));
}

int TVaTermiosLine::SetXon(bool on) {
    if (::tcflow(FHandle, on ? TCOON : TCOOFF) != 0)
        return errno;
    FXoffHold = !on;
    return 0;
}

int TVaTermiosLine::ResetDev() {
    // A line without break control (a pseudo-terminal) has no break to end.
    if (::ioctl(FHandle, TIOCCBRK) != 0 && errno != ENOTTY && errno != EINVAL)
        return errno;
    if (::tcflow(FHandle, TCOON) != 0)
        return errno;
    FXoffHold = false;
    return Result(::tcflush(FHandle, TCIOFLUSH));
}

int TVaTermiosLine::Properties(TVaCommProp& prop) {
    termios t{};
    if (::tcgetattr(FHandle, &t) != 0)
        return errno;
    int lines = 0;
    const bool modemLines = ModemLines(lines) == 0;
    prop = {};
    prop.ServiceMask = SP_SERIALCOMM;
    prop.MaxBaud = BAUD_USER;
    prop.ProvSubType = modemLines ? PST_RS232 : PST_UNSPECIFIED;
    prop.ProvCapabilities = PCF_PARITY_CHECK | PCF_XONXOFF | PCF_SETXCHAR;
    prop.SettableParams =
        SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK;
    if (modemLines) {
        prop.ProvCapabilities |= PCF_RTSCTS | PCF_RLSD;
        prop.SettableParams |= SP_RLSD;
    }
    prop.SettableBaud = BAUD_LISTED | BAUD_USER;
    prop.SettableData = DATABITS_5_TO_8;
    prop.SettableStopParity = STOPBITS_10 | STOPBITS_20 | PARITY_ALL;
    return 0;
}
