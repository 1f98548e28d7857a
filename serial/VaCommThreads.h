#pragma once
// The port's two worker threads. The event thread waits for received bytes, line changes
// and a drained transmit queue; the write thread drains the write queue. Neither sees the
// component: they are given its line, receiver, hang-up latch and a way to run a batch of
// handlers (TVaCommLink).
#include "serial/VaClasses.h"
#include "serial/VaCommQueues.h"
#include "serial/VaLine.h"
#include "serial/VaObjects.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class TVaCommReceiver;
class TVaHangUpLatch;

// Direct writes: set while a write's bytes may still be in the driver, so that the event
// thread can report when they have left.
class TVaTransmitWatch {
public:
    void Reset() { FTransmitting.ResetEvent(); }
    void Sent() { FTransmitting.SetEvent(); }
    bool Pending() const { return FTransmitting.Signaled(); }
    TVaEvent& Event() { return FTransmitting; }
    // Whether the driver has sent everything; a write made meanwhile sets Pending again.
    bool Drained(TVaLine& line);

private:
    TVaWaitEvent FTransmitting;
};

// What the threads are given of the open component.
struct TVaCommLink {
    const void* Owner; // the component, as TVaThread::CurrentOwner tells it
    TVaLine& Line;
    int Handle; // the open line's descriptor
    TVaCommReceiver& Receiver;
    TVaHangUpLatch& HangUp;
    TVaTransmitWatch& Transmit;
    std::uint32_t EventMask; // the driver events the component reports
    // Runs the handlers of a batch of events, on whichever thread the hand-over chose.
    std::function<void(std::uint32_t mask)> Dispatch;
};

// Waits for received bytes, line errors, modem-line changes and a drained transmit
// queue together with its stop request, and hands each batch to the main thread.
class TVaCommEventThread : public TVaThread {
public:
    explicit TVaCommEventThread(TVaCommLink link);
    void Stop();

protected:
    void Execute() override;

private:
    void Dispatch(std::uint32_t mask);

    std::uint32_t FEvtMask = 0;
    TVaWaitEvent FEvent; // stop request
    const TVaCommLink FLink;
};

// Sends whatever the main thread has queued, everything queued in one write per turn,
// and reports when the last queued byte has left the driver.
class TVaCommWriteThread : public TVaThread {
public:
    TVaCommWriteThread(TVaCommLink link, int size);
    void Stop();
    // Main thread: waits up to timeoutMs for room; reportEmpty tells whether a handler is
    // set for the queue-empty report.
    bool WriteData(const void* Buf, int Count, int timeoutMs, bool reportEmpty);
    void PurgeWrite();
    int Queued();

protected:
    void Execute() override;

private:
    bool Append(const void* Buf, int Count);
    bool AwaitRoom(const void* Buf, int Count);
    void WriteQueued();
    void AwaitRun();
    void WaitWritable();
    int NextTurn();
    void WriteDone(int count);
    void StopUnlessQueued(int left);
    void WriteFailed(int remaining);
    void ReportWhenDrained();
    bool TakeLateBytes();
    bool WithdrawFlush();
    void AcknowledgeFlush();

    TVaWriteQueue FBuffer;
    std::vector<std::uint8_t> FOutput; // the bytes of the write in progress
    TVaWaitEvent FWriteEvent;          // set while bytes are queued
    TVaWaitEvent FCloseEvent;
    TVaWaitEvent FFlushEvent;
    TVaWaitEvent FFlushDoneEvent;
    std::mutex FFlushLock;                  // a flush is acknowledged or taken back, not both
    TVaWaitEvent FRoomEvent;                // set when bytes left the queue
    bool FDraining = false;                 // the queue ran empty and is not reported yet
    std::atomic<bool> FReportEmpty = false; // OnTxEmpty was set when bytes were last queued
    const TVaCommLink FLink;
};
