#include "windows/Unit1NC.h"

#include "link/ControllerPort.h"
#include "serial/VaComm.h"
#include "widgets/AbCBitBt.h"
#include "widgets/AbLED.h"
#include "widgets/AbRMeter.h"
#include "widgets/AbVInd.h"
#include "windows/AppIcon.h"
#include "windows/FormFonts.h"
#include "windows/JpegImage.h"
#include "windows/LambdaChart.h"
#include "windows/Modeless.h"
#include "windows/Unit2.h"
#include "windows/Unit4.h"
#include "windows/Unit7.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

TForm1* Form1 = nullptr;

namespace {
constexpr int ClientWidth = 894;
constexpr int ClientHeight = 534;
constexpr float MeterStartValue = -92.9f; // below the scale until the first data frame

template <class T> T* Place(T* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

void ConfigureBevel(TAbSBevel* bevel, TBevelStyle style, TBevelLine line) {
    bevel->SetStyle(style);
    bevel->SetBevelLine(line);
    bevel->SetWidth(2);
    bevel->SetSpacing(5);
    bevel->SurfaceGrad()->SetVisible(false);
}

void ConfigureReadout(TAbValueInd* readout, const QString& title, const QString& format) {
    readout->SignalSettings()->SetName1(title);
    readout->SignalSettings()->SetValueFormat(format);
    readout->SignalSettings()->SetValueTo(100);
    readout->SignalSettings()->SetValueUnit(QStringLiteral("%"));
    readout->SetLimitUpper(90);
    readout->SetLimitLower(10);
    readout->SetOptions({opName1});
    readout->Font()->SetName(QStringLiteral("Arial"));
    readout->Font()->SetHeight(-20);
    readout->Font()->SetStyle({});
    readout->FontValue()->SetName(QStringLiteral("Arial"));
    readout->FontValue()->SetHeight(-40);
    readout->FontValue()->SetStyle({});
    readout->FontValue()->SetColor(clLime);
    readout->BevelValue()->SetStyle(bsLowered);
    readout->BevelValue()->SetBevelLine(blNone);
    readout->BevelValue()->SetWidth(2);
    readout->BevelValue()->SetSpacing(0);
    readout->BevelValue()->SetColor(clBlack);
    ConfigureBevel(readout->BevelOuter(), bsRaised, blOuter);
    ConfigureBevel(readout->BevelInner(), bsLowered, blInner);
    readout->SetAutoSize(true);
}
} // namespace

void ConfigureLambdaMeter(TAb270Meter* meter, int channel) {
    meter->SetDigit(-133643);
    meter->SignalSettings()->SetName1(QStringLiteral("LAMBDA CH%1").arg(channel));
    meter->SignalSettings()->SetValueFormat(channel == 1 ? QStringLiteral("#0.000")
                                                         : QStringLiteral("#0.0"));
    meter->SignalSettings()->SetValueFrom(0.65f);
    meter->SignalSettings()->SetValueTo(1.35f);
    meter->SignalSettings()->SetValueUnit(QStringLiteral("h"));
    meter->SetLimitUpper(2.0f);
    meter->SetLimitLower(0.5f);
    meter->SetOptions({opBevelOuter, opName1});
    TScaleSettings* scale = meter->ScaleSettings();
    scale->SetSteps(14);
    scale->SetSubSteps(5);
    scale->SetValueFormat(QStringLiteral("#0.00"));
    scale->SetValueFormatLog(QStringLiteral("0e-0"));
    scale->SetColor(clBlack);
    scale->SetPointerColor(clLime);
    scale->SetDrawLine(true);
    scale->SetPosLeftTop(false);
    scale->Font()->SetName(QStringLiteral("Arial"));
    scale->Font()->SetHeight(-16);
    scale->Font()->SetStyle({fsBold});
    TSectorSettings* sectors = meter->SectorSettings();
    sectors->SetSector1Color(clGreen);
    sectors->SetSector3Color(clGreen);
    sectors->SetSector1From(1);
    sectors->SetSector1To(1);
    sectors->SetSector2From(1);
    sectors->SetSector2To(1);
    sectors->SetSector3From(1);
    sectors->SetSector3To(1);
    sectors->SetOffset(0);
    sectors->SetWidthOffset(0);
    meter->MinMax()->SetUseSectorCol(false);
    meter->MinMax()->SetMinVisible(false);
    meter->MinMax()->SetMaxVisible(false);
    ConfigureBevel(meter->BevelOuter(), bsRaised, blOuter);
    ConfigureBevel(meter->BevelInner(), bsLowered, blInner);
    meter->Font()->SetName(QStringLiteral("Arial"));
    meter->Font()->SetHeight(-11);
    meter->Font()->SetStyle({});
    meter->FontUnit()->SetName(QStringLiteral("System"));
    meter->FontUnit()->SetHeight(-13);
    meter->FontUnit()->SetStyle({fsBold});
    meter->FontUnit()->SetColor(clBlack);
    meter->SetAutoSize(false);
    meter->SetValue(MeterStartValue);
}

void ConfigureLambdaReadout(TAbValueInd* readout, const QString& title) {
    ConfigureReadout(readout, title, QStringLiteral("0.000"));
    readout->SetValue(0);
}

void ConfigureVoltsReadout(TAbValueInd* readout) {
    ConfigureReadout(readout, QStringLiteral("Power"), QStringLiteral("#0.0"));
    readout->SignalSettings()->SetValueUnit(QStringLiteral("V"));
    readout->SetOptions({opName1, opUnit});
    readout->Font()->SetHeight(-16);
    readout->Font()->SetStyle({fsBold});
    readout->FontValue()->SetHeight(-21);
    readout->FontValue()->SetStyle({fsBold});
    readout->SetValue(0);
}

void ConfigureStatusLamp(TAbLED* lamp, const QString& caption) {
    lamp->SetCaption(caption);
    lamp->SetMode(mIndicator);
    lamp->SetFlashing(false);
    lamp->SetFrequency(ff1Hz);
    lamp->LED()->SetWidth(18);
    lamp->LED()->SetHeight(18);
    lamp->LED()->SetColorOff(clAppWorkSpace);
    lamp->SetLED_Position(lpLeft);
    lamp->SetSpacing(5);
    lamp->Font()->SetName(QStringLiteral("Arial"));
    lamp->Font()->SetHeight(-16);
    lamp->Font()->SetStyle({fsBold});
}

void ConfigureDiskLamp(TAbLED* lamp) {
    lamp->SetCaption(QStringLiteral("Log to Disk"));
    lamp->SetMode(mIndicator);
    lamp->SetFlashing(false);
    lamp->SetFrequency(ff1Hz);
    lamp->LED()->SetWidth(15);
    lamp->LED()->SetHeight(15);
    lamp->SetLED_Position(lpLeft);
    lamp->SetSpacing(5);
}

void ConfigureOnlineButton(TAbColBitBtn* button) {
    button->SetTextOn(QStringLiteral("COMMS ON"));
    button->SetTextColOn(clLime);
    button->SetTextOff(QStringLiteral("COMMS OFF"));
    button->SetTextColOff(clBlack);
    button->SetText3D(true);
    button->Font()->SetName(QStringLiteral("Tahoma"));
    button->Font()->SetHeight(-11);
    button->Font()->SetStyle({fsBold});
    button->GradBtnFace()->SetVisible(true);
    button->GradBtnFace()->SetStyle(gsHorizontal1);
    button->GradBtnFace()->SetColorFrom(RGBColor(240, 240, 240));
    button->GradBtnFace()->SetColorTo(RGBColor(105, 105, 105));
    button->ButtonBevel()->SetWidth(4);
    button->SetColorOn(clBtnFace);
    button->SetColorOff(clBtnFace);
    button->SetColorDisabled(RGBColor(160, 160, 160));
    button->SetOffsetDown(1);
    button->SetSpacing(4);
    button->SetMode(mSwitch);
    button->SetChecked(true);
    button->SetStatusInt(1);
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("VORLANX UEGO INTERFACE"));
    setWindowIcon(AppIcon());
    setFont(FormFont(QStringLiteral("MS Sans Serif"), 11, true));
    // The components keep their places at the top-left whatever the window's size: an
    // ordinary resizable frame, which may also be made smaller than the client area.
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->resize(ClientWidth, ClientHeight);
    client->setAutoFillBackground(true);
    client->setBackgroundRole(QPalette::Button);
    setCentralWidget(client);

