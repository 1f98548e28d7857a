// The line layer on Windows: a serial device through the Win32 communications calls.
//
// <windows.h> comes after the project's headers: it defines as macros names that they
// declare as constants (EV_RXCHAR, CE_FRAME, PST_RS232, ...), with the same values.
#include "serial/VaLine.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

static_assert(sizeof(COMMPROP) == sizeof(TVaCommProp));

namespace {

// The events a wait on the line wakes for. Modem-line changes and line errors are read
// again at every wake-up; the characters are what the wait is for.
constexpr DWORD WaitedEvents = EV_RXCHAR | EV_ERR | EV_BREAK | EV_CTS | EV_DSR | EV_RLSD | EV_RING;

// ERROR_NO_SUCH_DEVICE, which MinGW's headers lack.
constexpr int NoSuchDevice = 433;

// How long closing waits for an overlapped call that the close has ended to report so.
constexpr DWORD CloseWaitMs = 1000;

int LastError() {
    return static_cast<int>(::GetLastError());
}

int Result(BOOL ok) {
    return ok ? 0 : LastError();
}

std::wstring Wide(const std::string& text) {
    if (text.empty())
        return {};
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          size);
    return wide;
}

HANDLE NewEvent() {
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

} // namespace

std::unique_ptr<TVaLine> NewSystemLine() {
    return std::make_unique<TVaWin32Line>();
}

std::string SystemErrorText(int code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer) {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length),
                                               nullptr, 0, nullptr, nullptr);
        text.assign(static_cast<std::size_t>(size), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), text.data(), size,
                              nullptr, nullptr);
    }
    if (buffer)
        ::LocalFree(buffer);
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text.empty() ? "Unknown error " + std::to_string(code) : text;
}

bool IsHangUpError(int error) {
    switch (error) {
    case ERROR_NOT_READY:            // 21: the far end of a Wine COM link closed
    case ERROR_ACCESS_DENIED:        // 5
    case ERROR_BAD_COMMAND:          // 22
    case ERROR_OPERATION_ABORTED:    // 995
    case ERROR_DEVICE_NOT_CONNECTED: // 1167
    case ERROR_DEVICE_REMOVED:       // 1617
    case NoSuchDevice:               // 433
        return true;
    default:
        return false;
    }
}

bool NothingToReport(int error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_PARAMETER || error == ERROR_GEN_FAILURE || IsHangUpError(error);
}

TVaIoStatus TVaIoResult::Status() const {
    if (Error == 0)
        return TVaIoStatus::Done;
    if (Error == ERROR_IO_PENDING)
        return TVaIoStatus::Waiting;
    return IsHangUpError(Error) ? TVaIoStatus::HungUp : TVaIoStatus::Failed;
}

// The device, its three overlapped calls, and what ClearCommError and GetCommModemStatus
// showed, counted as a UART counts.
struct TVaWin32Line::TState {
    HANDLE Device = INVALID_HANDLE_VALUE;

    std::mutex WaitLock; // the WaitCommEvent under way
    OVERLAPPED WaitOverlapped{};
    DWORD WaitMask = 0;
    bool WaitPending = false;

    OVERLAPPED ReadOverlapped{}; // reads come one at a time (the receiver's lock)

    std::mutex WriteLock; // the WriteFile under way and its bytes
    OVERLAPPED WriteOverlapped{};
    std::vector<std::uint8_t> Output;
    bool WritePending = false;

    std::mutex CountLock;
    TVaLineCounts Counts;
    DWORD Modem = 0;
    bool ModemKnown = false;
    int Lines = 0; // DTR and RTS as last set

    TState() {
        WaitOverlapped.hEvent = NewEvent();
        ReadOverlapped.hEvent = NewEvent();
        WriteOverlapped.hEvent = NewEvent();
    }
    ~TState() {
        for (HANDLE event : {WaitOverlapped.hEvent, ReadOverlapped.hEvent, WriteOverlapped.hEvent})
            if (event)
                ::CloseHandle(event);
    }
};

TVaWin32Line::TVaWin32Line() : F(std::make_unique<TState>()) {}

TVaWin32Line::~TVaWin32Line() {
    Close();
}

// Exclusive (no sharing), existing devices only, overlapped. Reads return at once with
// what has come in; writes never time out.
int TVaWin32Line::Open(const std::string& path) {
    HANDLE device = ::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return LastError();
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetupComm(device, 4096, 2048) || !::SetCommTimeouts(device, &timeouts) ||
        !::SetCommMask(device, WaitedEvents)) {
        const int error = LastError();
        ::CloseHandle(device);
        return error;
    }
    F->Device = device;
    F->WaitPending = false;
    F->WritePending = false;
    std::lock_guard lock(F->CountLock);
    F->Counts = {};
    F->ModemKnown = false;
    F->Lines = 0;
    return 0;
}

