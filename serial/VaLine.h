#pragma once
// The line layer: every call the port component makes on the device (open and the
// exclusive hold, line settings, modem lines, line counters, queue counts, purges,
// reads and writes) behind one thin interface, made of termios on Linux and of the
// Win32 communications calls on Windows (chosen at build time). The component's event
// rules can so also run against a scripted line that has modem lines, breaks and line
// errors, which a pseudo-terminal has not.
//
// Each operation returns 0 or the system's error code of the call that failed (errno on
// Linux, GetLastError on Windows; reads and writes return it with the byte count); the
// component decides what a failure means, with the classifications below.
#include "serial/VaTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

#ifdef _WIN32
// The flush selectors and modem-line bits the interface speaks, as Linux numbers them.
inline constexpr int TCIFLUSH = 0;
inline constexpr int TCOFLUSH = 1;
inline constexpr int TCIOFLUSH = 2;
inline constexpr int TIOCM_DTR = 0x002;
inline constexpr int TIOCM_RTS = 0x004;
inline constexpr int TIOCM_CTS = 0x020;
inline constexpr int TIOCM_CAR = 0x040;
inline constexpr int TIOCM_RNG = 0x080;
inline constexpr int TIOCM_DSR = 0x100;
#else
#include <sys/ioctl.h>
#include <termios.h>
#endif

// A device that went away: EIO, ENXIO or ENODEV on Linux; on Windows the codes a removed
// adapter or a closed far end gives (not ready, access denied, bad command, aborted,
// device removed or not connected, no such device).
bool IsHangUpError(int error);

// A line without modem lines or line counters (a pseudo-terminal: ENOTTY, EINVAL; under
// Windows: not supported, invalid function or parameter, a general failure), and a
// device that went away, cannot report anything: each means "nothing to report", not a
// failure.
bool NothingToReport(int error);

// How a read or a write on the line ended.
enum class TVaIoStatus {
    Done,    // Count bytes moved; a raw line answers a read with none when it has none
    Waiting, // nothing can move now (EAGAIN, or a write still under way): wait for the line
    HungUp,  // the device went away
    Failed,  // any other error
};

// What a read or a write did: the bytes moved, or the error code of its failure.
struct TVaIoResult {
    std::size_t Count = 0;
    int Error = 0;
    TVaIoStatus Status() const;
};

// A UART's interrupt counters: modem-line changes and line errors since it was opened.
struct TVaLineCounts {
    int Cts = 0, Dsr = 0, Rng = 0, Dcd = 0;
    int Frame = 0, Overrun = 0, Parity = 0, Brk = 0, BufOverrun = 0;
    bool operator==(const TVaLineCounts&) const = default;
};

class TVaLine;

// What a thread waits for on the line beside its events (WaitForMultiple).
enum class TVaLineReady { Input, Output };
struct TVaLineWait {
    TVaLine& Line;
    TVaLineReady For;
    bool HungUp = false; // set by the wait: the line reported that the device went away
};

class TVaLine {
public:
    virtual ~TVaLine() = default;

    // Opens path for reading and writing without blocking and holds it exclusively.
    virtual int Open(const std::string& path) = 0;
    // Drops pending output (so close cannot wait on a stalled line), gives up the
    // exclusive hold and closes. Nothing happens when the line is not open.
    virtual void Close() = 0;
    // The open line's handle (a descriptor on Linux); -1 while closed.
    virtual int Handle() const = 0;
    // A descriptor that poll() and the event loop can watch for input, output room and
    // hang-up; -1 when the line has none (a Win32 device is waited on through WaitFor).
    virtual int PollDescriptor() const { return Handle(); }
    // Win32: starts the wait for ready (an overlapped WaitCommEvent, or the write under
    // way) and returns the event handle that is set when the line may be ready, or 0 when
    // it is ready now or gone (then hungUp tells which). WaitEnded finishes a wait whose
    // event was set, and tells whether the device went away. Unused on Linux.
    virtual void* ArmWait(TVaLineReady, bool& hungUp) {
        hungUp = false;
        return nullptr;
    }
    virtual bool WaitEnded(TVaLineReady) { return false; }

    // Never wait; an interrupted call is made again.
    virtual TVaIoResult Read(void* buf, std::size_t count) = 0;
    virtual TVaIoResult Write(const void* buf, std::size_t count) = 0;

    virtual int ApplySettings(const TVaDCB& dcb) = 0;
    // TIOCM_ bits.
    virtual int ModemLines(int& lines) = 0;
    virtual int SetModemLines(int bits, bool on) = 0;
    virtual int Counts(TVaLineCounts& counts) = 0;
    // HOLD_ and XOFF_SENT bits.
    virtual int HoldFlags(std::uint32_t& flags) = 0;
    // Bytes the driver has received and not yet handed over, and has still to send.
    virtual int InQueue(int& count) = 0;
    virtual int OutQueue(int& count) = 0;
    // TCIFLUSH, TCOFLUSH or TCIOFLUSH.
    virtual int Flush(int queues) = 0;
    virtual int SetBreak(bool on) = 0;
    // Output as if XON (true) or XOFF (false) had been received.
    virtual int SetXon(bool on) = 0;
    // Returns the line to idle: break off, output no longer held by XOFF, both driver
    // queues dropped.
    virtual int ResetDev() = 0;
    // What the line can carry; the queue sizes are the component's to fill.
    virtual int Properties(TVaCommProp& prop) = 0;
};