    CreateInstruments(client);
    CreateLogControls(client);

    ComPortMenu = menuBar()->addAction(QStringLiteral("ComPort"));
    Config1 = menuBar()->addAction(QStringLiteral("Config"));
    About1 = menuBar()->addAction(QStringLiteral("About"));
    Chart1 = menuBar()->addAction(QStringLiteral("Chart"));
    Config1->setEnabled(false);
    connect(ComPortMenu, &QAction::triggered, this, &TForm1::ComPortMenuClick);
    connect(Config1, &QAction::triggered, this, &TForm1::Config1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);
    connect(Chart1, &QAction::triggered, this, &TForm1::Chart1Click);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(100);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);

    CreatePort();
    FLink = std::make_unique<TDeviceLink>(*VaComm1, *Timer1);
    BindLink();
    Timer2->start();

    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    CentreOnScreen(this);
}

TForm1::~TForm1() {
    VaComm1->OnRxChar = nullptr;
    VaComm1->OnClose = nullptr;
    VaComm1->OnHangUp = nullptr;
}

void TForm1::CreateInstruments(QWidget* client) {
    Meter1 = Place(new TAb270Meter(client), "Meter1", 17, 9, 273, 241);
    Meter2 = Place(new TAb270Meter(client), "Meter2", 296, 8, 273, 241);
    Meter3 = Place(new TAb270Meter(client), "Meter3", 16, 256, 273, 241);
    Meter4 = Place(new TAb270Meter(client), "Meter4", 296, 256, 273, 241);
    ValueInd1 = Place(new TAbValueInd(client), "ValueInd1", 582, 8, 148, 72);
    ValueInd2 = Place(new TAbValueInd(client), "ValueInd2", 736, 8, 148, 72);
    ValueInd3 = Place(new TAbValueInd(client), "ValueInd3", 584, 96, 148, 72);
    ValueInd4 = Place(new TAbValueInd(client), "ValueInd4", 738, 96, 148, 72);
    VoltsInd1 = Place(new TAbValueInd(client), "VoltsInd1", 621, 182, 83, 47);
    const std::pair<TAb270Meter*, TAbValueInd*> channels[] = {
        {Meter1, ValueInd1}, {Meter2, ValueInd2}, {Meter3, ValueInd3}, {Meter4, ValueInd4}};
    int channel = 1;
    for (auto [meter, readout] : channels) {
        ConfigureLambdaMeter(meter, channel);
        ConfigureLambdaReadout(readout, QStringLiteral("CH%1").arg(channel));
        ++channel;
    }
    ConfigureVoltsReadout(VoltsInd1);

    Bevel1 = Place(new QFrame(client), "Bevel1", 752, 174, 106, 102);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    Online_LED1 = Place(new TAbLED(client), "Online_LED1", 624, 304, 217, 33);
    ConfigureStatusLamp(Online_LED1, QStringLiteral("LAMBDA DATA ONLINE"));
    LED2 = Place(new TAbLED(client), "LED2", 624, 330, 217, 33);
    ConfigureStatusLamp(LED2, QStringLiteral("SENSOR WARMUP"));

    Image3 = Place(new QLabel(client), "Image3", 672, 383, 121, 102);
    Image3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image3->setPixmap(QPixmap::fromImage(SensorPicture()));

    OnlineButton = Place(new TAbColBitBtn(client), "OnlineButton", 592, 243, 129, 33);
    ConfigureOnlineButton(OnlineButton);
    OnlineButton->setVisible(false);

    for (TAbGraphicControl* w : std::initializer_list<TAbGraphicControl*>{
             Meter1, Meter2, Meter3, Meter4, ValueInd1, ValueInd2, ValueInd3, ValueInd4, VoltsInd1,
             Online_LED1, LED2, OnlineButton})
        w->Loaded();
}

