#pragma once
// The configuration window: reads the controller's settings and sends each changed
// resistor value or CAN address at once; a click on a serial number opens its editor.
#include <QDialog>

class QLabel;
struct TConfigValues;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class TAbNumEdit;
class TDeviceLink;

class TConfigForm : public QDialog {
    Q_OBJECT
public:
    // Reads and writes the configuration over link.
    TConfigForm(TDeviceLink& link, QWidget* parent);

    TAbNumEdit* AbNumCAN1;
    TAbNumEdit* AbNumCAN2;
    TAbNumEdit* AbNumEdit1;
    TAbNumEdit* AbNumEdit2;
    TAbNumEdit* AbNumEdit3;
    TAbNumEdit* AbNumEdit4;
    QLineEdit* SensorSN_Edit1;
    QLineEdit* SensorSN_Edit2;
    QLineEdit* SensorSN_Edit3;
    QLineEdit* SensorSN_Edit4;
    QLabel* VersionLabel1;
    QPushButton* Button1;
    QProgressBar* ProgressBar1;
    QTimer* Timer1; // hides the progress bar a second after a resistor write

    // Channel n's resistor edit and serial-number field (n = 1 … 4).
    TAbNumEdit* ResistorEdit(int channel) const;
    QLineEdit* SensorSN_Edit(int channel) const;

    // The read cycle's progress on ProgressBar1; a position beyond its maximum shows a full bar.
    void ShowProgress(int position);
    // What a configuration read decoded, each value through its field's SetValue.
    void ShowConfiguration(const TConfigValues& values);
    void ShowVersion(const QString& text);

    void Button1Click();
    void AbNumEdit1ValueChanged(QObject* Sender);
    void AbNumEdit2ValueChanged(QObject* Sender);
    void AbNumEdit3ValueChanged(QObject* Sender);
    void AbNumEdit4ValueChanged(QObject* Sender);
    void AbNumCAN1ValueChanged(QObject* Sender);
    void AbNumCAN2ValueChanged(QObject* Sender);
    void SensorSN_Edit1Click();
    void SensorSN_Edit2Click();
    void SensorSN_Edit3Click();
    void SensorSN_Edit4Click();
    void Timer1Timer();
    void FormClose();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    TDeviceLink& FLink;
    void CreateLabels();
    void CreateFields();
    void ResistorValueChanged(int channel);
    void CanValueChanged(TAbNumEdit* edit, int address);
};

extern TConfigForm* ConfigForm;
