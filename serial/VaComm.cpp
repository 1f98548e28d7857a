#include "serial/VaComm.h"

#include "serial/ComPortPaths.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

// Pseudo-terminals have no modem lines or line counters (ENOTTY, EINVAL), and a device
// that went away answers EIO or ENXIO: each means "nothing to report", not a failure.
bool NothingToReport(int error) {
    return error == ENOTTY || error == EINVAL || error == EIO || error == ENXIO;
}

// DeviceName's integer placeholder filled with n. Only "%d" (once) and "%%" are
// understood; anything else stays as written, so no name can upset the formatting.
std::string FormatDeviceName(const std::string& pattern, long n) {
    std::string name;
    bool filled = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && next == '%') {
            name += '%';
            ++i;
        } else if (pattern[i] == '%' && next == 'd' && !filled) {
            name += std::to_string(n);
            filled = true;
            ++i;
        } else {
            name += pattern[i];
        }
    }
    return name;
}

// The kernel's termios2, which carries a speed in bit/s.
struct KernelTermios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
constexpr unsigned long kTCGETS2 = _IOR('T', 0x2A, KernelTermios2);
constexpr unsigned long kTCSETS2 = _IOW('T', 0x2B, KernelTermios2);
constexpr tcflag_t kBOTHER = 0x1000;
constexpr int kIBSHIFT = 16;

// Sets a speed that has no Bnnn constant; returns 0 or the error.
int SetExactSpeed(int fd, std::uint32_t baud) {
    KernelTermios2 t{};
    if (::ioctl(fd, kTCGETS2, &t) != 0)
        return errno;
    t.c_cflag &= ~(CBAUD | (CBAUD << kIBSHIFT));
    t.c_cflag |= kBOTHER;
    t.c_ispeed = t.c_ospeed = baud;
    return ::ioctl(fd, kTCSETS2, &t) == 0 ? 0 : errno;
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

constexpr std::uint32_t dcb_ParityCheck = 0x0002;
constexpr std::uint32_t rts_Handshake = 0x2000;

} // namespace

TVaDCB BuildDCB(const TVaLineSettings& line, const TVaFlowControl& flow, const TVaEventChars& chars,
                const TVaBuffers& buffers) {
    TVaDCB dcb;
    dcb.BaudRate = BaudrateValue(line.Baudrate, line.UserBaudrate);
    dcb.ByteSize = DatabitsValue(line.Databits);
    dcb.Parity = ParityValue(line.Parity);
    dcb.StopBits = StopbitsValue(line.Stopbits);
    dcb.XonChar = chars.XonChar();
    dcb.XoffChar = chars.XoffChar();
    dcb.ErrorChar = chars.ErrorChar();
    dcb.EofChar = chars.EofChar();
    dcb.EvtChar = chars.EventChar();
    dcb.XonLim = static_cast<std::uint16_t>(buffers.XonLimit());
    dcb.XoffLim = static_cast<std::uint16_t>(buffers.XoffLimit());
    std::uint32_t flags = dcb_Binary;
    if (flow.OutCtsFlow())
        flags |= dcb_OutxCtsFlow;
    if (flow.OutDsrFlow())
        flags |= dcb_OutxDsrFlow;
    flags |= ControlDtrValue(flow.ControlDtr());
    if (flow.DsrSensitivity())
        flags |= dcb_DsrSensitivity;
    if (flow.TxContinueOnXoff())
        flags |= dcb_TxContinueOnXoff;
    if (flow.XonXoffOut())
        flags |= dcb_OutX;
    if (flow.XonXoffIn())
        flags |= dcb_InX;
    flags |= ControlRtsValue(flow.ControlRts());
    flags |= CommOptionsValue(line.Options);
    dcb.Flags = flags;
    return dcb;
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
    // Raw: no byte is translated, swallowed or turned into a signal.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                           ICRNL | IUCLC | IXON | IXOFF | IXANY | IMAXBEL);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | CharacterSize(dcb.ByteSize) | ParityFlags(dcb.Parity);
    if (dcb.StopBits != 0)
        t.c_cflag |= CSTOPB;
    if (dcb.Flags & dcb_ParityCheck)
        t.c_iflag |= INPCK;
    if ((dcb.Flags & dcb_OutxCtsFlow) || (dcb.Flags & dcb_RtsControlMask) == rts_Handshake)
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

TVaCommBuffer::TVaCommBuffer(int capacity)
    : FData(std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(std::max(capacity, 0)))),
      FCapacity(std::max(capacity, 0)) {}

