#pragma once
// The device link as the main window runs it: frames out through Sendbyte, received
// bytes into the device image buffers, the live tick that decodes and shows them, and
// the data log. It reaches the port only through its operations and the instruments
// only through their value and lamp operations, so it runs without a window.
#include "link/DataLog.h"
#include "link/LinkState.h"
#include "link/PortRetry.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QObject;
class QProgressBar;
class QPushButton;
class QTimer;
class TAb270Meter;
class TAbColBitBtn;
class TAbLED;
class TAbNumEdit;
class TAbValueInd;
class TVaComm;

// The components of the main window (and the port window's lamp) that the link drives.
struct TLinkControls {
    std::array<TAb270Meter*, 4> Meter{};    // Meter1 … Meter4
    std::array<TAbValueInd*, 4> ValueInd{}; // ValueInd1 … ValueInd4
    TAbValueInd* VoltsInd1 = nullptr;
    TAbLED* Online_LED1 = nullptr;
    TAbLED* LED2 = nullptr;
    TAbLED* DiskLED = nullptr;
    TAbLED* ComPortLED = nullptr;
    TAbColBitBtn* OnlineButton = nullptr;
    QAction* Config1 = nullptr;
    QPushButton* LogStartButton = nullptr;
    QPushButton* LogStopButton = nullptr;
    QLabel* StaticText2 = nullptr;
    QTimer* Timer1 = nullptr; // the configuration read cycle's clock
};

// The configuration window's fields that the read cycle fills.
struct TConfigControls {
    std::array<TAbNumEdit*, 4> AbNumEdit{};    // resistor values, channels 1 … 4
    std::array<QLineEdit*, 4> SensorSN_Edit{}; // serial numbers, channels 1 … 4
    TAbNumEdit* AbNumCAN1 = nullptr;
    TAbNumEdit* AbNumCAN2 = nullptr;
    QLabel* VersionLabel1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
};

// The five serial-number characters of a sensor block (indexes 14 to 18), each byte the
// character of that code; a zero byte ends the text.
QString SerialNumberText(const TDeviceBuffer<50>& sensorBuffer);
// The firmware version as shown: "V", then the byte / 10 to two significant digits, with one
// decimal in the locale's notation ("V2.3", "V12.0").
QString VersionText(std::uint8_t version);
// Sets a progress bar's position; one beyond its maximum shows a full bar.
void ShowProgress(QProgressBar* bar, int position);

class TDeviceLink {
public:
    TDeviceLink(TVaComm& port, const TLinkControls& controls);

    TLinkState State;
    // The port window's lamp, which the close event puts out; that window registers it.
    void SetComPortLED(TAbLED* lamp) { FControls.ComPortLED = lamp; }
    // The configuration window's fields, registered by that window.
    void SetConfigControls(const TConfigControls& controls) { FConfig = controls; }
    QString LogFileName;
    // The clock of the log's date and time stamps.
    std::function<TDateTime()> Now = [] { return ::Now(); };
    // Told of each valid live frame the tick shows: the four lambda values and whether
    // the sensors are warming up. The chart window listens here.
    std::function<void(const std::array<float, 4>& lambda, bool warmUp)> OnLiveFrame;

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
    void WriteRecord();

private:
    void DecodeConfiguration();
    void ReadRequest(int rxMode, const std::vector<std::uint8_t>& frame);
    void ShowLiveFrame();
    void StopLogAfterFailure();
    void SetLogControls(bool logging);
    void PortReopened();

    TVaComm& FPort;
    TLinkControls FControls;
    TConfigControls FConfig;
    TDataLog FLog;
    TPortRetry FRetry;
};
