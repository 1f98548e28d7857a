#pragma once
// The device link as the main window runs it: frames out through Sendbyte, received
// bytes into the device image buffers, the live tick that decodes and shows them, and
// the data log. It reaches the port only through its operations and tells what there is
// to show through its events, which the windows bind to their instruments.
#include "link/DataLog.h"
#include "link/LinkState.h"
#include "link/PortRetry.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class QObject;
class QTimer;
class TVaComm;

// What a live tick shows: each channel's value on its meter and readout (1.0 each while the
// sensors warm up), the supply voltage and the warm-up lamp.
struct TLiveShown {
    std::array<float, 4> Lambda{};
    float Volts = 0;
    bool WarmUp = false;
};

// The configuration the read cycle decoded, for the configuration window's fields.
struct TConfigValues {
    std::array<int, 4> ResistorOhms{};
    std::array<QString, 4> SerialNumber;
    int CanAddress = 0;
    int SlaveCanAddress = 0;
};

// The five serial-number characters of a sensor block (indexes 14 to 18), each byte the
// character of that code; a zero byte ends the text.
QString SerialNumberText(const TDeviceBuffer<50>& sensorBuffer);
// The firmware version as shown: "V", then the byte / 10 to two significant digits, with one
// decimal in the locale's notation ("V2.3", "V12.0").
QString VersionText(std::uint8_t version);

class TDeviceLink {
public:
    // `readClock` is the configuration read cycle's 100 ms timer, which the link starts and
    // stops; its ticks come back through Timer1Timer.
    TDeviceLink(TVaComm& port, QTimer& readClock);

    TLinkState State;
    QString LogFileName;
    // The clock of the log's date and time stamps.
    std::function<TDateTime()> Now = [] { return ::Now(); };

    // The live switch: polling on or off. A configuration read turns it off.
    void SetPolling(bool on);
    // The "data online" state, which the tick and the received bytes keep.
    void SetOnline(bool on);

    // Events, which the windows bind to their instruments.
    // Told of each valid live frame the tick shows: the four lambda values and whether
    // the sensors are warming up. The chart window listens here.
    std::function<void(const std::array<float, 4>& lambda, bool warmUp)> OnLiveFrame;
    // What the tick shows of that frame.
    std::function<void(const TLiveShown& shown)> OnLiveShown;
    std::function<void(bool on)> OnPolling;
    std::function<void(bool on)> OnOnline;
    // Whether the configuration may be opened (while data is online), told at every tick.
    std::function<void(bool enabled)> OnConfigEnabled;
    // The port is open again after a hang-up, or closed.
    std::function<void(bool open)> OnPortOpen;
    // A log started (with its file name, once its header is written) or ended.
    std::function<void(bool logging)> OnLogActive;
    std::function<void(const QString& fileName)> OnLogFileName;
    // Records are written again after a spell of failed ones, the first of which was
    // reported: the text says so, with how many records were lost.
    std::function<void(const QString& text)> OnLogWrittenAgain;
    // The read cycle's progress: shown or hidden, its position, and what it read.
    std::function<void(bool shown)> OnReadProgressShown;
    std::function<void(int position)> OnReadProgress;
    std::function<void(const QString& text)> OnVersionText;
    std::function<void(const TConfigValues& values)> OnConfiguration;

    // Frames out.
    void Sendbyte(std::uint8_t data);
    void SendFrame(const std::vector<std::uint8_t>& frame);
    void Sensor1Request();
    void Sensor2Request();
    void Sensor3Request();
    void Sensor4Request();
    void ConfigRequest();
    void VersionRequest();
    void LiveDataRequest();
    // The writes send nothing while a configuration read owns the link.
    void ResistorWrite(int channel, int ohms);
    void CanAddressWrite(std::uint8_t address, int value);
    // Sends the header, then hands the text cut to five characters (as the 8-bit code
    // page gives it back) to `showCut`, then sends data and checksum. With a read
    // running nothing is sent, `showCut` is not called and the result is false.
    bool SerialNumberWrite(int channel, const QString& text,
                           const std::function<void(const QString&)>& showCut = {});

    // Received bytes and the port's close event.
    void VaComm1RxChar(QObject* Sender, std::uint32_t Count);
    void VaComm1Close(QObject* Sender);
    // The line hung up and the port closed itself: try the same number again until it
    // is back; then "Port Open" lights and the live tick polls again.
    void VaComm1HangUp(QObject* Sender);
    bool RetryingPort() const { return FRetry.Trying(); }
    TVaComm& Port() const { return FPort; }
    void StopPortRetry() { FRetry.Stop(); }
    void ClearArray();

    // The configuration read cycle: its start (the port must be open) and its 100 ms tick.
    void StartReadCycle();
    void Timer1Timer(QObject* Sender);

    // The 100 ms live tick.
    void Timer2Timer(QObject* Sender);

    // The data log.
    void LogStart(const QString& path);
    void LogStop();
    void LogCloseAtEnd();
    void WriteRecord(const std::array<float, 4>& lambda);

private:
    template <class Event, class... Args> static void Raise(const Event& event, Args&&... args) {
        if (event)
            event(std::forward<Args>(args)...);
    }
    void DecodeConfiguration();
    void ReadRequest(int rxMode, const std::vector<std::uint8_t>& frame);
    void ShowLiveFrame();
    void SetLogActive(bool logging);
    void PortReopened();

    TVaComm& FPort;
    QTimer& FReadClock;
    TDataLog FLog;
    bool FLogFailing = false; // the last record could not be written
    int FRecordsLost = 0;     // records not written in the failure spell
    TPortRetry FRetry;
};
