#include "serial/VaCommReceiver.h"

#include "serial/VaTypes.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr std::uint32_t ModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr std::uint32_t CountedEvents = ModemEvents | EV_BREAK | EV_ERR;

// The events and error flags that a change of a UART's counters stands for. A break is
// an event and an error flag of its own; framing, parity and overruns are line errors.
std::pair<std::uint32_t, std::uint32_t> CountChange(const TVaLineCounts& last,
                                                    const TVaLineCounts& now) {
    std::uint32_t events = 0;
    std::uint32_t errors = 0;
    const auto note = [](int before, int after, std::uint32_t& into, std::uint32_t bit) {
        if (before != after)
            into |= bit;
    };
    note(last.Cts, now.Cts, events, EV_CTS);
    note(last.Dsr, now.Dsr, events, EV_DSR);
    note(last.Dcd, now.Dcd, events, EV_RLSD);
    note(last.Rng, now.Rng, events, EV_RING);
    note(last.Brk, now.Brk, events, EV_BREAK);
    note(last.Brk, now.Brk, errors, CE_BREAK);
    note(last.BufOverrun, now.BufOverrun, errors, CE_RXOVER);
    note(last.Overrun, now.Overrun, errors, CE_OVERRUN);
    note(last.Parity, now.Parity, errors, CE_RXPARITY);
    note(last.Frame, now.Frame, errors, CE_FRAME);
    if (errors & ~CE_BREAK)
        events |= EV_ERR;
    return {events, errors};
}

// The events a change of the modem lines stands for, on a line without counters. A
// ring counts at its trailing edge, as a UART counts it.
std::uint32_t ModemChange(int last, int now) {
    std::uint32_t events = 0;
    if ((last ^ now) & TIOCM_CTS)
        events |= EV_CTS;
    if ((last ^ now) & TIOCM_DSR)
        events |= EV_DSR;
    if ((last ^ now) & TIOCM_CAR)
        events |= EV_RLSD;
    if ((last & TIOCM_RNG) && !(now & TIOCM_RNG))
        events |= EV_RING;
    return events;
}

} // namespace

TVaCommReceiver::TVaCommReceiver(TVaLine& line, std::function<void()> hungUp)
    : FLine(line), FHungUp(std::move(hungUp)) {}

void TVaCommReceiver::Start(int capacity, std::uint32_t eventMask) {
    std::lock_guard lock(FLock);
    FCapacity = std::max(capacity, 1);
    FReceive = std::make_unique<TVaCommBuffer>(FCapacity);
    FReceiveRoom.SetEvent();
    FRx80Full = false;
    FPendingEvents = FPendingErrors = 0;
    FUnreported = false;
    FEventsPending.ResetEvent();
    FLineCounts.reset();
    FModemLines.reset();
    TVaLineCounts counts;
    int lines = 0;
    if (FLine.Counts(counts) == 0)
        FLineCounts = counts;
    else if (FLine.ModemLines(lines) == 0)
        FModemLines = lines;
    const std::uint32_t seen = FLineCounts ? CountedEvents : FModemLines ? ModemEvents : 0;
    FWatchLine = (eventMask & seen) != 0;
}

TVaCommReceiver::TPull TVaCommReceiver::Pull() {
    std::lock_guard lock(FLock);
    TPull pull;
    std::uint8_t chunk[4096];
    while (FReceive->Free() > 0) {
        const std::size_t room = std::min<std::size_t>(sizeof chunk, FReceive->Free());
        const TVaIoResult read = FLine.Read(chunk, room);
        if (read.Status() != TVaIoStatus::Done) {
            pull.HungUp = read.Status() == TVaIoStatus::HungUp;
            break;
        }
        if (read.Count == 0)
            break; // the driver had nothing
        Received(chunk, static_cast<int>(read.Count));
        pull.Count += static_cast<int>(read.Count);
        if (read.Count < room)
            break; // the driver had no more
    }
    if (pull.HungUp)
        FHungUp();
    return pull;
}

