#include "link/DeviceLink.h"

#include "link/Frames.h"
#include "link/LiveFrame.h"
#include "serial/VaComm.h"

TDeviceLink::TDeviceLink(TVaComm& port, QTimer& readClock)
    : FPort(port), FReadClock(readClock), FRetry(port, [this] { PortReopened(); }) {}

void TDeviceLink::SetPolling(bool on) {
    State.Polling = on;
    Raise(OnPolling, on);
}

void TDeviceLink::SetOnline(bool on) {
    State.Online = on;
    Raise(OnOnline, on);
}

// ---- Frames out ----------------------------------------------------------------------

void TDeviceLink::Sendbyte(std::uint8_t data) {
    FPort.WriteChar(data);
}

void TDeviceLink::SendFrame(const std::vector<std::uint8_t>& frame) {
    for (std::uint8_t b : frame)
        Sendbyte(b);
}

void TDeviceLink::ReadRequest(int rxMode, const std::vector<std::uint8_t>& frame) {
    State.LinkBusy = true;
    SendFrame(frame);
    State.RxIndex = 1;
    State.RxMode = rxMode;
}

void TDeviceLink::Sensor1Request() {
    ReadRequest(rxSensor1, frames::Frame(frames::ReadBlock, {0x10, 0x10}));
}
void TDeviceLink::Sensor2Request() {
    ReadRequest(rxSensor2, frames::Frame(frames::ReadBlock, {0x20, 0x10}));
}
void TDeviceLink::Sensor3Request() {
    ReadRequest(rxSensor3, frames::Frame(frames::ReadBlock, {0x30, 0x20}));
}
void TDeviceLink::Sensor4Request() {
    ReadRequest(rxSensor4, frames::Frame(frames::ReadBlock, {0x40, 0x20}));
}
void TDeviceLink::ConfigRequest() {
    ReadRequest(rxConfig, frames::Frame(frames::ReadBlock, {0x00, 0x20}));
}
void TDeviceLink::VersionRequest() {
    ReadRequest(rxVersion, frames::Frame(frames::ReadVersion, {}));
}

void TDeviceLink::LiveDataRequest() {
    SendFrame(frames::Frame(frames::ReadLiveData, {}));
}

void TDeviceLink::ResistorWrite(int channel, int ohms) {
    if (State.LinkBusy)
        return;
    const std::uint16_t code = frames::ResistorCode(ohms);
    SendFrame(frames::Frame(frames::WriteBlock, {frames::SensorBlock(channel), 2,
                                                 std::uint8_t(code >> 8), std::uint8_t(code)}));
    ClearArray();
    State.RxMode = rxNone;
}

void TDeviceLink::CanAddressWrite(std::uint8_t address, int value) {
    if (State.LinkBusy)
        return;
    SendFrame(frames::Frame(frames::WriteBlock, {address, 2, std::uint8_t((value >> 8) & 0xFF),
                                                 std::uint8_t(value & 0xFF)}));
    ClearArray();
    State.RxMode = rxNone;
}

bool TDeviceLink::SerialNumberWrite(int channel, const QString& text,
                                    const std::function<void(const QString&)>& showCut) {
    if (State.LinkBusy)
        return false;
    QByteArray bytes = ToCodePage(text).left(frames::SerialNumberLength);
    const QString cut = QString::fromLatin1(bytes);
    bytes.resize(frames::SerialNumberLength, '\0');
    std::vector<std::uint8_t> parameters{frames::SerialNumberAddress(channel),
                                         std::uint8_t(frames::SerialNumberLength)};
    parameters.insert(parameters.end(), bytes.begin(), bytes.end());
    const std::vector<std::uint8_t> frame = frames::Frame(frames::WriteBlock, parameters);
    constexpr std::size_t HeaderLength = 5;
    for (std::size_t i = 0; i < HeaderLength; ++i)
        Sendbyte(frame[i]);
    if (showCut)
        showCut(cut);
    for (std::size_t i = HeaderLength; i < frame.size(); ++i)
        Sendbyte(frame[i]);
    return true;
}

// ---- Received bytes -------------------------------------------------------------------

