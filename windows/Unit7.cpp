#include "windows/Unit7.h"

#include "link/DeviceLink.h"
#include "serial/VaComm.h"
#include "widgets/AbLED.h"
#include "windows/FormFonts.h"
#include "windows/SpinEdit.h"

#include <QPushButton>

TComPortForm* ComPortForm = nullptr;

TComPortForm::TComPortForm(TDeviceLink& link, QWidget* parent) : QDialog(parent), FLink(link) {
    setObjectName(QStringLiteral("ComPortForm"));
    setWindowTitle(QStringLiteral("COM Port Setup"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(FormFont(QStringLiteral("Tahoma"), 11));
    setFixedSize(330, 152);
    move(585, 329);

    ComPortEdit1 = new TSpinEdit(this);
    ComPortEdit1->setObjectName(QStringLiteral("ComPortEdit1"));
    ComPortEdit1->setGeometry(64, 47, 49, 29);
    ComPortEdit1->setFont(FormFont(QStringLiteral("Tahoma"), 16));
    ComPortEdit1->setRange(1, 255);
    ComPortEdit1->setValue(1);

    Button1 = new QPushButton(QStringLiteral("Open Port"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(152, 44, 97, 38);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TComPortForm::Button1Click);

    ComPortLED = new TAbLED(this);
    ComPortLED->setObjectName(QStringLiteral("ComPortLED"));
    ComPortLED->setGeometry(104, 101, 81, 33);
    ComPortLED->SetCaption(QStringLiteral("Port Open"));
    ComPortLED->SetMode(mIndicator);
    ComPortLED->LED()->SetHeight(15);
    ComPortLED->SetLED_Position(lpLeft);
    ComPortLED->SetSpacing(5);
    ComPortLED->Font()->SetName(QStringLiteral("Tahoma"));
    ComPortLED->Font()->SetHeight(-13);
    ComPortLED->Loaded();
}

int TComPortForm::ComPortNumber() const {
    return ComPortEdit1->Value();
}

void TComPortForm::Button1Click() {
    TVaComm* port = &FLink.Port();
    port->Close();
    port->SetPortNum(ComPortNumber());
    port->Open();
    if (port->Active())
        ComPortLED->SetChecked(true);
    else
        FLink.SetOnline(false);
}
