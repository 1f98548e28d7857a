#pragma once
// The serial port component: line settings, an exclusive open on a Linux serial
// device, an event thread that hands received characters to the main thread, and a
// write thread that drains a byte queue.
#include "serial/VaClasses.h"
#include "serial/VaObjects.h"
#include "serial/VaPrst.h"
#include "serial/VaTypes.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <termios.h>
#include <vector>

// The line-settings record, in the 28-byte layout the settings are specified in.
struct TVaDCB {
    std::uint32_t DCBlength = sizeof(TVaDCB);
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;
    std::uint8_t StopBits = 0;
    std::uint8_t XonChar = 0;
    std::uint8_t XoffChar = 0;
    std::uint8_t ErrorChar = 0;
    std::uint8_t EofChar = 0;
    std::uint8_t EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(TVaDCB) == 28);

// Bits of TVaDCB::Flags besides those of the enumerations.
inline constexpr std::uint32_t dcb_Binary = 0x0001;
inline constexpr std::uint32_t dcb_OutxCtsFlow = 0x0004;
inline constexpr std::uint32_t dcb_OutxDsrFlow = 0x0008;
inline constexpr std::uint32_t dcb_DsrSensitivity = 0x0040;
inline constexpr std::uint32_t dcb_TxContinueOnXoff = 0x0080;
inline constexpr std::uint32_t dcb_OutX = 0x0100;
inline constexpr std::uint32_t dcb_InX = 0x0200;
inline constexpr std::uint32_t dcb_RtsControlMask = 0x3000;

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

// Carries the record into t: raw mode, framing, parity, stop bits, XON/XOFF and RTS/CTS
// handshake, the XON/XOFF characters, and the speed when it has a Bnnn constant.
// Returns false for a record Linux cannot carry (fewer than 5 data bits, speed 0).
// DSR/DTR handshake, the XON/XOFF limits and the error, end-of-file and event
// characters have no termios counterpart and are left out.
bool DcbToTermios(const TVaDCB& dcb, termios& t);

// The Bnnn constant of a speed, or B0 when there is none (then it is set exactly).
speed_t StandardSpeed(std::uint32_t baud);

// What the status query reports.
struct TVaCommStatus {
    std::uint32_t Errors = 0; // CE_ line error flags since the last query
    std::uint32_t InQue = 0;  // bytes received and not yet taken
    std::uint32_t OutQue = 0; // bytes the driver has still to send
};

// A byte queue of fixed capacity that never reallocates.
class TVaCommBuffer {
public:
    explicit TVaCommBuffer(int capacity);

    void Write(const void* Buf, int Count); // the caller has made sure the bytes fit
    void Remove(int Count);
    void Read(void* Buf, int Count);
    void Peek(void* Buf, int Count) const;
    void Clear() { FSize = 0; }
    const std::uint8_t* DataPtr() const { return FData.get(); }
    int Size() const { return FSize; }
    int Capacity() const { return FCapacity; }
    int Free() const { return FCapacity - FSize; }

private:
    std::unique_ptr<std::uint8_t[]> FData;
    int FCapacity;
    int FSize = 0;
};

class TVaCustomComm;

// Waits for received bytes (and line errors) together with its stop request, and
// hands each batch to the main thread.
class TVaCommEventThread : public TVaThread {
public:
    explicit TVaCommEventThread(TVaCustomComm* owner);
    void Stop();

protected:
    void Execute() override;

private:
    void Dispatch(std::uint32_t mask);
    void DispatchEvents();

    std::uint32_t FEvtMask = 0;
    TVaWaitEvent FEvent; // stop request
    TVaCustomComm* FOwner;
};

// Sends whatever the main thread has queued, everything queued in one write per turn.
class TVaCommWriteThread : public TVaThread {
public:
    TVaCommWriteThread(TVaCustomComm* owner, int size);
    void Stop();
    // Main thread.
    bool WriteData(const void* Buf, int Count);
    void PurgeWrite();
    int Queued();

protected:
    void Execute() override;

private:
    bool Append(const void* Buf, int Count);
    void WriteQueued();
    void WaitWritable(int remaining);
    void WriteDone(int count);
    void WriteFailed(int remaining);
    void AcknowledgeFlush();

    TVaCommBuffer FBuffer;
    std::vector<std::uint8_t> FOutput; // the bytes of the write in progress
    TVaWaitEvent FWriteEvent;          // set while bytes are queued
    TVaWaitEvent FCloseEvent;
    TVaWaitEvent FFlushEvent;
    TVaWaitEvent FFlushDoneEvent;
    TVaWaitEvent FRoomEvent; // set when bytes left the queue
    TVaCustomComm* FOwner;
};

class TVaCustomComm : public TVaComponent {
public:
    explicit TVaCustomComm(QObject* owner = nullptr);
    ~TVaCustomComm() override;

    void Open();
    void Close();
    bool Active() const { return FHandle >= 0; }
    int Handle() const { return FHandle; }
    // DeviceName filled with PortNum, then mapped to a Linux device.
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
    int ReadBufUsed();
    int ReadBufFree();
    int WriteBufUsed();
    int WriteBufFree();
    TVaCommStatus GetCommStatus();

    void PurgeRead();
    void PurgeWrite();
    void PurgeReadWrite();

    void SetDTR(bool value);
    void SetRTS(bool value);
    void SetBreak(bool value);
    void SetXon(bool value);
    bool CTS();
    bool DSR();
    bool RING();
    bool RLSD();

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

protected:
    virtual void CreateHandle();
    virtual void CreateThreads();
    virtual void HandleRxChar();
    virtual void HandleCommEvents(std::uint32_t Mask);
    bool CheckLineErrors();
    void ApplyPortSettings();

private:
    friend class TVaCommEventThread;
    friend class TVaCommWriteThread;

    // Stores a changed line setting and applies the settings to an open port.
    template <class T> void SetLineSetting(T& field, T value);

    // Line error counters of a UART.
    struct TVaLineCounts {
        int Frame = 0, Overrun = 0, Parity = 0, Break = 0, BufOverrun = 0;
        bool operator==(const TVaLineCounts&) const = default;
    };

    // What a pull of the driver's input found.
    struct TVaPull {
        int Count = 0;       // bytes moved into the receive queue
        bool HungUp = false; // the device went away
    };

    void ApplyEventMask();
    void ApplyModemLines();
    void StopThreads();
    void CloseHandle();
    void RefuseWhileOpen() const;
    void BuffersChanged();
    int DirectWriteBuf(const void* Buf, int Count);
    void ModemControl(unsigned long request, int bits);
    bool ModemStatus(int bit);
    // Receive queue, shared with the event thread under FReadSection.
    TVaPull PullInput();
    bool ReceiveRoom();
    bool LineErrorsPending();
    std::uint32_t TakeLineErrors();

    int FHandle = -1;
    TVaCriticalSection FWriteSection;
    TVaCriticalSection FGlobalSection;
    TVaCriticalSection FReadSection;
    std::unique_ptr<TVaCommBuffer> FReceive;  // bytes received and not yet taken
    TVaWaitEvent FReceiveRoom;                // set when the receive queue has room again
    std::optional<TVaLineCounts> FLineCounts; // counters seen last; none on a pseudo-terminal
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
};