void TVaCommBuffer::Write(const void* Buf, int Count) {
    std::memcpy(FData.get() + FSize, Buf, static_cast<std::size_t>(Count));
    FSize += Count;
}

void TVaCommBuffer::Remove(int Count) {
    Count = std::clamp(Count, 0, FSize);
    std::memmove(FData.get(), FData.get() + Count, static_cast<std::size_t>(FSize - Count));
    FSize -= Count;
}

void TVaCommBuffer::Read(void* Buf, int Count) {
    Peek(Buf, Count);
    Remove(Count);
}

void TVaCommBuffer::Peek(void* Buf, int Count) const {
    std::memcpy(Buf, FData.get(), static_cast<std::size_t>(std::clamp(Count, 0, FSize)));
}

// ---------------------------------------------------------------------------------
// Event thread

TVaCommEventThread::TVaCommEventThread(TVaCustomComm* owner) : FOwner(owner) {}

void TVaCommEventThread::Stop() {
    Terminate();
    FEvent.SetEvent();
}

void TVaCommEventThread::Execute() {
    // After a hang-up the port reports readiness again and again; from then on only
    // the stop request is waited for, so the thread does not spin.
    bool hungUp = false;
    while (!Terminated()) {
        pollfd port{FOwner->Handle(), POLLIN, 0};
        int signalled;
        if (hungUp)
            signalled = WaitForMultiple({&FEvent}, INFINITE);
        else if (!FOwner->ReceiveRoom())
            signalled = WaitForMultiple({&FEvent, &FOwner->FReceiveRoom}, INFINITE);
        else
            signalled = WaitForMultiple({&FEvent}, INFINITE, &port);
        if (Terminated() || signalled != 1 || port.revents == 0)
            continue;
        const TVaCustomComm::TVaPull pull = FOwner->PullInput();
        hungUp = pull.HungUp || (port.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        std::uint32_t mask = 0;
        if (port.revents & POLLIN)
            mask |= EV_RXCHAR;
        if (FOwner->LineErrorsPending())
            mask |= EV_ERR;
        mask &= FOwner->FEventMask;
        if (mask != 0)
            Dispatch(mask);
    }
}

void TVaCommEventThread::Dispatch(std::uint32_t mask) {
    if (Terminated())
        return;
    FEvtMask = mask;
    Synchronize([this] { DispatchEvents(); });
}

void TVaCommEventThread::DispatchEvents() {
    std::uint32_t mask = FEvtMask;
    if (mask & EV_RXCHAR) {
        FOwner->HandleRxChar();
        mask &= ~EV_RXCHAR;
    }
    if (mask != 0)
        FOwner->HandleCommEvents(mask);
}

// ---------------------------------------------------------------------------------
// Write thread

TVaCommWriteThread::TVaCommWriteThread(TVaCustomComm* owner, int size)
    : FBuffer(size), FOutput(static_cast<std::size_t>(FBuffer.Capacity())), FOwner(owner) {}

void TVaCommWriteThread::Stop() {
    FCloseEvent.SetEvent();
}

bool TVaCommWriteThread::WriteData(const void* Buf, int Count) {
    if (Append(Buf, Count))
        return true;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(FOwner->FBuffers.WriteTimeout());
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        FRoomEvent.WaitFor(static_cast<std::uint32_t>(left.count()));
        if (Append(Buf, Count))
            return true;
    }
}

