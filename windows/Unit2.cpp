#include "windows/Unit2.h"

#include "link/DeviceLink.h"
#include "link/Frames.h"
#include "serial/VaComm.h"
#include "widgets/AbCBitBt.h"
#include "widgets/AbNumEdit.h"
#include "windows/FormFonts.h"
#include "windows/Modeless.h"
#include "windows/SensorEditForms.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

TConfigForm* ConfigForm = nullptr;

namespace {
constexpr int FullBarPosition = 4; // above the bar's maximum of 3: the bar shows full

struct TLabelText {
    int left, top;
    const char* text;
    bool bold;
};
constexpr TLabelText Labels[] = {
    {160, 18, "CAN SETUP", true},
    {88, 51, "11 bit CAN address (0-2046)", true},
    {86, 82, "Slave CAN address (0-2046)", true},
    {160, 112, "SENSOR SETUP", true},
    {69, 146, "Resistor value (Ohms)", true},
    {240, 144, "Serial number", true},
    {112, 172, "CH1", true},
    {112, 212, "CH2", true},
    {112, 252, "CH3", true},
    {112, 292, "CH4", true},
    {100, 340, "Note: each sensor channel must have correct ", false},
    {100, 362, "sensor resistor value to give correct Lambda ", false},
};

TAbNumEdit* NumEdit(QWidget* parent, const char* name, int left, int top) {
    auto* edit = new TAbNumEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(left, top, 49, 24);
    edit->setFont(FormFont(QStringLiteral("Arial"), 13));
    edit->SetFormatStr(QStringLiteral("#0.#"));
    edit->SetIncrement(1);
    edit->SetColorDefault(clWindow);
    edit->SetDigitsBool(0);
    edit->SetDigitsHex(0);
    return edit;
}

TAbNumEdit* ResistorNumEdit(QWidget* parent, const char* name, int top, double minValue) {
    TAbNumEdit* edit = NumEdit(parent, name, 152, top);
    edit->SetMinValue(minValue);
    edit->SetMaxValue(20000);
    edit->SetOptions({eoLimitMax, eoLimitMin});
    edit->SetValue(1000);
    return edit;
}

QLineEdit* SerialNumberField(QWidget* parent, const char* name, int top) {
    auto* field = new QLineEdit(QStringLiteral("*****"), parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setGeometry(250, top, 52, 24);
    field->setFont(FormFont(QStringLiteral("Arial"), 13));
    field->setReadOnly(true);
    field->setMaxLength(5);
    return field;
}
} // namespace

TConfigForm::TConfigForm(TDeviceLink& link, QWidget* parent) : QDialog(parent), FLink(link) {
    setObjectName(QStringLiteral("ConfigForm"));
    setWindowTitle(QStringLiteral("Configuration"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(FormFont(QStringLiteral("MS Sans Serif"), 13));
    setFixedSize(438, 491);
    CreateLabels();
    CreateFields();

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TConfigForm::Timer1Timer);
}

void TConfigForm::CreateLabels() {
    for (const TLabelText& l : Labels) {
        auto* label = new QLabel(QString::fromLatin1(l.text), this);
        label->setFont(FormFont(QStringLiteral("MS Sans Serif"), 13, l.bold));
        label->move(l.left, l.top);
        label->adjustSize();
    }
    VersionLabel1 = new QLabel(QStringLiteral("       "), this);
    VersionLabel1->setObjectName(QStringLiteral("VersionLabel1"));
    VersionLabel1->move(16, 371);
    VersionLabel1->adjustSize();
}

// Created in the keyboard order, which makes the focus chain: the window opens with the
// focus in channel 3's resistor.
void TConfigForm::CreateFields() {
    AbNumEdit3 = ResistorNumEdit(this, "AbNumEdit3", 248, 100);
    AbNumEdit1 = ResistorNumEdit(this, "AbNumEdit1", 168, 1000);
    AbNumEdit2 = ResistorNumEdit(this, "AbNumEdit2", 208, 1000);
    AbNumEdit4 = ResistorNumEdit(this, "AbNumEdit4", 288, 1000);

    Button1 = new QPushButton(QStringLiteral("Read Configuration from controller"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(100, 398, 245, 41);
    Button1->setFont(FormFont(QStringLiteral("Arial"), 13));
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TConfigForm::Button1Click);

    AbNumCAN1 = NumEdit(this, "AbNumCAN1", 288, 48);
    AbNumCAN1->SetMaxValue(2046);
    AbNumCAN1->SetOptions({eoLimitMax});
    SensorSN_Edit1 = SerialNumberField(this, "SensorSN_Edit1", 166);
    SensorSN_Edit2 = SerialNumberField(this, "SensorSN_Edit2", 208);
    SensorSN_Edit3 = SerialNumberField(this, "SensorSN_Edit3", 248);
    SensorSN_Edit4 = SerialNumberField(this, "SensorSN_Edit4", 288);
    for (QLineEdit* field : {SensorSN_Edit1, SensorSN_Edit2, SensorSN_Edit3, SensorSN_Edit4})
        field->installEventFilter(this);
    AbNumCAN2 = NumEdit(this, "AbNumCAN2", 288, 78);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(152, 453, 150, 17);
    ProgressBar1->setRange(0, 3);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();

    for (TAbNumEdit* edit : {AbNumCAN1, AbNumCAN2, AbNumEdit1, AbNumEdit2, AbNumEdit3, AbNumEdit4})
        edit->Loaded();
    AbNumEdit1->OnValueChanged = [this](QObject* sender) { AbNumEdit1ValueChanged(sender); };
    AbNumEdit2->OnValueChanged = [this](QObject* sender) { AbNumEdit2ValueChanged(sender); };
    AbNumEdit3->OnValueChanged = [this](QObject* sender) { AbNumEdit3ValueChanged(sender); };
    AbNumEdit4->OnValueChanged = [this](QObject* sender) { AbNumEdit4ValueChanged(sender); };
    AbNumCAN1->OnValueChanged = [this](QObject* sender) { AbNumCAN1ValueChanged(sender); };
    AbNumCAN2->OnValueChanged = [this](QObject* sender) { AbNumCAN2ValueChanged(sender); };
}

TAbNumEdit* TConfigForm::ResistorEdit(int channel) const {
    const std::array<TAbNumEdit*, 4> edits{AbNumEdit1, AbNumEdit2, AbNumEdit3, AbNumEdit4};
    return edits.at(channel - 1);
}

QLineEdit* TConfigForm::SensorSN_Edit(int channel) const {
    const std::array<QLineEdit*, 4> fields{SensorSN_Edit1, SensorSN_Edit2, SensorSN_Edit3,
                                           SensorSN_Edit4};
    return fields.at(channel - 1);
}

void TConfigForm::ShowProgress(int position) {
    ProgressBar1->setValue(std::clamp(position, ProgressBar1->minimum(), ProgressBar1->maximum()));
}

void TConfigForm::ShowConfiguration(const TConfigValues& values) {
    for (int channel = 1; channel <= 4; ++channel) {
        ResistorEdit(channel)->SetValue(values.ResistorOhms[channel - 1]);
        SensorSN_Edit(channel)->setText(values.SerialNumber[channel - 1]);
    }
    AbNumCAN1->SetValue(values.CanAddress);
    AbNumCAN2->SetValue(values.SlaveCanAddress);
}

void TConfigForm::ShowVersion(const QString& text) {
    VersionLabel1->setText(text);
    VersionLabel1->adjustSize();
}

void TConfigForm::Button1Click() {
    if (!FLink.Port().Active())
        return;
    FLink.StartReadCycle();
}

void TConfigForm::ResistorValueChanged(int channel) {
    TDeviceLink& link = FLink;
    if (link.State.LinkBusy)
        return;
    link.ResistorWrite(channel, ResistorEdit(channel)->ValueAsInt());
    ShowProgress(0);
    ProgressBar1->show();
    ShowProgress(FullBarPosition);
    Timer1->start();
}

void TConfigForm::CanValueChanged(TAbNumEdit* edit, int address) {
    TDeviceLink& link = FLink;
    if (link.State.LinkBusy)
        return;
    link.CanAddressWrite(std::uint8_t(address), edit->ValueAsInt());
}

void TConfigForm::AbNumEdit1ValueChanged(QObject*) {
    ResistorValueChanged(1);
}
void TConfigForm::AbNumEdit2ValueChanged(QObject*) {
    ResistorValueChanged(2);
}
void TConfigForm::AbNumEdit3ValueChanged(QObject*) {
    ResistorValueChanged(3);
}
void TConfigForm::AbNumEdit4ValueChanged(QObject*) {
    ResistorValueChanged(4);
}
void TConfigForm::AbNumCAN1ValueChanged(QObject*) {
    CanValueChanged(AbNumCAN1, frames::CanAddress);
}
void TConfigForm::AbNumCAN2ValueChanged(QObject*) {
    CanValueChanged(AbNumCAN2, frames::SlaveCanAddress);
}

void TConfigForm::SensorSN_Edit1Click() {
    ShowModeless(SerialEditForm(1));
}
void TConfigForm::SensorSN_Edit2Click() {
    ShowModeless(SerialEditForm(2));
}
void TConfigForm::SensorSN_Edit3Click() {
    ShowModeless(SerialEditForm(3));
}
void TConfigForm::SensorSN_Edit4Click() {
    ShowModeless(SerialEditForm(4));
}

void TConfigForm::Timer1Timer() {
    ProgressBar1->hide();
    Timer1->stop();
}

// The live stream goes back on even with the port closed, so that the next "Open Port"
// resumes polling; otherwise it would stay off for the rest of the run.
void TConfigForm::FormClose() {
    FLink.SetPolling(true);
    ProgressBar1->hide();
}

// A click is the left button released over the field; the other buttons open nothing.
bool TConfigForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        const std::array<void (TConfigForm::*)(), 4> clicks{
            &TConfigForm::SensorSN_Edit1Click, &TConfigForm::SensorSN_Edit2Click,
            &TConfigForm::SensorSN_Edit3Click, &TConfigForm::SensorSN_Edit4Click};
        for (int channel = 1; channel <= 4; ++channel)
            if (watched == SensorSN_Edit(channel))
                (this->*clicks[channel - 1])();
    }
    return QDialog::eventFilter(watched, event);
}

// Escape does not close the window: only its close box does, which runs FormClose.
void TConfigForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        event->ignore();
    else
        QDialog::keyPressEvent(event);
}

void TConfigForm::showEvent(QShowEvent* event) {
    CentreOn(this, parentWidget());
    QDialog::showEvent(event);
}

void TConfigForm::closeEvent(QCloseEvent* event) {
    FormClose();
    QDialog::closeEvent(event);
}
