// The configuration read cycle: six block and version requests on six ticks of the main
// window's Timer1, then the buffers decoded and told to the configuration window.
#include "link/DeviceLink.h"

#include "core/Numbers.h"
#include "link/Frames.h"
#include "serial/VaComm.h"

#include <QTimer>
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
    return QStringLiteral("V") + FixedDecimals(number, 1);
}

void TDeviceLink::StartReadCycle() {
    SetPolling(false);
    Raise(OnReadProgressShown, true);
    Raise(OnReadProgress, 0);
    State.LinkBusy = true;
    State.ReadStep = 1;
    FPort.PurgeRead();
    State.RxIndex = 1;
    FReadClock.start();
    ClearArray();
    State.RxMode = rxSensor3;
}

void TDeviceLink::Timer1Timer(QObject*) {
    SetOnline(false);
    ++State.ReadStep;
    Raise(OnReadProgress, State.ReadStep);
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
    Raise(OnVersionText, VersionText(State.VersionBuf[4]));
    if (State.ReadStep > LastStep - 1) {
        FReadClock.stop();
        State.LinkBusy = false;
    }
    if (State.ReadStep == LastStep)
        Raise(OnReadProgressShown, false);
}

// The window hands each value to its edit through SetValue, which applies the edit's limits;
// the edits' change handlers see LinkBusy still set and send nothing back.
void TDeviceLink::DecodeConfiguration() {
    TConfigValues values;
    for (int channel = 1; channel <= 4; ++channel) {
        const TDeviceBuffer<50>& buffer = State.SensorBuf(channel);
        values.ResistorOhms[channel - 1] = ResistorOhmsAt(buffer);
        values.SerialNumber[channel - 1] = SerialNumberText(buffer);
    }
    values.CanAddress = CanAddressAt(State.ConfigBuf, 6);
    values.SlaveCanAddress = CanAddressAt(State.ConfigBuf, 14);
    Raise(OnConfiguration, values);
}
