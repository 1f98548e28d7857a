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
class QObject;
class QPushButton;
class TAb270Meter;
class TAbColBitBtn;
class TAbLED;
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
};

class TDeviceLink {
public:
    TDeviceLink(TVaComm& port, const TLinkControls& controls);

    TLinkState State;
    // The port window's lamp, which the close event puts out; that window registers it.
    void SetComPortLED(TAbLED* lamp) { FControls.ComPortLED = lamp; }
    QString LogFileName;
    // The clock of the log's date and time stamps.
    std::function<TDateTime()> Now = [] { return ::Now(); };

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
    // Sends the text's first five characters in Latin-1; returns the cut text.
    QString SerialNumberWrite(int channel, const QString& text);

    // Received bytes and the port's close event.
    void VaComm1RxChar(QObject* Sender, std::uint32_t Count);
    void VaComm1Close(QObject* Sender);
    // The line hung up and the port closed itself: try the same number again until it
    // is back; then "Port Open" lights and the live tick polls again.
    void VaComm1HangUp(QObject* Sender);
    bool RetryingPort() const { return FRetry.Trying(); }
    void StopPortRetry() { FRetry.Stop(); }
    void ClearArray();

    // The 100 ms live tick.
    void Timer2Timer(QObject* Sender);
    bool LiveFrameValid() const;
    float Lambda(int channel) const; // channel 1..4, from LiveBuf
    double SupplyVolts() const;

    // The data log.
    void LogStart(const QString& path);
    void LogStop();
    void LogCloseAtEnd();
    void WriteRecord();

private:
    void ReadRequest(int rxMode, const std::vector<std::uint8_t>& frame);
    void ShowLiveFrame();
    void StopLogAfterFailure();
    void SetLogControls(bool logging);
    void PortReopened();

    TVaComm& FPort;
    TLinkControls FControls;
    TDataLog FLog;
    TPortRetry FRetry;
};