// Queues the bytes when they fit; otherwise arms the wait for room.
bool TVaCommWriteThread::Append(const void* Buf, int Count) {
    std::lock_guard lock(FOwner->FWriteSection);
    if (Count > FBuffer.Free()) {
        FRoomEvent.ResetEvent();
        return false;
    }
    FBuffer.Write(Buf, Count);
    FWriteEvent.SetEvent();
    return true;
}

// The write thread empties the queue when it acknowledges, so that no turn of its own
// can send queued bytes between the acknowledgement and the purge. It may itself be
// waiting for the main thread (its queue-empty report), so the wait keeps running
// hand-overs. Without an acknowledgement in time the queue stays as it is.
void TVaCommWriteThread::PurgeWrite() {
    FFlushDoneEvent.ResetEvent();
    FFlushEvent.SetEvent();
    const auto acknowledged = [this] { return FFlushDoneEvent.Signaled(); };
    HandOver().RunPendingUntil(acknowledged, std::chrono::milliseconds(2000));
}

int TVaCommWriteThread::Queued() {
    std::lock_guard lock(FOwner->FWriteSection);
    return FBuffer.Size();
}

void TVaCommWriteThread::Execute() {
    while (!Terminated()) {
        switch (WaitForMultiple({&FCloseEvent, &FFlushEvent, &FWriteEvent}, INFINITE)) {
        case 0:
            Terminate();
            break;
        case 1:
            AcknowledgeFlush();
            break;
        case 2:
            WriteQueued();
            break;
        }
    }
}

void TVaCommWriteThread::WriteQueued() {
    int count;
    {
        std::lock_guard lock(FOwner->FWriteSection);
        count = FBuffer.Size();
        FBuffer.Peek(FOutput.data(), count);
    }
    const ssize_t written = count > 0 ? ::write(FOwner->Handle(), FOutput.data(), count) : 0;
    if (written == count) {
        WriteDone(count);
    } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
        WriteFailed(count);
    } else {
        const int sent = static_cast<int>(std::max<ssize_t>(written, 0));
        if (sent > 0)
            WriteDone(sent);
        WaitWritable(count - sent);
    }
}

// The rest of a write waits for room in the driver, a flush or a stop. A flush drops the
// rest with the queue; nothing of this write is counted afterwards.
void TVaCommWriteThread::WaitWritable(int remaining) {
    pollfd port{FOwner->Handle(), POLLOUT, 0};
    switch (WaitForMultiple({&FCloseEvent, &FFlushEvent}, INFINITE, &port)) {
    case 0:
        Terminate();
        break;
    case 1:
        AcknowledgeFlush();
        break;
    case 2:
        if (port.revents & (POLLERR | POLLHUP | POLLNVAL))
            WriteFailed(remaining);
        break;
    }
}

void TVaCommWriteThread::WriteDone(int count) {
    bool empty;
    {
        std::lock_guard lock(FOwner->FWriteSection);
        FBuffer.Remove(count);
        empty = FBuffer.Size() == 0;
        if (empty)
            FWriteEvent.ResetEvent();
    }
    FRoomEvent.SetEvent();
    if (empty)
        Synchronize([this] { FOwner->HandleCommEvents(EV_TXEMPTY); });
}

// A failed write is reported as a line error and retried when the next byte is queued
// (or the thread is stopped). Retrying at once would spin on a device that went away.
void TVaCommWriteThread::WriteFailed(int remaining) {
    {
        std::lock_guard lock(FOwner->FWriteSection);
        if (FBuffer.Size() == remaining)
            FWriteEvent.ResetEvent();
    }
    Synchronize([this] { FOwner->HandleCommEvents(EV_ERR); });
}

