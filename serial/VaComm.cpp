#include "serial/VaComm.h"

#include "serial/ComPortPaths.h"
#include "serial/VaCommReceiver.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>

namespace {

// How often the event thread looks at a line's counters and modem lines, and at a
// driver that is still sending: a Linux tty cannot be waited on for either.
constexpr std::uint32_t LineWatchMs = 20;
constexpr std::uint32_t DrainPollMs = 5;
// How long the write thread waits for a run of bytes still being queued: at most, and
// without a new byte.
constexpr std::chrono::microseconds RunWait(100);
constexpr std::chrono::nanoseconds RunGap(1000);
// How long the main thread waits awake for room in a full queue before it sleeps.
constexpr std::chrono::microseconds RoomWait(20);
// One step of a short wait awake: tells the processor that this is a spin.
inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// How soon a writer waiting for room in the queue notices that the line hung up.
constexpr std::int64_t HungUpCheckMs = 50;

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

} // namespace

// The main thread's watch on the port for received bytes: runs its handler for every
// activation, so that an error raised there reaches the event loop as from any handler.
class TRxWatch : public QSocketNotifier {
public:
    TRxWatch(int fd, std::function<void()> activated)
        : QSocketNotifier(fd, QSocketNotifier::Read), FActivated(std::move(activated)) {}

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::SockAct)
            return QSocketNotifier::event(e);
        FActivated();
        return true;
    }

private:
    std::function<void()> FActivated;
};

namespace {

QEvent::Type HangUpEventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class THangUpEvent : public QEvent {
public:
    explicit THangUpEvent(unsigned generation)
        : QEvent(HangUpEventType()), Generation(generation) {}
    const unsigned Generation;
};

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

// ---------------------------------------------------------------------------------
// Event thread

TVaCommEventThread::TVaCommEventThread(TVaCustomComm* owner) : TVaThread(owner), FOwner(owner) {}

void TVaCommEventThread::Stop() {
    Terminate();
    FEvent.SetEvent();
}

void TVaCommEventThread::Execute() {
    const bool reportsTransmit = (FOwner->FEventMask & EV_TXEMPTY) != 0;
    bool draining = false;
    while (!Terminated()) {
        if (FOwner->HungUp()) {
            // The device reports its hang-up again and again; only the stop is awaited.
            WaitForMultiple({&FEvent}, INFINITE);
            continue;
        }
        const bool room = FOwner->FReceiver->Room();
        pollfd port{FOwner->Handle(), POLLIN, 0};
        std::uint32_t timeout = FOwner->FReceiver->WatchesLine() ? LineWatchMs : INFINITE;
        if (draining)
            timeout = DrainPollMs;
        WaitForMultiple({&FEvent, &FOwner->FReceiver->EventsPending(),
                         reportsTransmit && !draining ? &FOwner->FTransmitting : nullptr,
                         room ? nullptr : &FOwner->FReceiver->RoomMade()},
                        timeout, room ? &port : nullptr);
        if (Terminated())
            continue;
        std::uint32_t mask = FOwner->FReceiver->Collect(room);
        draining = reportsTransmit && FOwner->FTransmitting.Signaled();
        if (draining && FOwner->TransmitDrained()) {
            mask |= EV_TXEMPTY;
            draining = false;
        }
        mask &= FOwner->FEventMask;
        if (mask != 0)
            Dispatch(mask);
        if (port.revents & (POLLHUP | POLLERR | POLLNVAL))
            FOwner->NoteHangUp();
    }
}

void TVaCommEventThread::Dispatch(std::uint32_t mask) {
    if (Terminated())
        return;
    FEvtMask = mask;
    Synchronize([this] { DispatchEvents(); });
}

void TVaCommEventThread::DispatchEvents() {
    FOwner->DispatchBatch(FEvtMask);
}

// ---------------------------------------------------------------------------------
// Write thread

TVaCommWriteThread::TVaCommWriteThread(TVaCustomComm* owner, int size)
    : TVaThread(owner), FBuffer(size), FOutput(static_cast<std::size_t>(FBuffer.Capacity())),
      FOwner(owner) {}

void TVaCommWriteThread::Stop() {
    FCloseEvent.SetEvent();
}

bool TVaCommWriteThread::WriteData(const void* Buf, int Count) {
    // Read here, on the main thread, before the bytes are handed over with the queue.
    FReportEmpty.store(static_cast<bool>(FOwner->OnTxEmpty), std::memory_order_relaxed);
    if (Append(Buf, Count) || AwaitRoom(Buf, Count))
        return true;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(FOwner->FBuffers.WriteTimeout());
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || FOwner->HungUp())
            return false;
        // A queue-empty report that the main thread has not run yet is out of date now,
        // and the write thread waiting for it could never make room.
        HandOver().Withdraw(this);
        FRoomEvent.WaitFor(
            static_cast<std::uint32_t>(std::min<std::int64_t>(left.count(), HungUpCheckMs)));
        if (Append(Buf, Count))
            return true;
    }
}