// A pending WaitCommEvent ends when the mask is cleared, and a pending write when the
// transmit queue is purged; both have reported before the handle goes.
void TVaWin32Line::Close() {
    if (F->Device == INVALID_HANDLE_VALUE)
        return;
    ::SetCommMask(F->Device, 0);
    ::PurgeComm(F->Device, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    ::CancelIoEx(F->Device, nullptr);
    DWORD moved = 0;
    if (F->WaitPending &&
        ::WaitForSingleObject(F->WaitOverlapped.hEvent, CloseWaitMs) == WAIT_OBJECT_0)
        ::GetOverlappedResult(F->Device, &F->WaitOverlapped, &moved, FALSE);
    if (F->WritePending &&
        ::WaitForSingleObject(F->WriteOverlapped.hEvent, CloseWaitMs) == WAIT_OBJECT_0)
        ::GetOverlappedResult(F->Device, &F->WriteOverlapped, &moved, FALSE);
    ::CloseHandle(F->Device);
    F->Device = INVALID_HANDLE_VALUE;
    F->WaitPending = false;
    F->WritePending = false;
}

// The handle's value stands for the open line; kernel handles fit in 32 bits.
int TVaWin32Line::Handle() const {
    if (F->Device == INVALID_HANDLE_VALUE)
        return -1;
    return static_cast<int>(reinterpret_cast<std::intptr_t>(F->Device) & 0x7FFFFFFF);
}

int TVaWin32Line::Status(void* comstat, std::uint32_t* flags) {
    COMSTAT stat{};
    DWORD errors = 0;
    if (!::ClearCommError(F->Device, &errors, &stat))
        return LastError();
    if (comstat)
        std::memcpy(comstat, &stat, sizeof stat);
    if (flags)
        *flags = (stat.fCtsHold ? HOLD_CTS : 0) | (stat.fDsrHold ? HOLD_DSR : 0) |
                 (stat.fRlsdHold ? HOLD_RLSD : 0) | (stat.fXoffHold ? HOLD_XOFF : 0) |
                 (stat.fXoffSent ? XOFF_SENT : 0);
    if (errors != 0) {
        std::lock_guard lock(F->CountLock);
        TVaLineCounts& c = F->Counts;
        c.Frame += (errors & CE_FRAME) ? 1 : 0;
        c.Overrun += (errors & CE_OVERRUN) ? 1 : 0;
        c.Parity += (errors & CE_RXPARITY) ? 1 : 0;
        c.Brk += (errors & CE_BREAK) ? 1 : 0;
        c.BufOverrun += (errors & CE_RXOVER) ? 1 : 0;
    }
    return 0;
}

// Input: a WaitCommEvent left under way until it reports; ready at once while bytes wait
// in the driver, so the wait answers as poll() does for a level, not an edge. Output: the
// write under way, if any.
void* TVaWin32Line::ArmWait(TVaLineReady ready, bool& hungUp) {
    hungUp = false;
    if (ready == TVaLineReady::Output) {
        std::lock_guard lock(F->WriteLock);
        int error = 0;
        if (WriteUnderWay(error))
            return F->WriteOverlapped.hEvent;
        hungUp = IsHangUpError(error);
        return nullptr;
    }
    std::lock_guard lock(F->WaitLock);
    if (!F->WaitPending) {
        ::ResetEvent(F->WaitOverlapped.hEvent);
        F->WaitMask = 0;
        if (::WaitCommEvent(F->Device, &F->WaitMask, &F->WaitOverlapped))
            return nullptr;
        const int error = LastError();
        if (IsHangUpError(error)) {
            hungUp = true;
            return nullptr;
        }
        // Another failure: the wait goes on by looking at the line every slice.
        F->WaitPending = error == ERROR_IO_PENDING;
    }
    COMSTAT stat{};
    if (const int error = Status(&stat)) {
        hungUp = IsHangUpError(error);
        if (hungUp)
            return nullptr;
    } else if (stat.cbInQue > 0) {
        return nullptr;
    }
    return F->WaitOverlapped.hEvent;
}

bool TVaWin32Line::WaitEnded(TVaLineReady ready) {
    if (ready == TVaLineReady::Output) {
        std::lock_guard lock(F->WriteLock);
        int error = 0;
        WriteUnderWay(error);
        return IsHangUpError(error);
    }
    std::lock_guard lock(F->WaitLock);
    if (!F->WaitPending)
        return false;
    DWORD unused = 0;
    if (::GetOverlappedResult(F->Device, &F->WaitOverlapped, &unused, FALSE)) {
        F->WaitPending = false;
        return false;
    }
    const int error = LastError();
    if (error == ERROR_IO_INCOMPLETE)
        return false;
    F->WaitPending = false;
    return IsHangUpError(error);
}

// Reads only what the driver holds, so that it completes at once: the timeouts set at
// open ask for that, yet Wine leaves a read of an empty queue waiting for a byte.
TVaIoResult TVaWin32Line::Read(void* buf, std::size_t count) {
    COMSTAT stat{};
    if (const int error = Status(&stat))
        return {0, error};
    count = std::min<std::size_t>(count, stat.cbInQue);
    if (count == 0)
        return {};
    OVERLAPPED& o = F->ReadOverlapped;
    ::ResetEvent(o.hEvent);
    o.Offset = o.OffsetHigh = 0;
    DWORD read = 0;
    if (!::ReadFile(F->Device, buf, static_cast<DWORD>(count), nullptr, &o) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return {0, LastError()};
    if (!::GetOverlappedResult(F->Device, &o, &read, TRUE))
        return {0, LastError()};
    return {read, 0};
}

// Under WriteLock: whether the last write is still under way; error is its failure.
bool TVaWin32Line::WriteUnderWay(int& error) {
    error = 0;
    if (!F->WritePending)
        return false;
    DWORD written = 0;
    if (::GetOverlappedResult(F->Device, &F->WriteOverlapped, &written, FALSE)) {
        F->WritePending = false;
        return false;
    }
    error = LastError();
    if (error == ERROR_IO_INCOMPLETE) {
        error = 0;
        return true;
    }
    F->WritePending = false;
    return false;
}

// The bytes are the driver's once the write has started, as a Linux tty takes them into
// its queue: the count is all of them. A failure of the last write is answered now.
TVaIoResult TVaWin32Line::Write(const void* buf, std::size_t count) {
    std::lock_guard lock(F->WriteLock);
    int error = 0;
    if (WriteUnderWay(error))
        return {0, ERROR_IO_PENDING};
    if (error != 0)
        return {0, error};
    if (count == 0)
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(buf);
    F->Output.assign(bytes, bytes + count);
    OVERLAPPED& o = F->WriteOverlapped;
    ::ResetEvent(o.hEvent);
    o.Offset = o.OffsetHigh = 0;
    if (::WriteFile(F->Device, F->Output.data(), static_cast<DWORD>(count), nullptr, &o)) {
        DWORD written = 0;
        if (!::GetOverlappedResult(F->Device, &o, &written, FALSE))
            return {0, LastError()};
        return {written, 0};
    }
    error = LastError();
    if (error != ERROR_IO_PENDING)
        return {0, error};
    F->WritePending = true;
    return {count, 0};
}

// The record as it stands, with the fields the settings give replaced; aborting reads
// and writes after a line error stays off.
int TVaWin32Line::ApplySettings(const TVaDCB& dcb) {
    DCB d{};
    d.DCBlength = sizeof d;
    if (!::GetCommState(F->Device, &d))
        return LastError();
    const std::uint32_t flags = dcb.Flags;
    d.BaudRate = dcb.BaudRate;
    d.fBinary = (flags & dcb_Binary) ? 1 : 0;
    d.fParity = (flags & dcb_ParityCheck) ? 1 : 0;
    d.fOutxCtsFlow = (flags & dcb_OutxCtsFlow) ? 1 : 0;
    d.fOutxDsrFlow = (flags & dcb_OutxDsrFlow) ? 1 : 0;
    d.fDtrControl = (flags >> 4) & 3;
    d.fDsrSensitivity = (flags & dcb_DsrSensitivity) ? 1 : 0;
    d.fTXContinueOnXoff = (flags & dcb_TxContinueOnXoff) ? 1 : 0;
    d.fOutX = (flags & dcb_OutX) ? 1 : 0;
    d.fInX = (flags & dcb_InX) ? 1 : 0;
    d.fErrorChar = (flags >> 10) & 1;
    d.fNull = (flags >> 11) & 1;
    d.fRtsControl = (flags & dcb_RtsControlMask) >> 12;
    d.fAbortOnError = 0;
    d.XonLim = dcb.XonLim;
    d.XoffLim = dcb.XoffLim;
    d.ByteSize = dcb.ByteSize;
    d.Parity = dcb.Parity;
    d.StopBits = dcb.StopBits;
    d.XonChar = static_cast<char>(dcb.XonChar);
    d.XoffChar = static_cast<char>(dcb.XoffChar);
    d.ErrorChar = static_cast<char>(dcb.ErrorChar);
    d.EofChar = static_cast<char>(dcb.EofChar);
    d.EvtChar = static_cast<char>(dcb.EvtChar);
    return Result(::SetCommState(F->Device, &d));
}

int TVaWin32Line::ModemLines(int& lines) {
    DWORD status = 0;
    if (!::GetCommModemStatus(F->Device, &status))
        return LastError();
    lines = (status & MS_CTS_ON ? TIOCM_CTS : 0) | (status & MS_DSR_ON ? TIOCM_DSR : 0) |
            (status & MS_RING_ON ? TIOCM_RNG : 0) | (status & MS_RLSD_ON ? TIOCM_CAR : 0);
    std::lock_guard lock(F->CountLock);
    lines |= F->Lines;
    return 0;
}

int TVaWin32Line::SetModemLines(int bits, bool on) {
    if (bits & TIOCM_DTR)
        if (!::EscapeCommFunction(F->Device, on ? SETDTR : CLRDTR))
            return LastError();
    if (bits & TIOCM_RTS)
        if (!::EscapeCommFunction(F->Device, on ? SETRTS : CLRRTS))
            return LastError();
    std::lock_guard lock(F->CountLock);
    const int mine = bits & (TIOCM_DTR | TIOCM_RTS);
    F->Lines = on ? (F->Lines | mine) : (F->Lines & ~mine);
    return 0;
}

// The error flags ClearCommError returned, counted; modem-line changes counted as a UART
// counts them (a ring at its trailing edge). A line without modem lines has counters all
// the same: its errors.
int TVaWin32Line::Counts(TVaLineCounts& counts) {
    if (const int error = Status(nullptr))
        return error;
    DWORD status = 0;
    const bool modem = ::GetCommModemStatus(F->Device, &status) != 0;
    std::lock_guard lock(F->CountLock);
    if (modem) {
        if (F->ModemKnown) {
            const DWORD changed = status ^ F->Modem;
            TVaLineCounts& c = F->Counts;
            c.Cts += (changed & MS_CTS_ON) ? 1 : 0;
            c.Dsr += (changed & MS_DSR_ON) ? 1 : 0;
            c.Dcd += (changed & MS_RLSD_ON) ? 1 : 0;
            c.Rng += ((F->Modem & MS_RING_ON) && !(status & MS_RING_ON)) ? 1 : 0;
        }
        F->Modem = status;
        F->ModemKnown = true;
    }
    counts = F->Counts;
    return 0;
}

int TVaWin32Line::HoldFlags(std::uint32_t& flags) {
    return Status(nullptr, &flags);
}

int TVaWin32Line::InQueue(int& count) {
    COMSTAT stat{};
    const int error = Status(&stat);
    count = error ? 0 : static_cast<int>(stat.cbInQue);
    return error;
}

// The bytes of a write still under way count as the driver's.
int TVaWin32Line::OutQueue(int& count) {
    COMSTAT stat{};
    if (const int error = Status(&stat))
        return error;
    count = static_cast<int>(stat.cbOutQue);
    std::lock_guard lock(F->WriteLock);
    int error = 0;
    if (WriteUnderWay(error) && stat.cbOutQue == 0)
        count = static_cast<int>(F->Output.size());
    return 0;
}

// A write that the purge aborts ends as aborted: that is the purge, not a device gone.
int TVaWin32Line::Flush(int queues) {
    DWORD flags = 0;
    if (queues == TCIFLUSH || queues == TCIOFLUSH)
        flags |= PURGE_RXABORT | PURGE_RXCLEAR;
    if (queues == TCOFLUSH || queues == TCIOFLUSH)
        flags |= PURGE_TXABORT | PURGE_TXCLEAR;
    std::lock_guard lock(F->WriteLock);
    if (!::PurgeComm(F->Device, flags))
        return LastError();
    if ((flags & PURGE_TXABORT) && F->WritePending) {
        DWORD written = 0;
        if (::WaitForSingleObject(F->WriteOverlapped.hEvent, CloseWaitMs) == WAIT_OBJECT_0) {
            ::GetOverlappedResult(F->Device, &F->WriteOverlapped, &written, FALSE);
            F->WritePending = false;
        }
    }
    return 0;
}

int TVaWin32Line::SetBreak(bool on) {
    return Result(::EscapeCommFunction(F->Device, on ? SETBREAK : CLRBREAK));
}

int TVaWin32Line::SetXon(bool on) {
    return Result(::EscapeCommFunction(F->Device, on ? SETXON : SETXOFF));
}

// Break off (a line without break control has none to end), output released, both
// queues dropped.
int TVaWin32Line::ResetDev() {
    if (!::EscapeCommFunction(F->Device, CLRBREAK) && !NothingToReport(LastError()))
        return LastError();
    if (!::EscapeCommFunction(F->Device, SETXON) && !NothingToReport(LastError()))
        return LastError();
    return Flush(TCIOFLUSH);
}

int TVaWin32Line::Properties(TVaCommProp& prop) {
    COMMPROP p{};
    p.wPacketLength = sizeof p;
    if (!::GetCommProperties(F->Device, &p))
        return LastError();
    std::memcpy(static_cast<void*>(&prop), &p, sizeof prop);
    return 0;
}