void TVaCommWriteThread::AcknowledgeFlush() {
    {
        std::lock_guard lock(FOwner->FWriteSection);
        FBuffer.Clear();
        FWriteEvent.ResetEvent();
    }
    FRoomEvent.SetEvent();
    FFlushEvent.ResetEvent();
    FFlushDoneEvent.SetEvent();
    HandOver().Notify();
}

// ---------------------------------------------------------------------------------
// Component

TVaCustomComm::TVaCustomComm(QObject* owner) : TVaComponent(owner) {
    TVaHandOver::Instance(); // made here, on the main thread, before a worker needs it
    FFlowControl.OnChange = [this](TVaPersistent*) { ApplyPortSettings(); };
    FEventChars.OnChange = [this](TVaPersistent*) { ApplyPortSettings(); };
    FBuffers.OnChange = [this](TVaPersistent*) { BuffersChanged(); };
}

TVaCustomComm::~TVaCustomComm() {
    MarkDestroying();
    Close();
}

std::string TVaCustomComm::DevicePath() const {
    return va::ComNameToDevicePath(FormatDeviceName(FDeviceName, FPortNum));
}

void TVaCustomComm::Loaded() {
    TVaComponent::Loaded();
    if (FAutoOpen)
        Open();
}

void TVaCustomComm::Open() {
    RefuseWhileOpen();
    CreateHandle();
    try {
        ApplyPortSettings();
        FReceive = std::make_unique<TVaCommBuffer>(std::max(FBuffers.ReadSize(), 1));
        FReceiveRoom.SetEvent();
        FLineCounts.reset();
        if (serial_icounter_struct c{}; ::ioctl(FHandle, TIOCGICOUNT, &c) == 0)
            FLineCounts = TVaLineCounts{c.frame, c.overrun, c.parity, c.brk, c.buf_overrun};
        ApplyEventMask();
        CreateThreads();
    } catch (...) {
        StopThreads();
        CloseHandle();
        throw;
    }
    if (OnOpen) {
        try {
            OnOpen(this);
        } catch (...) {
            TVaHandOver::Instance().ShowException(std::current_exception());
        }
    }
}

void TVaCustomComm::CreateHandle() {
    const std::string path = DevicePath();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        RaiseOpenError(path, errno);
    // TIOCEXCL keeps out other openers; the advisory lock also keeps out root and
    // closes the race between two openers.
    if (::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        RaiseOpenError(path, error);
    }
    FHandle = fd;
}

void TVaCustomComm::ApplyEventMask() {
    std::uint32_t mask = CommEventsValue(FMonitorEvents);
    if (!FDirectWrite)
        mask &= ~EV_TXEMPTY;
    FEventMask = mask;
}

void TVaCustomComm::CreateThreads() {
    if (FEventMask != 0) {
        FEventThread = std::make_unique<TVaCommEventThread>(this);
        FEventThread->SetPriority(FEventPriority);
        FEventThread->SetSync(FSyncThreads);
        FEventThread->Start();
    }
    if (!FDirectWrite) {
        FWriteThread = std::make_unique<TVaCommWriteThread>(this, FBuffers.WriteSize());
        FWriteThread->SetPriority(FWritePriority);
        FWriteThread->SetSync(FSyncThreads);
        FWriteThread->Start();
    }
}

