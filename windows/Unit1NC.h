#pragma once
// The main window: the operator's view of the controller and the owner of the port,
// the two 100 ms timers, the instruments and the link's handlers.
#include "link/DeviceLink.h"

#include <QMainWindow>
#include <cstdint>
#include <memory>

class QAction;
class QFileDialog;
class QFrame;
class QLabel;
class QMoveEvent;
class QPushButton;
class QTimer;
class TAb270Meter;
class TAbColBitBtn;
class TAbLED;
class TAbValueInd;
class TVaComm;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Components, in the order they are loaded.
    TAb270Meter* Meter1;
    TAb270Meter* Meter2;
    TAb270Meter* Meter3;
    TAb270Meter* Meter4;
    TAbValueInd* ValueInd1;
    TAbValueInd* ValueInd2;
    TAbValueInd* ValueInd3;
    TAbValueInd* ValueInd4;
    TAbValueInd* VoltsInd1;
    QFrame* Bevel1;
    TAbLED* DiskLED;
    QPushButton* LogStartButton;
    QPushButton* LogStopButton;
    TAbLED* Online_LED1;
    TAbLED* LED2;
    QLabel* Image3;
    QLabel* StaticText2;
    TAbColBitBtn* OnlineButton;
    QAction* ComPortMenu;
    QAction* Config1;
    QAction* About1;
    // Opens the lambda chart.
    QAction* Chart1;
    QTimer* Timer1; // configuration read cycle, stopped at start
    QTimer* Timer2; // live display, running from start
    TVaComm* VaComm1;
    QFileDialog* SaveTextFileDialog1 = nullptr; // made on first use

    // The link state and its handlers, shared with the other windows.
    TDeviceLink& Link() { return *FLink; }

    void Sendbyte(std::uint8_t byte);
    void ComPortMenuClick();
    void Config1Click();
    void About1Click();
    void Timer1Timer();
    void Chart1Click();
    void Timer2Timer();
    void VaComm1RxChar(QObject* Sender, std::uint32_t Count);
    void VaComm1Close(QObject* Sender);
    void VaComm1HangUp(QObject* Sender);
    void LogStartClick();
    void LogStopClick();
    void FormClose();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Centres the window again by its frame once the window manager has framed it.
    void moveEvent(QMoveEvent* event) override;

private:
    void BindLink();
    QFileDialog* SaveDialog();
    void CreateInstruments(QWidget* client);
    void CreateLogControls(QWidget* client);
    void CreatePort();

    std::unique_ptr<TDeviceLink> FLink;
    bool FCentredByFrame = false;
};

extern TForm1* Form1;
