// The configuration read cycle: six block and version requests on six ticks of the main
// window's Timer1, then the buffers decoded into the configuration window's fields.
#include "link/DeviceLink.h"

#include "link/Frames.h"
#include "serial/VaComm.h"
#include "widgets/AbCBitBt.h"
#include "widgets/AbLED.h"
#include "widgets/AbNumEdit.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {
constexpr int FirstSerialIndex = 14; // controller byte 8 of a sensor block
constexpr int LastRequestStep = 7;
constexpr int LastStep = 9;

int ResistorOhmsAt(const TDeviceBuffer<50>& buffer) {
    return frames::ResistorOhms(buffer[6] * 256 + buffer[7]);
}

int CanAddressAt(const TDeviceBuffer<50>& buffer, int firstIndex) {
    return frames::CanAddressValue(buffer[firstIndex], buffer[firstIndex + 1],
                                   buffer[firstIndex + 2], buffer[firstIndex + 3]);
}
} // namespace

QString SerialNumberText(const TDeviceBuffer<50>& sensorBuffer) {
    QString text;
    for (int i = FirstSerialIndex; i < FirstSerialIndex + frames::SerialNumberLength; ++i) {
        if (sensorBuffer[i] == 0)
            break;
        text += QChar(sensorBuffer[i]);
    }
    return text;
}

QString VersionText(std::uint8_t version) {
    // v / 10 with two significant digits: below 100 it is exact, above it is whole.
    const double number = version < 100 ? version / 10.0 : std::nearbyint(version / 10.0);
    return QStringLiteral("V") +
           QString::number(number, 'f', 1).replace(QLatin1Char('.'), DecimalSeparator());
}

void ShowProgress(QProgressBar* bar, int position) {
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
}

void TDeviceLink::StartReadCycle() {
    FControls.OnlineButton->SetChecked(false);
    FConfig.ProgressBar1->show();
    ShowProgress(FConfig.ProgressBar1, 0);
    State.LinkBusy = true;
    State.ReadStep = 1;
    FPort.PurgeRead();
    State.RxIndex = 1;
    FControls.Timer1->start();
    ClearArray();
    State.RxMode = rxSensor3;
}

void TDeviceLink::Timer1Timer(QObject*) {
    FControls.Online_LED1->SetChecked(false);
    ++State.ReadStep;
    ShowProgress(FConfig.ProgressBar1, State.ReadStep);
    switch (State.ReadStep) {
    case 2:
        Sensor1Request();
        break;
    case 3:
        Sensor2Request();
        break;
    case 4:
        Sensor3Request();
        break;
    case 5:
        Sensor4Request();
        break;
    case 6:
        ConfigRequest();
        break;
    case LastRequestStep:
        VersionRequest();
        break;
    default:
        break;
    }
    if (State.ReadStep > LastRequestStep)
        DecodeConfiguration();
    FConfig.VersionLabel1->setText(VersionText(State.VersionBuf[4]));
    FConfig.VersionLabel1->adjustSize();
    if (State.ReadStep > LastStep - 1) {
        FControls.Timer1->stop();
        State.LinkBusy = false;
    }
    if (State.ReadStep == LastStep)
        FConfig.ProgressBar1->hide();
}

// Each value reaches its edit through SetValue, which applies the edit's limits; the
// edits' change handlers see LinkBusy still set and send nothing back.
void TDeviceLink::DecodeConfiguration() {
    for (int channel = 1; channel <= 4; ++channel) {
        const TDeviceBuffer<50>& buffer = State.SensorBuf(channel);
        FConfig.AbNumEdit[channel - 1]->SetValue(ResistorOhmsAt(buffer));
        FConfig.SensorSN_Edit[channel - 1]->setText(SerialNumberText(buffer));
    }
    FConfig.AbNumCAN1->SetValue(CanAddressAt(State.ConfigBuf, 6));
    FConfig.AbNumCAN2->SetValue(CanAddressAt(State.ConfigBuf, 14));
}