// A write thread busy on another processor makes room within microseconds: looking again
// awake for that long spares both threads a sleep and a wake-up.
bool TVaCommWriteThread::AwaitRoom(const void* Buf, int Count) {
    using Clock = std::chrono::steady_clock;
    const auto limit = Clock::now() + RoomWait;
    while (Clock::now() < limit) {
        for (int i = 0; i < 16; ++i)
            CpuRelax();
        if (FBuffer.Capacity() - Queued() >= Count)
            return Append(Buf, Count);
    }
    return false;
}

// Queues the bytes when they fit; otherwise arms the wait for room. FWriteEvent is set
// only when found reset; a write thread resetting it at that moment looks at the queue
// again afterwards (StopUnlessQueued).
bool TVaCommWriteThread::Append(const void* Buf, int Count) {
    if (!FBuffer.Append(Buf, Count)) {
        FRoomEvent.ResetEvent();
        if (!FBuffer.Append(Buf, Count)) // room made between the two looks
            return false;
    }
    FWriteEvent.SetEvent();
    return true;
}

// The write thread empties the queue when it acknowledges, so that no turn of its own
// can send queued bytes between the acknowledgement and the purge. It may itself be
// waiting for the main thread (its queue-empty report), so the wait keeps running
// hand-overs. Without an acknowledgement in time the request is taken back and the
// queue stays as it is, also for the bytes queued after this returns.
void TVaCommWriteThread::PurgeWrite() {
    FFlushDoneEvent.ResetEvent();
    FFlushEvent.SetEvent();
    const auto acknowledged = [this] { return FFlushDoneEvent.Signaled(); };
    if (HandOver().RunPendingUntil(acknowledged, std::chrono::milliseconds(2000)) ||
        !WithdrawFlush())
        TakeLateBytes(); // queued by a hand-over run meanwhile, after the queue was emptied
}

// False when the write thread acknowledged the request after all, before it was taken back.
bool TVaCommWriteThread::WithdrawFlush() {
    std::lock_guard lock(FFlushLock);
    if (FFlushDoneEvent.Signaled())
        return false;
    FFlushEvent.ResetEvent();
    return true;
}

int TVaCommWriteThread::Queued() {
    return FBuffer.Size();
}

void TVaCommWriteThread::Execute() {
    while (!Terminated()) {
        switch (NextTurn()) {
        case 0:
            Terminate();
            break;
        case 1:
            AcknowledgeFlush();
            break;
        case 2:
            WriteQueued();
            break;
        case wmTimeout:
            ReportWhenDrained();
            break;
        }
    }
}

// The first of stop request, flush request and queued bytes; while the queue is empty
// and not yet reported, nothing for a poll interval. Bytes queued while the last write
// was under way are taken without another wait. After a hang-up nothing can be sent;
// flushes are still acknowledged.
int TVaCommWriteThread::NextTurn() {
    TVaEvent* const writable = FOwner->HungUp() ? nullptr : &FWriteEvent;
    if (writable && writable->Signaled() && !FCloseEvent.Signaled() && !FFlushEvent.Signaled())
        return 2;
    return WaitForMultiple({&FCloseEvent, &FFlushEvent, writable},
                           FDraining ? DrainPollMs : INFINITE);
}

