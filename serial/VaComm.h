#pragma once
// The serial port component: line settings, an exclusive open on a Linux serial
// device, an event thread that hands received characters, line errors and modem-line
// changes to the main thread, a write thread that drains a byte queue, and closing
// itself when the device hangs up.
#include "serial/VaClasses.h"
#include "serial/VaLine.h"
#include "serial/VaObjects.h"
#include "serial/VaPrst.h"
#include "serial/VaTypes.h"

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The component's own line fields; the groups carry the rest.
struct TVaLineSettings {
    TVaBaudrate Baudrate = br1200;
    std::int32_t UserBaudrate = 0;
    TVaParity Parity = paNone;
    TVaDatabits Databits = db8;
    TVaStopbits Stopbits = sb1;
    TVaCommOptions Options;
};

// Builds the line-settings record from the settings alone. Linux keeps no record of
// its own, so the reserved words are 0.
TVaDCB BuildDCB(const TVaLineSettings& line, const TVaFlowControl& flow, const TVaEventChars& chars,
                const TVaBuffers& buffers);

// What the status query reports.
struct TVaCommStatus {
    std::uint32_t Errors = 0; // CE_ line error flags since the last query
    std::uint32_t Flags = 0;  // HOLD_ and XOFF_SENT bits
    std::uint32_t InQue = 0;  // bytes received and not yet taken
    std::uint32_t OutQue = 0; // bytes the driver has still to send
};

// The component's parts (serial/VaCommInternal.h), which its users do not include.
class TVaCommReceiver;
class TVaCommEventThread;
class TVaCommWriteThread;
class TVaHangUpLatch;
class TVaTransmitWatch;
struct TVaCommLink;
class TRxWatch;

class TVaCustomComm : public TVaComponent {
public:
    explicit TVaCustomComm(QObject* owner = nullptr);
    // On another line layer than the Linux serial device (a scripted line in tests).
    TVaCustomComm(QObject* owner, std::unique_ptr<TVaLine> line);
    ~TVaCustomComm() override;

    void Open();
    // Raises sCloseInHandler when called from a handler that one of the port's threads
    // handed over, or runs itself without the hand-over: that thread waits for the
    // handler, so it could never be stopped.
    void Close();
    bool Active() const { return FHandle >= 0; }
    int Handle() const { return FHandle; }
    // DeviceName filled with PortNum, then mapped to a Linux device. Once a name "COMn"
    // has been opened through its alias, it means that alias alone from then on.
    std::string DevicePath() const;
    void Loaded() override;

    bool AutoOpen() const { return FAutoOpen; }
    void SetAutoOpen(bool value) { FAutoOpen = value; }
    TVaPortInt PortNum() const { return FPortNum; }
    void SetPortNum(TVaPortInt value);
    const std::string& DeviceName() const { return FDeviceName; }
    void SetDeviceName(std::string value);
    TVaCommEvents MonitorEvents() const { return FMonitorEvents; }
    void SetMonitorEvents(TVaCommEvents value);
    TThreadPriority EventPriority() const { return FEventPriority; }
    void SetEventPriority(TThreadPriority value);
    TThreadPriority WritePriority() const { return FWritePriority; }
    void SetWritePriority(TThreadPriority value);
    bool DirectWrite() const { return FDirectWrite; }
    void SetDirectWrite(bool value);
    bool SyncThreads() const { return FSyncThreads; }
    void SetSyncThreads(bool value) { FSyncThreads = value; }
    // The driver event mask computed at Open.
    std::uint32_t EventMask() const { return FEventMask; }

    TVaBaudrate Baudrate() const { return FLine.Baudrate; }
    void SetBaudrate(TVaBaudrate value);
    std::int32_t UserBaudrate() const { return FLine.UserBaudrate; }
    void SetUserBaudrate(std::int32_t value);
    TVaParity Parity() const { return FLine.Parity; }
    void SetParity(TVaParity value);
    TVaDatabits Databits() const { return FLine.Databits; }
    void SetDatabits(TVaDatabits value);
    TVaStopbits Stopbits() const { return FLine.Stopbits; }
    void SetStopbits(TVaStopbits value);
    TVaCommOptions Options() const { return FLine.Options; }
    void SetOptions(TVaCommOptions value);
    TVaFlowControl* FlowControl() { return &FFlowControl; }
    void SetFlowControl(const TVaFlowControl& value) { FFlowControl.Assign(value); }
    TVaEventChars* EventChars() { return &FEventChars; }
    void SetEventChars(const TVaEventChars& value) { FEventChars.Assign(value); }
    TVaBuffers* Buffers() { return &FBuffers; }
    void SetBuffers(const TVaBuffers& value);
    bool UpdateDCB() const { return FUpdateDCB; }
    void SetUpdateDCB(bool value);
    TSettingsStore* SettingsStore() { return &FSettingsStore; }
    void SetSettingsStore(const TSettingsStore& value) { FSettingsStore.Assign(value); }
    // The record the settings give; what ApplyPortSettings writes.
    TVaDCB LineSettingsRecord() const;

    int WriteBuf(const void* Buf, int Count);
    bool WriteText(const std::string& s);
    bool WriteChar(std::uint8_t Ch);
    int ReadBuf(void* Buf, int Count);
    bool ReadChar(std::uint8_t& Ch);
    std::string ReadText();
    // The queue counts leave the line error flags for GetCommStatus and OnError.
    int ReadBufUsed();
    int ReadBufFree();
    int WriteBufUsed();
    int WriteBufFree();
    int UARTReadBufUsed();
    int UARTWriteBufUsed();
    // Returns and clears the line error flags.
    TVaCommStatus GetCommStatus();

