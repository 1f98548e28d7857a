#pragma once
// The port setup window: the operator chooses the port by number and opens it.
#include <QDialog>

class QPushButton;
class TAbLED;
class TSpinEdit;
class TDeviceLink;

class TComPortForm : public QDialog {
    Q_OBJECT
public:
    // Opens link's port.
    TComPortForm(TDeviceLink& link, QWidget* parent);

    TSpinEdit* ComPortEdit1;
    QPushButton* Button1;
    TAbLED* ComPortLED;

    // "Open Port": close, take the number, open; errors reach the error report.
    void Button1Click();
    // The field's number: 1 to 255; text that is not a whole number counts as 1.
    int ComPortNumber() const;

private:
    TDeviceLink& FLink;
};

extern TComPortForm* ComPortForm;
