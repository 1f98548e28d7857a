// The component's operations on an open port: status, reading, writing, purges, and
// the line and modem-line controls.
#include "serial/VaCommInternal.h"

#include <algorithm>
#include <chrono>

bool Answered(int error, const char* format) {
    if (error == 0)
        return true;
    if (NothingToReport(error))
        return false;
    RaiseCommError(format, error);
}

// ---------------------------------------------------------------------------------
// Status and reading

int TVaCustomComm::QueueCount(int (TVaLine::*query)(int&)) {
    int count = 0;
    return Answered((FDevice.get()->*query)(count), sErrorStatistics) ? std::max(count, 0) : 0;
}

TVaCommStatus TVaCustomComm::GetCommStatus() {
    TVaCommStatus status;
    if (!Active())
        return status;
    std::lock_guard lock(FGlobalSection);
    FReceiver->ReportLater(FReceiver->Pull());
    status.Errors = FReceiver->TakeErrors();
    Answered(FDevice->HoldFlags(status.Flags), sErrorStatistics);
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
    if (FWriteThread->WriteData(Buf, Count, FBuffers.WriteTimeout(), static_cast<bool>(OnTxEmpty)))
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
            FHangUp->Note();
            break;
        }
        if (written.Status() == TVaIoStatus::Failed)
            RaiseCommError(sWriteError, written.Error);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        TVaLineWait port{*FDevice, TVaLineReady::Output};
        if (left.count() <= 0 ||
            WaitForMultiple({}, static_cast<std::uint32_t>(left.count()), &port) == wmTimeout)
            break;
    }
    if (sent > 0)
        FTransmit->Sent();
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

void TVaCustomComm::SetDTR(bool value) {
    if (FFlowControl.ControlDtr() == dtrHandshake)
        throw EVaCommError(sDtrHandshake);
    if (Active())
        Answered(FDevice->SetModemLines(TIOCM_DTR, value), sErrorCommFunction);
}

void TVaCustomComm::SetRTS(bool value) {
    if (FFlowControl.ControlRts() == rtsHandshake || FFlowControl.ControlRts() == rtsToggle)
        throw EVaCommError(sRtsHandshake);
    if (Active())
        Answered(FDevice->SetModemLines(TIOCM_RTS, value), sErrorCommFunction);
}

void TVaCustomComm::SetBreak(bool value) {
    if (Active())
        Answered(FDevice->SetBreak(value), sErrorCommFunction);
}

void TVaCustomComm::SetXon(bool value) {
    if (Active())
        Answered(FDevice->SetXon(value), sErrorCommFunction);
}

void TVaCustomComm::ResetDev() {
    if (Active())
        Answered(FDevice->ResetDev(), sErrorCommFunction);
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
    return Answered(FDevice->ModemLines(lines), sErrorModemState) && (lines & bit) != 0;
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
    return Answered(FDevice->HoldFlags(flags), sErrorStatistics) && (flags & bit) != 0;
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