void TDeviceLink::VaComm1RxChar(QObject*, std::uint32_t) {
    const std::string received = FPort.ReadText();
    auto storeInto = [&](auto& buffer) { return StoreReceived(buffer, State.RxIndex, received); };
    if (State.Polling) {
        const std::size_t kept = storeInto(State.LiveBuf);
        State.LiveArrived = State.LiveArrived || kept > 0;
    } else {
        TDeviceBuffer<50>* const blocks[] = {&State.SensorBuf1, &State.SensorBuf2,
                                             &State.SensorBuf3, &State.SensorBuf4,
                                             &State.ConfigBuf};
        if (State.RxMode >= rxSensor1 && State.RxMode <= rxConfig)
            storeInto(*blocks[State.RxMode - rxSensor1]);
        else if (State.RxMode == rxVersion)
            storeInto(State.VersionBuf);
    }
    SetOnline(true);
    State.SilenceCount = 1;
}

void TDeviceLink::VaComm1Close(QObject*) {
    Raise(OnPortOpen, false);
    if (!FPort.Active())
        SetOnline(false);
}

// A frame that arrived before the hang-up is not shown (nor logged) after the silence.
void TDeviceLink::VaComm1HangUp(QObject*) {
    State.LiveArrived = false;
    FRetry.Start();
}

void TDeviceLink::PortReopened() {
    Raise(OnPortOpen, true);
}

void TDeviceLink::ClearArray() {
    for (auto* buffer : {&State.SensorBuf1, &State.SensorBuf2, &State.SensorBuf3, &State.SensorBuf4,
                         &State.ConfigBuf})
        buffer->Clear();
}

// ---- Live tick ------------------------------------------------------------------------

void TDeviceLink::Timer2Timer(QObject*) {
    if (State.Polling && FPort.Active()) {
        State.RxIndex = 1;
        if (++State.SilenceCount > 10) {
            State.SilenceCount = 2;
            SetOnline(false);
        }
        // The arrival is taken only once the request went out: should the send fail, the
        // frame that arrived is shown at the next tick rather than lost.
        LiveDataRequest();
        if (std::exchange(State.LiveArrived, false) && LiveFrameValid(State.LiveBuf))
            ShowLiveFrame();
    }
    if (!State.Polling)
        SetOnline(false);
    Raise(OnConfigEnabled, State.Online);
}

// During warm-up every channel shows 1.0 and nothing is logged.
void TDeviceLink::ShowLiveFrame() {
    const std::array<float, 4> lambda = LiveLambdas(State.LiveBuf);
    const bool warmUp = LiveWarmUp(State.LiveBuf);
    Raise(OnLiveFrame, lambda, warmUp);
    TLiveShown shown{lambda, float(LiveSupplyVolts(State.LiveBuf)), warmUp};
    if (warmUp)
        shown.Lambda.fill(1.0f);
    Raise(OnLiveShown, shown);
    if (!warmUp && State.LogActive)
        WriteRecord(lambda);
}

// ---- Data log -------------------------------------------------------------------------

void TDeviceLink::SetLogActive(bool logging) {
    State.LogActive = logging;
    Raise(OnLogActive, logging);
}

void TDeviceLink::LogStart(const QString& path) {
    LogFileName = path;
    FLog.Create(path);
    FLogFailing = false;
    FRecordsLost = 0;
    SetLogActive(true);
    FLog.SetHeader([this] {
        return QStringList{LogHeaderLine(Now()), QString::fromLatin1(LogColumnLine)};
    });
    FLog.WriteHeader();
    Raise(OnLogFileName, LogFileName);
}

void TDeviceLink::LogStop() {
    State.LogActive = false;
    FLog.Close();
    SetLogActive(false);
}

void TDeviceLink::LogCloseAtEnd() {
    if (State.LogActive)
        FLog.Close();
}

// A record that cannot be written leaves the log on: the next valid frame tries again. The
// first failure of a spell is reported, the rest are only counted, so a full disk gives
// one box rather than ten a second; the first record written after it says so.
void TDeviceLink::WriteRecord(const std::array<float, 4>& lambda) {
    try {
        FLog.WriteLine(LogRecordLine(Now(), lambda));
    } catch (const EInOutError&) {
        ++FRecordsLost;
        if (std::exchange(FLogFailing, true))
            return;
        throw;
    }
    if (!std::exchange(FLogFailing, false))
        return;
    const int lost = std::exchange(FRecordsLost, 0);
    Raise(OnLogWrittenAgain,
          QStringLiteral("Records are written to %1 again; %2 %3 not written.")
              .arg(LogFileName)
              .arg(lost)
              .arg(lost == 1 ? QStringLiteral("record was") : QStringLiteral("records were")));
}
