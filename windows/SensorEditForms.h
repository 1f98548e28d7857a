#pragma once
// The four sensor serial-number editors: one window per channel, alike but for the
// caption, client size, font, and which buffer and configuration field they serve.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TSerialEditForm : public QDialog {
    Q_OBJECT
public:
    TSerialEditForm(int channel, QWidget* parent);

    const int Channel;
    QLineEdit* SensorEdit; // SensorEdit1 … SensorEdit4
    QLabel* Label5;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    void FormActivate();
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

// Editor window N's own class, TSerialEdit1Form … TSerialEdit4Form.
template <int N> class TSerialEditFormOf : public TSerialEditForm {
public:
    explicit TSerialEditFormOf(QWidget* parent = nullptr) : TSerialEditForm(N, parent) {}
};

// Channel n's editor (n = 1 … 4).
TSerialEditForm* SerialEditForm(int channel);
