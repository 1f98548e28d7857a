#pragma once
// The port's receiver: the receive queue, the line watch (counters or modem lines), and
// the events both raise until the event thread takes them. The event thread and the main
// thread both pull the driver's input into the queue, under the receiver's lock.
#include "serial/VaCommQueues.h"
#include "serial/VaLine.h"
#include "serial/VaObjects.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TVaCommReceiver {
public:
    // hungUp runs, on the pulling thread, when a pull finds the device gone.
    TVaCommReceiver(TVaLine& line, std::function<void()> hungUp);

    // At every open: an empty queue of capacity bytes, nothing pending, and what the line
    // shows now as the point from which its changes count.
    void Start(int capacity, std::uint32_t eventMask);
    // The character whose arrival raises EV_RXFLAG; any thread.
    void SetEventChar(std::uint8_t value) { FEvtChar = value; }

    // What a pull of the driver's input found.
    struct TPull {
        int Count = 0;       // bytes moved into the receive queue
        bool HungUp = false; // the device went away
    };
    TPull Pull();

    // The event thread's side.
    bool Room(); // false, with RoomMade reset, while the queue is full
    bool WatchesLine() const { return FWatchLine; }
    TVaEvent& EventsPending() { return FEventsPending; }
    TVaEvent& RoomMade() { return FReceiveRoom; }
    // Pulls (when there is room), looks at the line, and takes the pending events.
    std::uint32_t Collect(bool room);

    // The main thread's side.
    int Count();
    int Capacity() const { return FCapacity; }
    bool HasRoom();
    std::uint64_t Arrived() const { return FArrived; }
    // Returns and clears the line error flags, with a fresh look at the line.
    std::uint32_t TakeErrors();
    // Bytes a pull outside the event thread took from the driver no longer wake it:
    // unless they were all read meanwhile, it is told of them, so their OnRxChar comes.
    void ReportLater(const TPull& pull);
    // Up to count bytes from the front; pull is the one made just before.
    int Take(void* buf, int count, const TPull& pull);
    std::string TakeAll();
    // Flushes the driver's queues (TCIFLUSH, ...) and, with dropQueue, empties the receive
    // queue too, so no pull comes between. Returns the flush's error; a hung-up line's
    // is none, and nothing is dropped after any other.
    int Flush(int queues, bool dropQueue);
    // Whether bytes came in since the last OnRxChar; no longer afterwards.
    bool TakeUnreported();

private:
    void Received(const std::uint8_t* bytes, int count);
    void Taken();
    void WatchLine();
    void AddEvents(std::uint32_t mask, std::uint32_t errors = 0);
    std::uint32_t TakeEvents();

    TVaLine& FLine;
    const std::function<void()> FHungUp;
    std::atomic<std::uint8_t> FEvtChar = 0;  // the event character as last applied
    std::atomic<std::uint64_t> FArrived = 0; // bytes ever received
    int FCapacity = 0;                       // set at Start, before any thread runs
    bool FWatchLine = false;                 // the line has something the event mask watches
    TVaWaitEvent FReceiveRoom;               // set when the receive queue has room again
    TVaWaitEvent FEventsPending;             // set while FPendingEvents is not 0

    // FLock guards everything below: the event thread and the main thread pull input,
    // take bytes and events, and look at the line under it.
    TVaCriticalSection FLock;
    std::unique_ptr<TVaCommBuffer> FReceive; // bytes received and not yet taken
    bool FRx80Full = false; // the receive queue passed 80 % and was not emptied since
    std::optional<TVaLineCounts> FLineCounts; // counters seen last; none on a pseudo-terminal
    std::optional<int> FModemLines;           // modem lines seen last, when there are no counters
    std::uint32_t FPendingEvents = 0;         // seen, not yet handed to the event thread
    std::uint32_t FPendingErrors = 0;         // CE_ flags not yet reported
    bool FUnreported = false;                 // bytes came in since the last OnRxChar
};