void TForm1::CreateLogControls(QWidget* client) {
    DiskLED = Place(new TAbLED(client), "DiskLED", 761, 174, 97, 33);
    ConfigureDiskLamp(DiskLED);
    DiskLED->Loaded();

    LogStartButton = Place(new QPushButton(QStringLiteral("Log Start"), client), "LogStartButton",
                           766, 210, 75, 25);
    LogStopButton = Place(new QPushButton(QStringLiteral("Log Stop"), client), "LogStopButton", 766,
                          241, 75, 25);
    LogStopButton->setEnabled(false);
    connect(LogStartButton, &QPushButton::clicked, this, &TForm1::LogStartClick);
    connect(LogStopButton, &QPushButton::clicked, this, &TForm1::LogStopClick);

    StaticText2 = Place(new QLabel(client), "StaticText2", 29, 513, 0, 0);
    StaticText2->adjustSize();
}

void TForm1::CreatePort() {
    VaComm1 = new TVaComm(this);
    VaComm1->setObjectName(QStringLiteral("VaComm1"));
    VaComm1->SetPortNum(6);
    SetUpControllerPort(*VaComm1);
    VaComm1->OnRxChar = [this](QObject* sender, std::uint32_t count) {
        VaComm1RxChar(sender, count);
    };
    VaComm1->OnClose = [this](QObject* sender) { VaComm1Close(sender); };
    VaComm1->OnHangUp = [this](QObject* sender) { VaComm1HangUp(sender); };
}

