#pragma once
// The four sensor serial-number editors: one window per channel, alike but for the
// caption, client size, font, and which buffer and configuration field they serve.
#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class TDeviceLink;

class TSerialEditForm : public QDialog {
    Q_OBJECT
public:
    // Serves channel's sensor block of the link; centred on its parent when shown.
    TSerialEditForm(int channel, TDeviceLink& link, QWidget* parent);

    const int Channel;
    QLineEdit* SensorEdit; // SensorEdit1 … SensorEdit4
    QLabel* Label5;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    void FormActivate();
    void BitBtn1Click();
    void BitBtn2Click();

    // Told the serial number as sent, cut to what the controller holds.
    std::function<void(const QString&)> OnSent;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    TDeviceLink& FLink;
};

// Editor window N's own class, TSerialEdit1Form … TSerialEdit4Form.
template <int N> class TSerialEditFormOf : public TSerialEditForm {
public:
    TSerialEditFormOf(TDeviceLink& link, QWidget* parent) : TSerialEditForm(N, link, parent) {}
};

// Channel n's editor (n = 1 … 4).
TSerialEditForm* SerialEditForm(int channel);