void TVaCommWriteThread::WriteQueued() {
    AwaitRun();
    const int count = FBuffer.Peek(FOutput.data());
    const TVaIoResult written =
        count > 0 ? FOwner->FDevice->Write(FOutput.data(), static_cast<std::size_t>(count))
                  : TVaIoResult{};
    switch (written.Status()) {
    case TVaIoStatus::Done:
        if (static_cast<int>(written.Count) == count) {
            WriteDone(count);
            break;
        }
        if (written.Count > 0)
            WriteDone(static_cast<int>(written.Count));
        WaitWritable();
        break;
    case TVaIoStatus::Waiting:
        WaitWritable();
        break;
    case TVaIoStatus::HungUp:
        FOwner->NoteHangUp();
        break;
    case TVaIoStatus::Failed:
        WriteFailed(count);
        break;
    }
}

// A main thread queueing a run byte by byte adds a byte every few nanoseconds. While the
// queue keeps growing, the thread waits awake for the run to end (up to half the queue
// or a short limit), so that the run leaves in one write. A main thread that shares this
// thread's processor cannot add bytes meanwhile, and the wait ends after one look.
void TVaCommWriteThread::AwaitRun() {
    using Clock = std::chrono::steady_clock;
    const auto limit = Clock::now() + RunWait;
    for (int size = Queued();;) {
        const auto look = Clock::now() + RunGap;
        while (Clock::now() < look)
            CpuRelax();
        const int now = Queued();
        if (now == size || now >= FBuffer.Capacity() / 2 || Clock::now() > limit ||
            FCloseEvent.Signaled() || FFlushEvent.Signaled())
            return;
        size = now;
    }
}

// The rest of a write waits for room in the driver, a flush or a stop. A flush drops the
// rest with the queue; nothing of this write is counted afterwards.
void TVaCommWriteThread::WaitWritable() {
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
            FOwner->NoteHangUp();
        break;
    }
}

// An emptied queue is reported a poll interval later (ReportWhenDrained), so that a
// main thread writing turn after turn, with its next bytes due within microseconds,
// has its run of writes reported once, when it ends, rather than waiting for the main
// thread after every turn.
void TVaCommWriteThread::WriteDone(int count) {
    FBuffer.Remove(count);
    FRoomEvent.SetEvent();
    if (Queued() > 0)
        return;
    // Only a handler set when the bytes were queued can see the report. Without one,
    // the wait for the driver and the hand-over would cost a wake-up of both threads
    // for every frame and show nothing.
    FDraining = FReportEmpty.load(std::memory_order_relaxed);
    StopUnlessQueued(0);
}

// Resets FWriteEvent unless more than left bytes are queued. The queue is looked at again
// after the reset: a byte queued in between has seen the event still set.
void TVaCommWriteThread::StopUnlessQueued(int left) {
    FWriteEvent.ResetEvent();
    if (Queued() > left)
        FWriteEvent.SetEvent();
}

// The queue-empty report waits until the driver has sent the last byte too.
void TVaCommWriteThread::ReportWhenDrained() {
    if (TakeLateBytes())
        return;
    int sending = 0;
    if (FOwner->FDevice->OutQueue(sending) == 0 && sending > 0)
        return;
    FDraining = false;
    Synchronize([this] { FOwner->DispatchBatch(EV_TXEMPTY); }, this);
    TakeLateBytes();
}

// Bytes queued after the queue was found empty are written on the next turn.
bool TVaCommWriteThread::TakeLateBytes() {
    if (Queued() == 0)
        return false;
    FWriteEvent.SetEvent();
    return true;
}

// A failed write is reported as a line error and retried when the next byte is queued
// (or the thread is stopped). Retrying at once would spin on a device that went away.
void TVaCommWriteThread::WriteFailed(int remaining) {
    StopUnlessQueued(remaining);
    Synchronize([this] { FOwner->DispatchBatch(EV_ERR); });
    if (Queued() > remaining)
        FWriteEvent.SetEvent();
}

