// The component's construction, open and close, and its settings.
#include "serial/ComPortPaths.h"
#include "serial/VaCommInternal.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

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

TVaCustomComm::TVaCustomComm(QObject* owner) : TVaCustomComm(owner, NewSystemLine()) {}

TVaCustomComm::TVaCustomComm(QObject* owner, std::unique_ptr<TVaLine> line)
    : TVaComponent(owner), FDevice(std::move(line)),
      FHangUp(std::make_unique<TVaHangUpLatch>(this)),
      FReceiver(std::make_unique<TVaCommReceiver>(*FDevice, [this] { FHangUp->Note(); })),
      FTransmit(std::make_unique<TVaTransmitWatch>()) {
    TVaHandOver::Instance(); // made here, on the main thread, before a worker needs it
    FFlowControl.OnChange = [this](TVaPersistent*) { ApplyPortSettings(); };
    FEventChars.OnChange = [this](TVaPersistent*) { ApplyPortSettings(); };
    FBuffers.OnChange = [this](TVaPersistent*) { BuffersChanged(); };
}

// A destructor must not throw: an error leaving it ends the program. Close may still fail
// here (the line's close fails, or it is refused inside one of the port's own handlers);
// the port is going away all the same, and no caller is left to tell, so it is dropped.
TVaCustomComm::~TVaCustomComm() {
    MarkDestroying();
    try {
        Close();
    } catch (...) {
    }
}

// A number once opened through its alias stays with it: when the alias is gone or its
// device is, the port is not there, and never the numbered device behind it (the emulator
// stopped, an adapter unplugged: a retry must not open a board's own UART instead).
std::string TVaCustomComm::DevicePath() const {
    const std::string name = FormatDeviceName(FDeviceName, FPortNum);
    if (!FAliasName.empty() && name == FAliasName)
        return va::ComNameAliasPath(name);
    return va::ComNameToDevicePath(name);
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
        FTransmit->Reset();
        FHangUp->Arm();
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
        RaiseOpenError(va::DescribeDevicePath(path), error);
    FHandle = FDevice->Handle();
    FOpenPath = path;
    const std::string name = FormatDeviceName(FDeviceName, FPortNum);
    const std::string alias = va::ComNameAliasPath(name);
    FAliasName = !alias.empty() && path == alias ? name : std::string();
}

void TVaCustomComm::ApplyEventMask() {
    std::uint32_t mask = CommEventsValue(FMonitorEvents);
    if (!FDirectWrite)
        mask &= ~EV_TXEMPTY;
    FEventMask = mask;
}

void TVaCustomComm::CreateThreads() {
    if (FEventMask != 0) {
        FEventThread = std::make_unique<TVaCommEventThread>(Link());
        FEventThread->SetPriority(FEventPriority);
        FEventThread->SetSync(FSyncThreads);
        FEventThread->Start();
    }
    if (!FDirectWrite) {
        FWriteThread = std::make_unique<TVaCommWriteThread>(Link(), FBuffers.WriteSize());
        FWriteThread->SetPriority(FWritePriority);
        FWriteThread->SetSync(FSyncThreads);
        FWriteThread->Start();
    }
}

TVaCommLink TVaCustomComm::Link() {
    const auto dispatch = [this](std::uint32_t mask) { DispatchBatch(mask); };
    return {this, *FDevice, FHandle, *FReceiver, *FHangUp, *FTransmit, FEventMask, dispatch};
}

void TVaCustomComm::Close() {
    if (!Active())
        return;
    if (InOwnHandler())
        throw EVaCommError(sCloseInHandler);
    Shut();
    // The port setup window opens the next port straight after Close; the pause gives the
    // released device (a USB adapter's driver above all) time to settle before that Open.
    constexpr auto SettleAfterClose = std::chrono::milliseconds(300);
    std::this_thread::sleep_for(SettleAfterClose);
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
            Answered(FDevice->SetModemLines(bits, on), sErrorWritingDcb);
}