// The instruments, lamps, menu item and log controls show what the link tells.
void TForm1::BindLink() {
    const std::array<TAb270Meter*, 4> meters{Meter1, Meter2, Meter3, Meter4};
    const std::array<TAbValueInd*, 4> readouts{ValueInd1, ValueInd2, ValueInd3, ValueInd4};
    FLink->OnLiveShown = [this, meters, readouts](const TLiveShown& shown) {
        for (std::size_t n = 0; n < meters.size(); ++n) {
            meters[n]->SetValue(shown.Lambda[n]);
            readouts[n]->SetValue(meters[n]->Value());
        }
        VoltsInd1->SetValue(shown.Volts);
        LED2->SetChecked(shown.WarmUp);
    };
    FLink->OnPolling = [this](bool on) { OnlineButton->SetChecked(on); };
    FLink->OnOnline = [this](bool on) { Online_LED1->SetChecked(on); };
    FLink->OnConfigEnabled = [this](bool enabled) { Config1->setEnabled(enabled); };
    FLink->OnLogActive = [this](bool logging) {
        DiskLED->SetChecked(logging);
        LogStopButton->setEnabled(logging);
        LogStartButton->setEnabled(!logging);
    };
    FLink->OnLogFileName = [this](const QString& fileName) {
        StaticText2->setText(fileName);
        StaticText2->adjustSize();
    };
    // Told once a spell of failed records is over; the box does not hold up the ticks.
    FLink->OnLogWrittenAgain = [this](const QString& text) {
        auto* box = new QMessageBox(QMessageBox::Information, QApplication::applicationName(), text,
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
}

void TForm1::Sendbyte(std::uint8_t byte) {
    FLink->Sendbyte(byte);
}

void TForm1::ComPortMenuClick() {
    ShowModeless(ComPortForm);
}

void TForm1::Config1Click() {
    ShowModeless(ConfigForm);
}

void TForm1::About1Click() {
    ShowModeless(AboutForm);
}

void TForm1::Timer1Timer() {
    FLink->Timer1Timer(Timer1);
}

void TForm1::Chart1Click() {
    std::array<TColor, ChartChannels> colors{};
    TAb270Meter* const meter[] = {Meter1, Meter2, Meter3, Meter4};
    for (int n = 0; n < ChartChannels; ++n)
        colors[n] = meter[n]->ScaleSettings()->PointerColor();
    ShowLambdaChart(this, Link(), colors);
}

void TForm1::Timer2Timer() {
    FLink->Timer2Timer(Timer2);
}

void TForm1::VaComm1RxChar(QObject* Sender, std::uint32_t Count) {
    FLink->VaComm1RxChar(Sender, Count);
}

void TForm1::VaComm1Close(QObject* Sender) {
    FLink->VaComm1Close(Sender);
}

void TForm1::VaComm1HangUp(QObject* Sender) {
    FLink->VaComm1HangUp(Sender);
}

// The save dialog is made when first needed: building it reads the file system and
// starts a thread of Qt's, which start-up need not pay for.
QFileDialog* TForm1::SaveDialog() {
    if (!SaveTextFileDialog1) {
        SaveTextFileDialog1 = new QFileDialog(this);
        SaveTextFileDialog1->setObjectName(QStringLiteral("SaveTextFileDialog1"));
        SaveTextFileDialog1->setAcceptMode(QFileDialog::AcceptSave);
        SaveTextFileDialog1->setFileMode(QFileDialog::AnyFile);
        SaveTextFileDialog1->setDefaultSuffix(QStringLiteral("csv"));
        SaveTextFileDialog1->setNameFilter(QStringLiteral("csv (*.csv)"));
        SaveTextFileDialog1->setOption(QFileDialog::DontUseNativeDialog);
        SaveTextFileDialog1->setOption(QFileDialog::DontConfirmOverwrite, false);
        SaveTextFileDialog1->setSizeGripEnabled(true);
    }
    return SaveTextFileDialog1;
}

void TForm1::LogStartClick() {
    if (SaveDialog()->exec() != QDialog::Accepted || SaveTextFileDialog1->selectedFiles().isEmpty())
        return;
    FLink->LogStart(SaveTextFileDialog1->selectedFiles().constFirst());
}

void TForm1::LogStopClick() {
    FLink->LogStop();
}

void TForm1::FormClose() {
    FLink->StopPortRetry();
    VaComm1->Close();
    FLink->LogCloseAtEnd();
}

void TForm1::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (!FCentredByFrame && frameGeometry().size() != size()) {
        FCentredByFrame = true;
        CentreOnScreen(this);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}
