// The component's main-thread side: the batches of events its threads hand over, its
// own watch for received bytes, and closing itself after a hang-up.
#include "serial/VaCommInternal.h"

#include <QThread>

// ---------------------------------------------------------------------------------
// Batches of events

TVaCustomComm::THandlerScope::THandlerScope(TVaCustomComm& comm) : FComm(comm) {
    ++FComm.FHandlers;
}

// A hang-up noticed while a handler ran is acted on once the last one has returned, and
// the watch for received bytes paused meanwhile goes on.
TVaCustomComm::THandlerScope::~THandlerScope() {
    if (--FComm.FHandlers != 0)
        return;
    FComm.FHangUp->PostDeferred();
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

// A line without a descriptor the event loop can watch (Windows) leaves it all to the
// event thread.
void TVaCustomComm::StartRxWatch() {
    const int fd = FDevice->PollDescriptor();
    if (!FSyncThreads || !(FEventMask & EV_RXCHAR) || !FEventThread || fd < 0)
        return;
    FRxWatch = std::make_unique<TRxWatch>(fd, [this] { RxWatchActivated(); });
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
    TVaLineWait port{*FDevice, TVaLineReady::Input};
    if (WaitForMultiple({}, 0, &port) == wmTimeout)
        return; // the event thread took the bytes
    if (port.HungUp)
        FHangUp->Note();
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

bool TVaCustomComm::HungUp() const {
    return FHangUp->HungUp();
}

bool TVaCustomComm::event(QEvent* e) {
    const std::optional<unsigned> generation = FHangUp->Request(e);
    if (!generation)
        return TVaComponent::event(e);
    CloseAfterHangUp(*generation);
    return true;
}

// Runs from the event loop, never inside a wait: threads stopped, queues dropped, device
// released, OnClose raised, then one error naming the device. No closing pause: the
// operator chose nothing, and the program's ticks must go on.
void TVaCustomComm::CloseAfterHangUp(unsigned generation) {
    if (!Active() || !FHangUp->Current(generation))
        return; // closed, or opened again, since
    if (FHandlers > 0) {
        FHangUp->Defer();
        return;
    }
    const std::string path = FOpenPath;
    Shut();
    if (OnHangUp)
        OnHangUp(this);
    throw DisconnectedError(path);
}
