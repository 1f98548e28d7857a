#include "windows/Unit1NC.h"

#include "link/ControllerPort.h"
#include "serial/VaComm.h"
#include "widgets/AbCBitBt.h"
#include "widgets/AbLED.h"
#include "widgets/AbRMeter.h"
#include "widgets/AbVInd.h"
#include "widgets/InstrumentForms.h"
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

template <class T> T* Place(T* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

// An instrument at its place on the form, with the form's settings.
template <class T, class Form> T* Place(T* instrument, const Form& form) {
    instrument->setObjectName(form.Name);
    instrument->setGeometry(form.Bounds);
    ApplyForm(instrument, form);
    return instrument;
}
} // namespace

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
    TAb270Meter** meters[] = {&Meter1, &Meter2, &Meter3, &Meter4};
    for (int i = 0; i < 4; ++i)
        *meters[i] = Place(new TAb270Meter(client), MainMeters[i]);
    TAbValueInd** readouts[] = {&ValueInd1, &ValueInd2, &ValueInd3, &ValueInd4, &VoltsInd1};
    for (int i = 0; i < 5; ++i)
        *readouts[i] = Place(new TAbValueInd(client), MainReadouts[i]);

    Bevel1 = Place(new QFrame(client), "Bevel1", 752, 174, 106, 102);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    Online_LED1 = Place(new TAbLED(client), MainLamps[0]);
    LED2 = Place(new TAbLED(client), MainLamps[1]);

    Image3 = Place(new QLabel(client), "Image3", 672, 383, 121, 102);
    Image3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image3->setPixmap(QPixmap::fromImage(SensorPicture()));

    OnlineButton = Place(new TAbColBitBtn(client), MainOnlineButton);
    OnlineButton->setVisible(false);

    for (TAbGraphicControl* w : std::initializer_list<TAbGraphicControl*>{
             Meter1, Meter2, Meter3, Meter4, ValueInd1, ValueInd2, ValueInd3, ValueInd4, VoltsInd1,
             Online_LED1, LED2, OnlineButton})
        w->Loaded();
}

void TForm1::CreateLogControls(QWidget* client) {
    DiskLED = Place(new TAbLED(client), MainLamps[2]);
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
