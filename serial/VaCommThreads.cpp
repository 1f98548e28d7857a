#include "serial/VaCommThreads.h"

#include "serial/VaCommHangUp.h"
#include "serial/VaCommReceiver.h"
#include "serial/VaTypes.h"

#include <algorithm>
#include <chrono>
#include <utility>

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

} // namespace

// A direct write's bytes have left the driver. The flag is cleared before the driver is
// asked, so a write made meanwhile sets it again and is reported in its turn.
bool TVaTransmitWatch::Drained(TVaLine& line) {
    FTransmitting.ResetEvent();
    int sending = 0;
    if (line.OutQueue(sending) == 0 && sending > 0) {
        FTransmitting.SetEvent();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------
// Event thread

TVaCommEventThread::TVaCommEventThread(TVaCommLink link)
    : TVaThread(link.Owner), FLink(std::move(link)) {}

void TVaCommEventThread::Stop() {
    Terminate();
    FEvent.SetEvent();
}

void TVaCommEventThread::Execute() {
    const bool reportsTransmit = (FLink.EventMask & EV_TXEMPTY) != 0;
    bool draining = false;
    while (!Terminated()) {
        if (FLink.HangUp.HungUp()) {
            // The device reports its hang-up again and again; only the stop is awaited.
            WaitForMultiple({&FEvent}, INFINITE);
            continue;
        }
        const bool room = FLink.Receiver.Room();
        TVaLineWait port{FLink.Line, TVaLineReady::Input};
        std::uint32_t timeout = FLink.Receiver.WatchesLine() ? LineWatchMs : INFINITE;
        if (draining)
            timeout = DrainPollMs;
        WaitForMultiple({&FEvent, &FLink.Receiver.EventsPending(),
                         reportsTransmit && !draining ? &FLink.Transmit.Event() : nullptr,
                         room ? nullptr : &FLink.Receiver.RoomMade()},
                        timeout, room ? &port : nullptr);
        if (Terminated())
            continue;
        std::uint32_t mask = FLink.Receiver.Collect(room);
        draining = reportsTransmit && FLink.Transmit.Pending();
        if (draining && FLink.Transmit.Drained(FLink.Line)) {
            mask |= EV_TXEMPTY;
            draining = false;
        }
        mask &= FLink.EventMask;
        if (mask != 0)
            Dispatch(mask);
        if (port.HungUp)
            FLink.HangUp.Note();
    }
}

void TVaCommEventThread::Dispatch(std::uint32_t mask) {
    if (Terminated())
        return;
    FEvtMask = mask;
    Synchronize([this] { FLink.Dispatch(FEvtMask); });
}

// ---------------------------------------------------------------------------------
// Write thread

TVaCommWriteThread::TVaCommWriteThread(TVaCommLink link, int size)
    : TVaThread(link.Owner), FBuffer(size), FOutput(static_cast<std::size_t>(FBuffer.Capacity())),
      FLink(std::move(link)) {}

void TVaCommWriteThread::Stop() {
    FCloseEvent.SetEvent();
}

bool TVaCommWriteThread::WriteData(const void* Buf, int Count, int timeoutMs, bool reportEmpty) {
    // Stored before the bytes are handed over with the queue.
    FReportEmpty.store(reportEmpty, std::memory_order_relaxed);
    if (Append(Buf, Count) || AwaitRoom(Buf, Count))
        return true;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || FLink.HangUp.HungUp())
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
    TVaEvent* const writable = FLink.HangUp.HungUp() ? nullptr : &FWriteEvent;
    if (writable && writable->Signaled() && !FCloseEvent.Signaled() && !FFlushEvent.Signaled())
        return 2;
    return WaitForMultiple({&FCloseEvent, &FFlushEvent, writable},
                           FDraining ? DrainPollMs : INFINITE);
}

void TVaCommWriteThread::WriteQueued() {
    AwaitRun();
    const int count = FBuffer.Peek(FOutput.data());
    const TVaIoResult written =
        count > 0 ? FLink.Line.Write(FOutput.data(), static_cast<std::size_t>(count))
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
        FLink.HangUp.Note();
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
    TVaLineWait port{FLink.Line, TVaLineReady::Output};
    switch (WaitForMultiple({&FCloseEvent, &FFlushEvent}, INFINITE, &port)) {
    case 0:
        Terminate();
        break;
    case 1:
        AcknowledgeFlush();
        break;
    case 2:
        if (port.HungUp)
            FLink.HangUp.Note();
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
    if (FLink.Line.OutQueue(sending) == 0 && sending > 0)
        return;
    FDraining = false;
    Synchronize([this] { FLink.Dispatch(EV_TXEMPTY); }, this);
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
    Synchronize([this] { FLink.Dispatch(EV_ERR); });
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
