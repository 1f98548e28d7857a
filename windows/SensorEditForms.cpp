#include "windows/SensorEditForms.h"

#include "link/DeviceLink.h"
#include "windows/FormFonts.h"
#include "windows/Modeless.h"
#include "windows/Sensor1_Edit.h"
#include "windows/Sensor2_Edit.h"
#include "windows/Sensor3_Edit.h"
#include "windows/Sensor4_Edit.h"
#include "windows/WindowActivation.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TSerialEdit1Form* SerialEdit1Form = nullptr;
TSerialEdit2Form* SerialEdit2Form = nullptr;
TSerialEdit3Form* SerialEdit3Form = nullptr;
TSerialEdit4Form* SerialEdit4Form = nullptr;

namespace {
// What differs between the four editors.
struct TSerialEditDifferences {
    int ClientWidth, ClientHeight;
    const char* FontName;
    int FontHeight;
};
constexpr TSerialEditDifferences Differences[] = {
    {335, 211, "Arial", 13},
    {336, 210, "Tahoma", 11},
    {335, 214, "Tahoma", 11},
    {333, 213, "Tahoma", 11},
};

QPushButton* Button(QWidget* parent, const char* name, const char* caption, int left, int width) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, 160, width, 25);
    button->setAutoDefault(false);
    return button;
}
} // namespace

TSerialEditForm* SerialEditForm(int channel) {
    TSerialEditForm* const forms[] = {SerialEdit1Form, SerialEdit2Form, SerialEdit3Form,
                                      SerialEdit4Form};
    return forms[channel - 1];
}

TSerialEditForm::TSerialEditForm(int channel, TDeviceLink& link, QWidget* parent)
    : QDialog(parent), Channel(channel), FLink(link) {
    const TSerialEditDifferences& d = Differences[channel - 1];
    setObjectName(QStringLiteral("SerialEdit%1Form").arg(channel));
    setWindowTitle(QStringLiteral("Sensor %1 Serial Number").arg(channel));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(FormFont(QString::fromLatin1(d.FontName), d.FontHeight));
    setFixedSize(d.ClientWidth, d.ClientHeight);
    TWindowActivation::Instance(); // records activations before this window can have one

    SensorEdit = new QLineEdit(QStringLiteral("*****"), this);
    SensorEdit->setObjectName(QStringLiteral("SensorEdit%1").arg(channel));
    SensorEdit->setGeometry(112, 40, 65, 26);
    SensorEdit->setFont(FormFont(QStringLiteral("Arial"), 16));
    SensorEdit->setMaxLength(5);

    Label5 = new QLabel(QStringLiteral("Note: sensor serial number 5 characters only"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->move(32, 108);
    Label5->adjustSize();

    BitBtn1 = Button(this, "BitBtn1", "Update VORLANX", 32, 113);
    BitBtn2 = Button(this, "BitBtn2", "Cancel", 184, 91);
    connect(BitBtn1, &QPushButton::clicked, this, &TSerialEditForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TSerialEditForm::BitBtn2Click);
}

// The text always comes from the last sensor block read; typed text not sent is dropped.
void TSerialEditForm::FormActivate() {
    SensorEdit->setText(SerialNumberText(FLink.State.SensorBuf(Channel)));
}

void TSerialEditForm::BitBtn1Click() {
    FLink.SerialNumberWrite(Channel, SensorEdit->text(), [this](const QString& cut) {
        if (OnSent)
            OnSent(cut);
    });
    close();
}

void TSerialEditForm::BitBtn2Click() {
    close();
}

// Coming back from another program keeps what the operator typed; coming from another
// window of this one brings the buffer's text again.
bool TSerialEditForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && TWindowActivation::Instance().Previous() != this)
        FormActivate();
    return QDialog::event(event);
}

// Shown is activated too, also where no window manager hands over the activation.
void TSerialEditForm::showEvent(QShowEvent* event) {
    CentreOn(this, parentWidget());
    FormActivate();
    QDialog::showEvent(event);
}