void TVaCustomComm::Close() {
    if (!Active())
        return;
    {
        std::lock_guard lock(FGlobalSection);
        StopThreads();
    }
    CloseHandle();
    if (!Destroying() && OnClose)
        OnClose(this);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

// Both threads are asked to stop before either is waited for, so bytes still queued
// when Close was called are dropped rather than sent during the wait.
void TVaCustomComm::StopThreads() {
    if (FEventThread)
        FEventThread->Stop();
    if (FWriteThread)
        FWriteThread->Stop();
    if (FEventThread) {
        FEventThread->WaitFor();
        FEventThread.reset();
    }
    if (FWriteThread) {
        FWriteThread->WaitFor();
        FWriteThread.reset();
    }
}

void TVaCustomComm::CloseHandle() {
    ::ioctl(FHandle, TIOCNXCL);
    ::flock(FHandle, LOCK_UN);
    ::close(FHandle);
    FHandle = -1;
}

void TVaCustomComm::RefuseWhileOpen() const {
    if (Active())
        throw EVaCommError(sPortOpen);
}

void TVaCustomComm::SetPortNum(TVaPortInt value) {
    RefuseWhileOpen();
    FPortNum = std::max(value, 0);
}

void TVaCustomComm::SetDeviceName(std::string value) {
    RefuseWhileOpen();
    FDeviceName = std::move(value);
}

void TVaCustomComm::SetMonitorEvents(TVaCommEvents value) {
    RefuseWhileOpen();
    FMonitorEvents = value;
}

void TVaCustomComm::SetDirectWrite(bool value) {
    RefuseWhileOpen();
    FDirectWrite = value;
}

void TVaCustomComm::SetUpdateDCB(bool value) {
    RefuseWhileOpen();
    FUpdateDCB = value;
}

// Stores a changed priority and gives it to the running thread, if any.
static void SetPriorityOf(TThreadPriority& field, TThreadPriority value, TVaThread* thread) {
    if (value == field)
        return;
    field = value;
    if (thread)
        thread->SetPriority(value);
}

void TVaCustomComm::SetEventPriority(TThreadPriority value) {
    SetPriorityOf(FEventPriority, value, FEventThread.get());
}

void TVaCustomComm::SetWritePriority(TThreadPriority value) {
    SetPriorityOf(FWritePriority, value, FWriteThread.get());
}

void TVaCustomComm::SetBaudrate(TVaBaudrate value) {
    if (value == FLine.Baudrate)
        return;
    FLine.Baudrate = value;
    if (value != brUser)
        FLine.UserBaudrate = 0;
    ApplyPortSettings();
}

void TVaCustomComm::SetUserBaudrate(std::int32_t value) {
    if (value == FLine.UserBaudrate)
        return;
    FLine.UserBaudrate = value;
    FLine.Baudrate = brUser;
    ApplyPortSettings();
}

template <class T> void TVaCustomComm::SetLineSetting(T& field, T value) {
    if (value == field)
        return;
    field = value;
    ApplyPortSettings();
}

void TVaCustomComm::SetParity(TVaParity value) {
    SetLineSetting(FLine.Parity, value);
}

void TVaCustomComm::SetDatabits(TVaDatabits value) {
    SetLineSetting(FLine.Databits, value);
}

void TVaCustomComm::SetStopbits(TVaStopbits value) {
    SetLineSetting(FLine.Stopbits, value);
}

void TVaCustomComm::SetOptions(TVaCommOptions value) {
    SetLineSetting(FLine.Options, value);
}

void TVaCustomComm::SetBuffers(const TVaBuffers& value) {
    RefuseWhileOpen();
    FBuffers.Assign(value);
}

// The new sizes stay stored and take effect at the next Open.
void TVaCustomComm::BuffersChanged() {
    RefuseWhileOpen();
}

TVaDCB TVaCustomComm::LineSettingsRecord() const {
    return BuildDCB(FLine, FFlowControl, FEventChars, FBuffers);
}

void TVaCustomComm::ApplyPortSettings() {
    if (!Active() || !FUpdateDCB)
        return;
    const TVaDCB dcb = LineSettingsRecord();
    termios t{};
    if (::tcgetattr(FHandle, &t) != 0)
        RaiseCommError(sErrorWritingDcb, errno);
    if (!DcbToTermios(dcb, t))
        RaiseCommError(sErrorWritingDcb, EINVAL);
    if (::tcsetattr(FHandle, TCSANOW, &t) != 0)
        RaiseCommError(sErrorWritingDcb, errno);
    if (StandardSpeed(dcb.BaudRate) == B0)
        if (const int error = SetExactSpeed(FHandle, dcb.BaudRate))
            RaiseCommError(sErrorWritingDcb, error);
    ApplyModemLines();
}

// DTR and RTS follow their control settings; under RTS/CTS handshake the driver
// drives RTS itself.
void TVaCustomComm::ApplyModemLines() {
    int set = 0;
    int clear = 0;
    (FFlowControl.ControlDtr() == dtrDisabled ? clear : set) |= TIOCM_DTR;
    switch (FFlowControl.ControlRts()) {
    case rtsEnabled:
        set |= TIOCM_RTS;
        break;
    case rtsHandshake:
        break;
    default:
        clear |= TIOCM_RTS;
    }
    for (auto [request, bits] : {std::pair{TIOCMBIS, set}, std::pair{TIOCMBIC, clear}})
        if (bits != 0 && ::ioctl(FHandle, request, &bits) != 0 && !NothingToReport(errno))
            RaiseCommError(sErrorWritingDcb, errno);
}

// ---------------------------------------------------------------------------------
// Reading

TVaCustomComm::TVaPull TVaCustomComm::PullInput() {
    std::lock_guard lock(FReadSection);
    TVaPull pull;
    std::uint8_t chunk[4096];
    while (FReceive->Free() > 0) {
        const std::size_t room = std::min<std::size_t>(sizeof chunk, FReceive->Free());
        const ssize_t n = ::read(FHandle, chunk, room);
        if (n > 0) {
            FReceive->Write(chunk, static_cast<int>(n));
            pull.Count += static_cast<int>(n);
            if (static_cast<std::size_t>(n) < room)
                break; // the driver had no more
        } else if (n == 0 || errno == EAGAIN) {
            break;
        } else if (errno != EINTR) {
            pull.HungUp = true;
            break;
        }
    }
    return pull;
}

bool TVaCustomComm::ReceiveRoom() {
    std::lock_guard lock(FReadSection);
    if (FReceive->Free() > 0)
        return true;
    FReceiveRoom.ResetEvent();
    return false;
}

bool TVaCustomComm::LineErrorsPending() {
    std::lock_guard lock(FReadSection);
    serial_icounter_struct c{};
    if (!FLineCounts || ::ioctl(FHandle, TIOCGICOUNT, &c) != 0)
        return false;
    return !(*FLineCounts == TVaLineCounts{c.frame, c.overrun, c.parity, c.brk, c.buf_overrun});
}

// The line errors since the last query, as CE_ flags; the query clears them.
std::uint32_t TVaCustomComm::TakeLineErrors() {
    std::lock_guard lock(FReadSection);
    serial_icounter_struct c{};
    if (!FLineCounts)
        return 0;
    if (::ioctl(FHandle, TIOCGICOUNT, &c) != 0) {
        if (NothingToReport(errno))
            return 0;
        RaiseCommError(sErrorStatistics, errno);
    }
    const TVaLineCounts now{c.frame, c.overrun, c.parity, c.brk, c.buf_overrun};
    const TVaLineCounts& last = *FLineCounts;
    std::uint32_t errors = 0;
    if (now.BufOverrun != last.BufOverrun)
        errors |= CE_RXOVER;
    if (now.Overrun != last.Overrun)
        errors |= CE_OVERRUN;
    if (now.Parity != last.Parity)
        errors |= CE_RXPARITY;
    if (now.Frame != last.Frame)
        errors |= CE_FRAME;
    if (now.Break != last.Break)
        errors |= CE_BREAK;
    FLineCounts = now;
    return errors;
}

TVaCommStatus TVaCustomComm::GetCommStatus() {
    TVaCommStatus status;
    if (!Active())
        return status;
    std::lock_guard lock(FGlobalSection);
    PullInput();
    status.Errors = TakeLineErrors();
    int outQueue = 0;
    if (::ioctl(FHandle, TIOCOUTQ, &outQueue) != 0 && !NothingToReport(errno))
        RaiseCommError(sErrorStatistics, errno);
    status.OutQue = static_cast<std::uint32_t>(std::max(outQueue, 0));
    std::lock_guard readLock(FReadSection);
    status.InQue = static_cast<std::uint32_t>(FReceive->Size());
    return status;
}

int TVaCustomComm::ReadBufUsed() {
    return static_cast<int>(GetCommStatus().InQue);
}

int TVaCustomComm::ReadBufFree() {
    return Active() ? FBuffers.ReadSize() - ReadBufUsed() : 0;
}

// Reads never wait: they take what the receive queue holds.
int TVaCustomComm::ReadBuf(void* Buf, int Count) {
    if (!Active() || Count <= 0)
        return 0;
    std::lock_guard lock(FGlobalSection);
    PullInput();
    std::lock_guard readLock(FReadSection);
    const int n = std::min(Count, FReceive->Size());
    FReceive->Read(Buf, n);
    FReceiveRoom.SetEvent();
    return n;
}

bool TVaCustomComm::ReadChar(std::uint8_t& Ch) {
    return ReadBuf(&Ch, 1) == 1;
}

std::string TVaCustomComm::ReadText() {
    const int waiting = ReadBufUsed();
    if (waiting <= 0)
        return {};
    std::string text(static_cast<std::size_t>(waiting), '\0');
    text.resize(static_cast<std::size_t>(ReadBuf(text.data(), waiting)));
    return text;
}

// ---------------------------------------------------------------------------------
// Writing

int TVaCustomComm::WriteBuf(const void* Buf, int Count) {
    if (!Active() || Count <= 0)
        return 0;
    if (FDirectWrite)
        return DirectWriteBuf(Buf, Count);
    if (!FWriteThread->WriteData(Buf, Count))
        throw EVaCommError(sOutputBufferFull);
    return Count;
}

// Writes at once, waiting up to WriteTimeout for the driver to take the bytes; returns
// how many it took.
int TVaCustomComm::DirectWriteBuf(const void* Buf, int Count) {
    using Clock = std::chrono::steady_clock;
    std::lock_guard lock(FWriteSection);
    const auto deadline = Clock::now() + std::chrono::milliseconds(FBuffers.WriteTimeout());
    const auto* bytes = static_cast<const std::uint8_t*>(Buf);
    int sent = 0;
    while (sent < Count) {
        const ssize_t n = ::write(FHandle, bytes + sent, static_cast<std::size_t>(Count - sent));
        if (n > 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            RaiseCommError(sWriteError, errno);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd port{FHandle, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&port, 1, static_cast<int>(left.count())) <= 0)
            break;
    }
    return sent;
}

bool TVaCustomComm::WriteText(const std::string& s) {
    const int count = static_cast<int>(s.size());
    return WriteBuf(s.data(), count) == count;
}

bool TVaCustomComm::WriteChar(std::uint8_t Ch) {
    return WriteBuf(&Ch, 1) == 1;
}

int TVaCustomComm::WriteBufUsed() {
    if (!Active())
        return 0;
    if (FWriteThread)
        return FWriteThread->Queued();
    return static_cast<int>(GetCommStatus().OutQue);
}

int TVaCustomComm::WriteBufFree() {
    return Active() ? FBuffers.WriteSize() - WriteBufUsed() : 0;
}

// ---------------------------------------------------------------------------------
// Purges

void TVaCustomComm::PurgeRead() {
    if (!Active())
        return;
    std::lock_guard lock(FGlobalSection);
    std::lock_guard readLock(FReadSection);
    if (::tcflush(FHandle, TCIFLUSH) != 0)
        RaiseCommError(sErrorClearBuffers, errno);
    FReceive->Clear();
    FReceiveRoom.SetEvent();
}

void TVaCustomComm::PurgeWrite() {
    if (!Active())
        return;
    std::lock_guard lock(FGlobalSection);
    if (FWriteThread)
        FWriteThread->PurgeWrite();
    if (::tcflush(FHandle, TCOFLUSH) != 0)
        RaiseCommError(sErrorClearBuffers, errno);
}

void TVaCustomComm::PurgeReadWrite() {
    PurgeWrite();
    PurgeRead();
}

// ---------------------------------------------------------------------------------
// Line and modem operations

void TVaCustomComm::ModemControl(unsigned long request, int bits) {
    if (Active() && ::ioctl(FHandle, request, &bits) != 0 && !NothingToReport(errno))
        RaiseCommError(sErrorCommFunction, errno);
}

void TVaCustomComm::SetDTR(bool value) {
    if (FFlowControl.ControlDtr() == dtrHandshake)
        throw EVaCommError(sDtrHandshake);
    ModemControl(value ? TIOCMBIS : TIOCMBIC, TIOCM_DTR);
}

void TVaCustomComm::SetRTS(bool value) {
    if (FFlowControl.ControlRts() == rtsHandshake || FFlowControl.ControlRts() == rtsToggle)
        throw EVaCommError(sRtsHandshake);
    ModemControl(value ? TIOCMBIS : TIOCMBIC, TIOCM_RTS);
}

void TVaCustomComm::SetBreak(bool value) {
    if (Active() && ::ioctl(FHandle, value ? TIOCSBRK : TIOCCBRK) != 0 && !NothingToReport(errno))
        RaiseCommError(sErrorCommFunction, errno);
}

void TVaCustomComm::SetXon(bool value) {
    if (Active() && ::tcflow(FHandle, value ? TCOON : TCOOFF) != 0 && !NothingToReport(errno))
        RaiseCommError(sErrorCommFunction, errno);
}

bool TVaCustomComm::ModemStatus(int bit) {
    int lines = 0;
    if (Active() && ::ioctl(FHandle, TIOCMGET, &lines) != 0) {
        if (NothingToReport(errno))
            return false;
        RaiseCommError(sErrorModemState, errno);
    }
    return (lines & bit) != 0;
}

bool TVaCustomComm::CTS() {
    return ModemStatus(TIOCM_CTS);
}
bool TVaCustomComm::DSR() {
    return ModemStatus(TIOCM_DSR);
}
bool TVaCustomComm::RING() {
    return ModemStatus(TIOCM_RNG);
}
bool TVaCustomComm::RLSD() {
    return ModemStatus(TIOCM_CAR);
}

// ---------------------------------------------------------------------------------
// Main-thread side of the event hand-over

void TVaCustomComm::HandleRxChar() {
    const int waiting = ReadBufUsed();
    if (waiting > 0 && OnRxChar)
        OnRxChar(this, static_cast<std::uint32_t>(waiting));
}

void TVaCustomComm::HandleCommEvents(std::uint32_t Mask) {
    if (Mask & EV_ERR)
        CheckLineErrors();
    const std::pair<std::uint32_t, std::function<void(QObject*)>*> events[] = {
        {EV_RXFLAG, &OnRxFlag}, {EV_CTS, &OnCts},      {EV_DSR, &OnDsr},
        {EV_RING, &OnRing},     {EV_RLSD, &OnRlsd},    {EV_TXEMPTY, &OnTxEmpty},
        {EV_BREAK, &OnBreak},   {EV_PERR, &OnPErr},    {EV_RX80FULL, &OnRx80Full},
        {EV_EVENT1, &OnEvent1}, {EV_EVENT2, &OnEvent2}};
    for (const auto& [bit, handler] : events)
        if ((Mask & bit) && *handler)
            (*handler)(this);
}

bool TVaCustomComm::CheckLineErrors() {
    bool found = false;
    try {
        const TVaCommStatus status = GetCommStatus();
        found = status.Errors != 0;
        if (found && OnError)
            OnError(this, status.Errors);
    } catch (...) {
        TVaHandOver::Instance().ShowException(std::current_exception());
    }
    return found;
}