// A request that PurgeWrite has taken back meanwhile leaves the queue alone.
void TVaCommWriteThread::AcknowledgeFlush() {
    {
        std::lock_guard lock(FFlushLock);
        if (!FFlushEvent.Signaled())
            return;
        FBuffer.Clear();
        StopUnlessQueued(0);
        FDraining = false;
        FRoomEvent.SetEvent();
        FFlushEvent.ResetEvent();
        FFlushDoneEvent.SetEvent();
    }
    HandOver().Notify();
}

// ---------------------------------------------------------------------------------
// Component

TVaCustomComm::TVaCustomComm(QObject* owner)
    : TVaCustomComm(owner, std::make_unique<TVaTermiosLine>()) {}

TVaCustomComm::TVaCustomComm(QObject* owner, std::unique_ptr<TVaLine> line)
    : TVaComponent(owner), FDevice(std::move(line)),
      FReceiver(std::make_unique<TVaCommReceiver>(*FDevice, [this] { NoteHangUp(); })) {
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
        FDeferred = 0;
        FTransmitting.ResetEvent();
        FHungUp = false;
        FHangUpDeferred = false;
        ++FGeneration;
        ApplyEventMask();
        FReceiver->Start(FBuffers.ReadSize(), FEventMask);
        CreateThreads();
        StartRxWatch();
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
    if (const int error = FDevice->Open(path))
        RaiseOpenError(path, error);
    FHandle = FDevice->Handle();
    FOpenPath = path;
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
    if (InOwnHandler())
        throw EVaCommError(sCloseInHandler);
    Shut();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

// A handler that one of the port's threads handed over to the main thread, or, without
// the hand-over, one that runs on that thread: Close there would wait for itself.
bool TVaCustomComm::InOwnHandler() const {
    if (const void* owner = TVaThread::CurrentOwner())
        return owner == this;
    return FHandlers > 0;
}

void TVaCustomComm::Shut() {
    FRxWatch.reset();
    StopThreads();
    CloseHandle();
    if (!Destroying() && OnClose)
        OnClose(this);
}

// Both threads are asked to stop before either is waited for, so bytes still queued
// when Close was called are dropped rather than sent during the wait. The wait itself
// holds no lock: without the hand-over, a handler still running on a thread may read.
void TVaCustomComm::StopThreads() {
    {
        std::lock_guard lock(FGlobalSection);
        if (FEventThread)
            FEventThread->Stop();
        if (FWriteThread)
            FWriteThread->Stop();
    }
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
    FDevice->Close();
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
    FReceiver->SetEventChar(FEventChars.EventChar());
    if (!Active() || !FUpdateDCB)
        return;
    if (const int error = FDevice->ApplySettings(LineSettingsRecord()))
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
    for (auto [bits, on] : {std::pair{set, true}, std::pair{clear, false}})
        if (bits != 0)
            if (const int error = FDevice->SetModemLines(bits, on);
                error && !NothingToReport(error))
                RaiseCommError(sErrorWritingDcb, error);
}

// A direct write's bytes have left the driver. The flag is cleared before the driver is
// asked, so a write made meanwhile sets it again and is reported in its turn.
bool TVaCustomComm::TransmitDrained() {
    FTransmitting.ResetEvent();
    int sending = 0;
    if (FDevice->OutQueue(sending) == 0 && sending > 0) {
        FTransmitting.SetEvent();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------
// Status and reading

int TVaCustomComm::QueueCount(int (TVaLine::*query)(int&)) {
    int count = 0;
    if (const int error = (FDevice.get()->*query)(count)) {
        if (NothingToReport(error))
            return 0;
        RaiseCommError(sErrorStatistics, error);
    }
    return std::max(count, 0);
}

TVaCommStatus TVaCustomComm::GetCommStatus() {
    TVaCommStatus status;
    if (!Active())
        return status;
    std::lock_guard lock(FGlobalSection);
    FReceiver->ReportLater(FReceiver->Pull());
    status.Errors = FReceiver->TakeErrors();
    if (const int error = FDevice->HoldFlags(status.Flags); error && !NothingToReport(error))
        RaiseCommError(sErrorStatistics, error);
    status.OutQue = static_cast<std::uint32_t>(QueueCount(&TVaLine::OutQueue));
    status.InQue = static_cast<std::uint32_t>(FReceiver->Count());
    return status;
}

int TVaCustomComm::ReadBufUsed() {
    if (!Active())
        return 0;
    std::lock_guard lock(FGlobalSection);
    FReceiver->ReportLater(FReceiver->Pull());
    return FReceiver->Count();
}

int TVaCustomComm::ReadBufFree() {
    return Active() ? FBuffers.ReadSize() - ReadBufUsed() : 0;
}

int TVaCustomComm::UARTReadBufUsed() {
    return Active() ? QueueCount(&TVaLine::InQueue) : 0;
}

int TVaCustomComm::UARTWriteBufUsed() {
    return Active() ? QueueCount(&TVaLine::OutQueue) : 0;
}

// Reads never wait: they take what the receive queue holds.
int TVaCustomComm::ReadBuf(void* Buf, int Count) {
    if (!Active() || Count <= 0)
        return 0;
    std::lock_guard lock(FGlobalSection);
    const int n = FReceiver->Take(Buf, Count, FReceiver->Pull());
    ResumeRxWatch();
    return n;
}

bool TVaCustomComm::ReadChar(std::uint8_t& Ch) {
    return ReadBuf(&Ch, 1) == 1;
}

// Everything waiting, with one look at the driver: a received-character handler calls
// this for every batch.
std::string TVaCustomComm::ReadText() {
    if (!Active())
        return {};
    std::lock_guard lock(FGlobalSection);
    FReceiver->Pull();
    std::string text = FReceiver->TakeAll();
    if (!text.empty())
        ResumeRxWatch();
    return text;
}

// ---------------------------------------------------------------------------------
// Writing

// A hung-up port takes nothing: it closes itself as soon as the main thread gets to it.
int TVaCustomComm::WriteBuf(const void* Buf, int Count) {
    if (!Active() || Count <= 0 || HungUp())
        return 0;
    if (FDirectWrite)
        return DirectWriteBuf(Buf, Count);
    if (FWriteThread->WriteData(Buf, Count))
        return Count;
    if (HungUp())
        return 0;
    throw EVaCommError(sOutputBufferFull);
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
        const TVaIoResult written =
            FDevice->Write(bytes + sent, static_cast<std::size_t>(Count - sent));
        if (written.Count > 0) {
            sent += static_cast<int>(written.Count);
            continue;
        }
        if (written.Status() == TVaIoStatus::HungUp) {
            NoteHangUp();
            break;
        }
        if (written.Status() == TVaIoStatus::Failed)
            RaiseCommError(sWriteError, written.Error);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd port{FHandle, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&port, 1, static_cast<int>(left.count())) <= 0)
            break;
    }
    if (sent > 0)
        FTransmitting.SetEvent();
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
    return QueueCount(&TVaLine::OutQueue);
}

int TVaCustomComm::WriteBufFree() {
    return Active() ? FBuffers.WriteSize() - WriteBufUsed() : 0;
}

// ---------------------------------------------------------------------------------
// Purges

void TVaCustomComm::PurgeRead() {
    Purge(purgeRead);
}

void TVaCustomComm::PurgeWrite() {
    Purge(purgeWrite);
}

void TVaCustomComm::PurgeReadWrite() {
    Purge(purgeRead | purgeWrite);
}

// One flush of the driver for every queue named, after the write queue was emptied.
void TVaCustomComm::Purge(int queues) {
    if (!Active())
        return;
    std::lock_guard lock(FGlobalSection);
    if ((queues & purgeWrite) && FWriteThread)
        FWriteThread->PurgeWrite();
    const int flush = queues == purgeRead ? TCIFLUSH : queues == purgeWrite ? TCOFLUSH : TCIOFLUSH;
    if (const int error = FReceiver->Flush(flush, queues & purgeRead))
        RaiseCommError(sErrorClearBuffers, error);
    if (queues & purgeRead)
        ResumeRxWatch();
}

// ---------------------------------------------------------------------------------
// Line and modem operations

void TVaCustomComm::LineControl(int error) {
    if (error && !NothingToReport(error))
        RaiseCommError(sErrorCommFunction, error);
}

void TVaCustomComm::SetDTR(bool value) {
    if (FFlowControl.ControlDtr() == dtrHandshake)
        throw EVaCommError(sDtrHandshake);
    if (Active())
        LineControl(FDevice->SetModemLines(TIOCM_DTR, value));
}

void TVaCustomComm::SetRTS(bool value) {
    if (FFlowControl.ControlRts() == rtsHandshake || FFlowControl.ControlRts() == rtsToggle)
        throw EVaCommError(sRtsHandshake);
    if (Active())
        LineControl(FDevice->SetModemLines(TIOCM_RTS, value));
}

void TVaCustomComm::SetBreak(bool value) {
    if (Active())
        LineControl(FDevice->SetBreak(value));
}

void TVaCustomComm::SetXon(bool value) {
    if (Active())
        LineControl(FDevice->SetXon(value));
}

void TVaCustomComm::ResetDev() {
    if (Active())
        LineControl(FDevice->ResetDev());
}

TVaCommProp TVaCustomComm::Properties() {
    if (!Active())
        throw EVaCommError(sPortClosed);
    TVaCommProp prop;
    if (const int error = FDevice->Properties(prop))
        RaiseCommError(sErrorProperties, error);
    prop.CurrentRxQueue = static_cast<std::uint32_t>(FReceiver->Capacity());
    prop.CurrentTxQueue = static_cast<std::uint32_t>(FBuffers.WriteSize());
    return prop;
}

bool TVaCustomComm::ModemStatus(int bit) {
    int lines = 0;
    if (!Active())
        return false;
    if (const int error = FDevice->ModemLines(lines)) {
        if (NothingToReport(error))
            return false;
        RaiseCommError(sErrorModemState, error);
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

// Read without GetCommStatus, which would clear the line error flags that OnError is owed.
bool TVaCustomComm::HoldFlag(std::uint32_t bit) {
    std::uint32_t flags = 0;
    if (!Active())
        return false;
    if (const int error = FDevice->HoldFlags(flags)) {
        if (NothingToReport(error))
            return false;
        RaiseCommError(sErrorStatistics, error);
    }
    return (flags & bit) != 0;
}

bool TVaCustomComm::CTSHold() {
    return HoldFlag(HOLD_CTS);
}
bool TVaCustomComm::DSRHold() {
    return HoldFlag(HOLD_DSR);
}
bool TVaCustomComm::RLSDHold() {
    return HoldFlag(HOLD_RLSD);
}
bool TVaCustomComm::XOffHold() {
    return HoldFlag(HOLD_XOFF);
}
bool TVaCustomComm::XOffSent() {
    return HoldFlag(XOFF_SENT);
}

// ---------------------------------------------------------------------------------
// Main-thread side of the event hand-over

TVaCustomComm::THandlerScope::THandlerScope(TVaCustomComm& comm) : FComm(comm) {
    ++FComm.FHandlers;
}

// A hang-up noticed while a handler ran is acted on once the last one has returned, and
// the watch for received bytes paused meanwhile goes on.
TVaCustomComm::THandlerScope::~THandlerScope() {
    if (--FComm.FHandlers != 0)
        return;
    if (FComm.FHangUpDeferred.exchange(false))
        FComm.PostHangUp();
    FComm.ResumeRxWatch();
}

// A batch of events, from either thread's hand-over or from the main thread's own watch.
// On the main thread, a batch that comes while the handlers of another run a nested event
// loop waits for them to return, so that handlers never nest and keep their order.
// Without the hand-over each thread runs its own batches.
void TVaCustomComm::DispatchBatch(std::uint32_t mask) {
    if (!OnMainThread()) {
        RunBatch(mask);
        return;
    }
    FDeferred |= mask;
    if (FDispatching)
        return;
    THandlerScope scope(*this);
    FDispatching = true;
    const std::unique_ptr<bool, void (*)(bool*)> done(&FDispatching, [](bool* d) { *d = false; });
    while (FDeferred != 0)
        RunBatch(std::exchange(FDeferred, 0));
}

void TVaCustomComm::RunBatch(std::uint32_t mask) {
    if (mask & EV_RXCHAR)
        HandleRxChar();
    if (mask & ~EV_RXCHAR)
        HandleCommEvents(mask & ~EV_RXCHAR);
}

bool TVaCustomComm::OnMainThread() const {
    return QThread::currentThread() == thread();
}

// Bytes that an earlier OnRxChar was told of raise no new one by themselves. The bytes
// taken in here are reported at once, so the event thread is not told of them.
void TVaCustomComm::HandleRxChar() {
    int waiting = 0;
    if (Active()) {
        std::lock_guard lock(FGlobalSection);
        FReceiver->Pull();
        waiting = FReceiver->Count();
    }
    if (FReceiver->TakeUnreported() && waiting > 0 && OnRxChar)
        OnRxChar(this, static_cast<std::uint32_t>(waiting));
}

// ---------------------------------------------------------------------------------
// The main thread's watch for received bytes
//
// While the main thread waits in its event loop, it watches the port itself and takes
// bytes the moment they arrive, rather than a hand-over later when the event thread has
// woken and woken it in turn. The event thread waits on the port as ever and delivers
// whatever the main thread does not get to first: while it is busy, while a handler
// runs, and every other event.

void TVaCustomComm::StartRxWatch() {
    if (!FSyncThreads || !(FEventMask & EV_RXCHAR) || !FEventThread)
        return;
    FRxWatch = std::make_unique<TRxWatch>(FHandle, [this] { RxWatchActivated(); });
}

void TVaCustomComm::RxWatchActivated() {
    const std::uint64_t arrived = FReceiver->Arrived();
    DispatchBatch(EV_RXCHAR);
    if (FReceiver->Arrived() == arrived && FRxWatch)
        PauseRxWatchIfStuck();
}

// Readable, yet nothing came in: a handler is running (its nested event loop must not
// spin on the port), the receive queue is full, or the input ended. The event thread
// sees to those; the watch goes on once a handler has returned or room was made.
void TVaCustomComm::PauseRxWatchIfStuck() {
    pollfd port{FHandle, POLLIN, 0};
    if (::poll(&port, 1, 0) <= 0)
        return; // the event thread took the bytes
    if (port.revents & (POLLHUP | POLLERR | POLLNVAL))
        NoteHangUp();
    FRxWatch->setEnabled(false);
}

// Without the hand-over, bytes are also taken on the port's threads: the watch is the
// main thread's alone.
void TVaCustomComm::ResumeRxWatch() {
    if (!OnMainThread() || !FRxWatch || FRxWatch->isEnabled() || HungUp())
        return;
    if (FReceiver->HasRoom())
        FRxWatch->setEnabled(true);
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

// ---------------------------------------------------------------------------------
// Hang-up

// Either thread (or the main thread) may find the device gone; the first to do so asks
// the main thread to close the port. Nothing is waited for here.
void TVaCustomComm::NoteHangUp() {
    if (!FHungUp.exchange(true))
        PostHangUp();
}

// The event is made under FPostLock and read under it in event(), so that a thread
// sanitizer sees the order that Qt's own queue lock provides.
void TVaCustomComm::PostHangUp() {
    QEvent* hangUp;
    {
        std::lock_guard lock(FPostLock);
        hangUp = new THangUpEvent(FGeneration);
    }
    QCoreApplication::postEvent(this, hangUp);
}

bool TVaCustomComm::event(QEvent* e) {
    std::optional<unsigned> generation;
    {
        std::lock_guard lock(FPostLock);
        if (e->type() == HangUpEventType())
            generation = static_cast<THangUpEvent*>(e)->Generation;
    }
    if (!generation)
        return TVaComponent::event(e);
    CloseAfterHangUp(*generation);
    return true;
}

// Runs from the event loop, never inside a wait: threads stopped, queues dropped, device
// released, OnClose raised, then one error naming the device. No closing pause: the
// operator chose nothing, and the program's ticks must go on.
void TVaCustomComm::CloseAfterHangUp(unsigned generation) {
    if (!Active() || !FHungUp || generation != FGeneration)
        return; // closed, or opened again, since
    if (FHandlers > 0) {
        FHangUpDeferred = true;
        return;
    }
    const std::string path = FOpenPath;
    Shut();
    if (OnHangUp)
        OnHangUp(this);
    throw DisconnectedError(path);
}