// The event character and the queue passing 80 % are noted as the bytes come in.
void TVaCommReceiver::Received(const std::uint8_t* bytes, int count) {
    FReceive->Write(bytes, count);
    FUnreported = true;
    FArrived += static_cast<std::uint64_t>(count);
    std::uint32_t events = 0;
    if (std::memchr(bytes, FEvtChar.load(), static_cast<std::size_t>(count)))
        events |= EV_RXFLAG;
    if (!FRx80Full && std::int64_t(FReceive->Size()) * 5 > std::int64_t(FReceive->Capacity()) * 4) {
        FRx80Full = true;
        events |= EV_RX80FULL;
    }
    AddEvents(events);
}

// Bytes left the receive queue: there is room again, and below 80 % a new fill counts.
// An emptied queue has nothing left to report.
void TVaCommReceiver::Taken() {
    if (std::int64_t(FReceive->Size()) * 5 <= std::int64_t(FReceive->Capacity()) * 4)
        FRx80Full = false;
    if (FReceive->Size() == 0)
        FUnreported = false;
    FReceiveRoom.SetEvent();
}

bool TVaCommReceiver::Room() {
    std::lock_guard lock(FLock);
    if (FReceive->Free() > 0)
        return true;
    FReceiveRoom.ResetEvent();
    return false;
}

bool TVaCommReceiver::HasRoom() {
    std::lock_guard lock(FLock);
    return FReceive->Free() > 0;
}

void TVaCommReceiver::WatchLine() {
    std::lock_guard lock(FLock);
    if (FLineCounts) {
        TVaLineCounts now;
        if (FLine.Counts(now) != 0)
            return;
        const auto [events, errors] = CountChange(*FLineCounts, now);
        FLineCounts = now;
        AddEvents(events, errors);
    } else if (FModemLines) {
        int now = 0;
        if (FLine.ModemLines(now) != 0)
            return;
        const std::uint32_t events = ModemChange(*FModemLines, now);
        FModemLines = now;
        AddEvents(events);
    }
}

// Events seen by either thread wait here for the event thread, which they wake.
void TVaCommReceiver::AddEvents(std::uint32_t mask, std::uint32_t errors) {
    std::lock_guard lock(FLock);
    FPendingErrors |= errors;
    if (mask == 0)
        return;
    FPendingEvents |= mask;
    FEventsPending.SetEvent();
}

// The event thread's look at everything at once, so that bytes the main thread takes
// meanwhile, and the line changes that came with them, fall into one batch or the next.
std::uint32_t TVaCommReceiver::Collect(bool room) {
    std::lock_guard lock(FLock);
    if (room)
        Pull();
    WatchLine();
    return TakeEvents() | (FUnreported ? EV_RXCHAR : 0);
}

std::uint32_t TVaCommReceiver::TakeEvents() {
    std::lock_guard lock(FLock);
    FEventsPending.ResetEvent();
    return std::exchange(FPendingEvents, 0);
}

std::uint32_t TVaCommReceiver::TakeErrors() {
    std::lock_guard lock(FLock);
    WatchLine();
    return std::exchange(FPendingErrors, 0);
}

int TVaCommReceiver::Count() {
    std::lock_guard lock(FLock);
    return FReceive->Size();
}

void TVaCommReceiver::ReportLater(const TPull& pull) {
    std::lock_guard lock(FLock);
    if (pull.Count > 0 && FUnreported)
        AddEvents(EV_RXCHAR);
}

int TVaCommReceiver::Take(void* buf, int count, const TPull& pull) {
    std::lock_guard lock(FLock);
    const int n = std::min(count, FReceive->Size());
    FReceive->Read(buf, n);
    Taken();
    ReportLater(pull);
    return n;
}

std::string TVaCommReceiver::TakeAll() {
    std::lock_guard lock(FLock);
    const int waiting = FReceive->Size();
    if (waiting <= 0)
        return {};
    std::string text(static_cast<std::size_t>(waiting), '\0');
    FReceive->Read(text.data(), waiting);
    Taken();
    return text;
}

int TVaCommReceiver::Flush(int queues, bool dropQueue) {
    std::lock_guard lock(FLock);
    if (const int error = FLine.Flush(queues); error && !IsHangUpError(error))
        return error;
    if (dropQueue) {
        FReceive->Clear();
        Taken();
    }
    return 0;
}

bool TVaCommReceiver::TakeUnreported() {
    std::lock_guard lock(FLock);
    return std::exchange(FUnreported, false);
}