    void PurgeRead();
    void PurgeWrite();
    void PurgeReadWrite();

    void SetDTR(bool value);
    void SetRTS(bool value);
    void SetBreak(bool value);
    void SetXon(bool value);
    void ResetDev();
    // The driver's capability record, with the queue sizes of this open; raises
    // sPortClosed on a closed port.
    TVaCommProp Properties();
    bool CTS();
    bool DSR();
    bool RING();
    bool RLSD();
    bool CTSHold();
    bool DSRHold();
    bool RLSDHold();
    bool XOffHold();
    bool XOffSent();

    std::function<void(QObject* Sender)> OnOpen;
    std::function<void(QObject* Sender)> OnClose;
    std::function<void(QObject* Sender)> OnCts;
    std::function<void(QObject* Sender)> OnDsr;
    std::function<void(QObject* Sender)> OnRlsd;
    std::function<void(QObject* Sender)> OnRing;
    std::function<void(QObject* Sender)> OnBreak;
    std::function<void(QObject* Sender, std::uint32_t Errors)> OnError;
    std::function<void(QObject* Sender, std::uint32_t Count)> OnRxChar;
    std::function<void(QObject* Sender)> OnRxFlag;
    std::function<void(QObject* Sender)> OnTxEmpty;
    std::function<void(QObject* Sender)> OnPErr;
    std::function<void(QObject* Sender)> OnRx80Full;
    std::function<void(QObject* Sender)> OnEvent1;
    std::function<void(QObject* Sender)> OnEvent2;
    // The device hung up and the port closed itself: raised on the main thread after
    // OnClose, before the error that names the device is raised.
    std::function<void(QObject* Sender)> OnHangUp;

protected:
    virtual void CreateHandle();
    virtual void CreateThreads();
    virtual void HandleRxChar();
    virtual void HandleCommEvents(std::uint32_t Mask);
    bool CheckLineErrors();
    void ApplyPortSettings();
    bool event(QEvent* e) override;

private:
    // Stores a changed line setting and applies the settings to an open port.
    template <class T> void SetLineSetting(T& field, T value);

    // Counts the main thread's runs of handlers handed over by the port's threads.
    class THandlerScope {
    public:
        explicit THandlerScope(TVaCustomComm& comm);
        ~THandlerScope();

    private:
        TVaCustomComm& FComm;
    };

    void ApplyEventMask();
    void ApplyModemLines();
    // What the port's threads are given of the component.
    TVaCommLink Link();
    void StopThreads();
    void CloseHandle();
    // Stops the threads, releases the device and raises OnClose.
    void Shut();
    void RefuseWhileOpen() const;
    void BuffersChanged();
    int DirectWriteBuf(const void* Buf, int Count);
    bool ModemStatus(int bit);
    bool HoldFlag(std::uint32_t bit);
    enum TVaPurge { purgeRead = 1, purgeWrite = 2 };
    void Purge(int queues);
    int QueueCount(int (TVaLine::*query)(int&));

    // The main-thread side of the hand-over.
    void DispatchBatch(std::uint32_t mask);
    void RunBatch(std::uint32_t mask);
    bool OnMainThread() const;
    bool InOwnHandler() const;

    // The main thread's own watch for received bytes.
    void StartRxWatch();
    void RxWatchActivated();
    void PauseRxWatchIfStuck();
    void ResumeRxWatch();

    // Hang-up: a thread notes it, the main thread closes the port from its event loop.
    bool HungUp() const;
    void CloseAfterHangUp(unsigned generation);

    std::unique_ptr<TVaLine> FDevice;
    int FHandle = -1;
    std::string FOpenPath;
    std::string FAliasName; // the "COMn" last opened, when it was opened through its alias
    TVaCriticalSection FWriteSection;  // one direct write at a time
    TVaCriticalSection FGlobalSection; // one pull-and-take, purge or stop request at a time
    std::unique_ptr<TVaHangUpLatch> FHangUp;
    std::unique_ptr<TVaCommReceiver> FReceiver;
    std::unique_ptr<TVaTransmitWatch> FTransmit;
    std::atomic<int> FHandlers = 0;     // handed-over handlers running on the main thread
    std::unique_ptr<TRxWatch> FRxWatch; // while open; only the main thread uses it
    bool FDispatching = false;          // a batch's handlers are running
    std::uint32_t FDeferred = 0;        // events of batches that came meanwhile
    std::unique_ptr<TVaCommEventThread> FEventThread;
    std::unique_ptr<TVaCommWriteThread> FWriteThread;
    std::uint32_t FEventMask = 0;
    bool FAutoOpen = false;
    TVaPortInt FPortNum = 0;
    std::string FDeviceName = "COM%d";
    TVaCommEvents FMonitorEvents{ceError, ceRxChar, ceTxEmpty};
    TVaBuffers FBuffers;
    TThreadPriority FEventPriority = tpNormal;
    TThreadPriority FWritePriority = tpHighest;
    bool FDirectWrite = false;
    TVaLineSettings FLine;
    TVaFlowControl FFlowControl;
    TVaEventChars FEventChars;
    bool FUpdateDCB = true;
    bool FSyncThreads = true;
    TSettingsStore FSettingsStore;
};

// The component as the windows hold it.
class TVaComm : public TVaCustomComm {
public:
    explicit TVaComm(QObject* owner = nullptr) : TVaCustomComm(owner) {}
    TVaComm(QObject* owner, std::unique_ptr<TVaLine> line)
        : TVaCustomComm(owner, std::move(line)) {}
};