// The system's serial line: TVaWin32Line on Windows, TVaTermiosLine elsewhere.
std::unique_ptr<TVaLine> NewSystemLine();

#ifdef _WIN32

// A Windows serial device through the Win32 communications calls: CreateFileW (exclusive,
// overlapped), SetCommState, SetupComm, SetCommTimeouts (reads return at once with what
// has come in), SetCommMask and an overlapped WaitCommEvent, ClearCommError,
// PurgeComm, overlapped ReadFile and WriteFile with GetOverlappedResult,
// EscapeCommFunction, CloseHandle. Windows has no line counters: the error flags that
// ClearCommError returns and the events WaitCommEvent reports are counted here instead,
// so the component sees a line with counters as on a Linux UART.
class TVaWin32Line : public TVaLine {
public:
    TVaWin32Line();
    ~TVaWin32Line() override;

    int Open(const std::string& path) override;
    void Close() override;
    int Handle() const override;
    int PollDescriptor() const override { return -1; }
    void* ArmWait(TVaLineReady ready, bool& hungUp) override;
    bool WaitEnded(TVaLineReady ready) override;
    TVaIoResult Read(void* buf, std::size_t count) override;
    // Takes the bytes into its own buffer and starts one overlapped write; while that
    // write is under way, answers Waiting.
    TVaIoResult Write(const void* buf, std::size_t count) override;
    int ApplySettings(const TVaDCB& dcb) override;
    int ModemLines(int& lines) override;
    int SetModemLines(int bits, bool on) override;
    int Counts(TVaLineCounts& counts) override;
    int HoldFlags(std::uint32_t& flags) override;
    int InQueue(int& count) override;
    int OutQueue(int& count) override;
    int Flush(int queues) override;
    int SetBreak(bool on) override;
    int SetXon(bool on) override;
    int ResetDev() override;
    int Properties(TVaCommProp& prop) override;

private:
    struct TState;
    // ClearCommError, its error flags added to the counters.
    int Status(void* comstat, std::uint32_t* flags = nullptr);
    void CountEvents(std::uint32_t events);
    bool WriteUnderWay(int& error);

    std::unique_ptr<TState> F;
};

#else

// A Linux serial device through termios and ioctl. The exclusive hold is the advisory
// lock, taken first, and TIOCEXCL, set only once the lock is held: setting TIOCEXCL on a
// device that another program holds would lock every ordinary user out of it, us too.
class TVaTermiosLine : public TVaLine {
public:
    ~TVaTermiosLine() override;

    int Open(const std::string& path) override;
    void Close() override;
    int Handle() const override { return FHandle; }
    TVaIoResult Read(void* buf, std::size_t count) override;
    TVaIoResult Write(const void* buf, std::size_t count) override;
    int ApplySettings(const TVaDCB& dcb) override;
    int ModemLines(int& lines) override;
    int SetModemLines(int bits, bool on) override;
    int Counts(TVaLineCounts& counts) override;
    // A termios line can tell only CTS hold (RTS/CTS handshake with CTS off) and XOFF
    // hold it was told of; Linux holds output for neither DSR nor RLSD and does not say
    // whether it sent an XOFF.
    int HoldFlags(std::uint32_t& flags) override;
    int InQueue(int& count) override;
    int OutQueue(int& count) override;
    int Flush(int queues) override;
    int SetBreak(bool on) override;
    int SetXon(bool on) override;
    int ResetDev() override;
    // Any speed through termios2; modem lines and RTS/CTS handshake only on a line that
    // has modem lines (a pseudo-terminal has none).
    int Properties(TVaCommProp& prop) override;

private:
    int FHandle = -1;
    bool FExclusive = false;
    std::atomic<bool> FXoffHold = false;
};

// Carries the record into t: raw mode (a break is ignored as data and only counted),
// framing, parity, stop bits, XON/XOFF and RTS/CTS handshake, the XON/XOFF characters,
// and the speed when it has a Bnnn constant. Returns false for a record Linux cannot
// carry (fewer than 5 data bits, speed 0). DSR/DTR handshake, the XON/XOFF limits and
// the error, end-of-file and event characters have no termios counterpart and are left
// out.
bool DcbToTermios(const TVaDCB& dcb, termios& t);

// The Bnnn constant of a speed, or B0 when there is none (then it is set exactly).
speed_t StandardSpeed(std::uint32_t baud);

// Sets the input and the output speed to baud through the kernel's termios2
// (VaLineSpeed.cpp, which cannot share a file with <termios.h>): code is its Bnnn
// constant, or B0 for a speed without one. The C library's termios leaves the kernel's
// separate input speed (CIBAUD) as it finds it, so an input speed left by an earlier
// program would otherwise survive. Return 0 or errno.
int SetLineSpeed(int fd, std::uint32_t baud, speed_t code);
int LineSpeeds(int fd, std::uint32_t& input, std::uint32_t& output);

#endif
