#include "logger/UegoLog.h"

#include "link/ControllerPort.h"
#include "link/Frames.h"
#include "link/LiveFrame.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

using namespace std::chrono_literals;

namespace {

// The controller's line, as the main window sets its port: 19200 bit/s, ten bits a byte.
constexpr int LineBaud = 19200;
constexpr auto ByteTime = std::chrono::nanoseconds(10'000'000'000LL / LineBaud);
const std::vector<std::uint8_t> LiveDataRequest = frames::Frame(frames::ReadLiveData, {});
// A whole answer cannot be there before the request's and its own byte-times have passed.
const auto AnswerTime = ByteTime * (int(LiveDataRequest.size()) + frames::LiveFrameLength);
// A line silent this long whose queued requests do not leave is taken as hung up.
constexpr auto SilenceBeforeHangUp = 2s;
// After an answer given up, the line must be quiet this long before the next request (or
// twice the answer timeout, when that is longer), so that an answer that comes later still
// cannot be taken for the next request's.
constexpr auto SettlingTime = 500ms;
// No valid answer for this long is reported, once, and so is their return.
constexpr auto SilenceReported = 3s;
// The line's limit is judged from the median turnaround of this many exchanges.
constexpr std::size_t TurnaroundSamples = 64;

int CeilMilliseconds(std::chrono::steady_clock::duration d) {
    return int(std::max<long long>(std::chrono::ceil<std::chrono::milliseconds>(d).count(), 0));
}

bool StatusLineWanted(const TLogOptions& options) {
    return !options.Quiet && ::isatty(STDERR_FILENO);
}

void WriteStandardError(const QByteArray& text) {
    (void)!::write(STDERR_FILENO, text.constData(), size_t(text.size()));
}

QString Number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString Records(int count) {
    return count == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(count);
}

// The port's device is not there (yet): no such file or device, or an alias that points
// nowhere. Any other failed open (no permission, held by another program) is a fault.
bool DeviceAbsent(const EVaCommError& e, const std::string& path) {
    switch (e.ErrorCode()) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return true;
    case 0:
        break;
    default:
        return false;
    }
    struct stat device {};
    return ::stat(path.c_str(), &device) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// The null device by any name: a dry run.

bool IsNullDevice(const QString& path) {
    struct stat target {};
    struct stat null {};
    return ::stat(path.toLocal8Bit().constData(), &target) == 0 &&
           ::stat("/dev/null", &null) == 0 && S_ISCHR(target.st_mode) &&
           target.st_rdev == null.st_rdev;
}

const QString SheetUnit = QStringLiteral("lambda");

// The main window's first header line up to its date.
QString WindowHeaderStart() {
    const QString header = LogHeaderLine(0);
    return header.left(header.size() - FormatLocaleDate(0).size());
}

// An output the options do not let be written: it exists, or holds something else.
struct EOutputRefused : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void CreateNewFile(TDataLog& log, const QString& path) {
    try {
        log.CreateNew(path);
    } catch (const EInOutError& e) {
        if (e.ErrorCode != EEXIST)
            throw;
        throw EOutputRefused(QStringLiteral("%1 exists; --append continues it, --force replaces it")
                                 .arg(path)
                                 .toLocal8Bit()
                                 .toStdString());
    }
}

} // namespace

QString PreciseRecordLine(const QDateTime& when, double elapsedSeconds, const TLiveBuf& LiveBuf) {
    const QDateTime stamped = when.toOffsetFromUtc(when.offsetFromUtc());
    QString line =
        stamped.toString(Qt::ISODateWithMs) + QLatin1Char(',') + Number(elapsedSeconds, 3);
    for (float lambda : LiveLambdas(LiveBuf))
        line += QLatin1Char(',') + Number(lambda, 3);
    line += QLatin1Char(',') + Number(LiveSupplyVolts(LiveBuf), 2);
    line += LiveWarmUp(LiveBuf) ? QLatin1String(",1") : QLatin1String(",0");
    return line;
}

TUegoLog::TUegoLog(const TLogOptions& options, QObject* parent)
    : QObject(parent), FOptions(options) {
    OnMessage = [](const QString& line) {
        WriteStandardError("uego-log: " + line.toLocal8Bit() + '\n');
    };
    SetUpControllerPort(FPort);
    // Answers are read when they can be whole, not at each byte that comes, and a request
    // is written at once: the port needs neither of its threads. A hang-up shows when the
    // port is read.
    FPort.SetMonitorEvents({});
    FPort.SetDirectWrite(true);
    FPort.OnClose = [this](QObject*) { LoseLine(); };
    // Raised just before the port's own error for the hang-up, which LoseLine has reported.
    FPort.OnHangUp = [this](QObject*) { FHangUpReported = true; };

    for (QTimer* timer : {&FPollTimer, &FExchangeTimer, &FEndTimer, &FSilenceTimer}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    FWatchTimer.setInterval(1000);
    FStatusTimer.setInterval(1000);
    connect(&FPollTimer, &QTimer::timeout, this, &TUegoLog::PollTick);
    connect(&FExchangeTimer, &QTimer::timeout, this, &TUegoLog::ReadAnswer);
    connect(&FWatchTimer, &QTimer::timeout, this, &TUegoLog::WatchLine);
    connect(&FStatusTimer, &QTimer::timeout, this, &TUegoLog::ShowStatus);
    connect(&FEndTimer, &QTimer::timeout, this, &TUegoLog::EndWhenDue);
    FPortWaitTimer.setInterval(1000);
    FSyncTimer.setSingleShot(true);
    FSyncTimer.setInterval(1000);
    connect(&FPortWaitTimer, &QTimer::timeout, this, &TUegoLog::WaitForPort);
    connect(&FSyncTimer, &QTimer::timeout, this, &TUegoLog::SyncOutput);
    connect(&FSilenceTimer, &QTimer::timeout, this, &TUegoLog::ReportSilence);
}

TUegoLog::~TUegoLog() {
    FFinished = true;
    FPort.OnRxChar = nullptr;
    FPort.OnClose = nullptr;
    FPort.OnHangUp = nullptr;
    DropPortWatch();
    FPort.Close();
}

// ---- Start and end --------------------------------------------------------------------

std::optional<int> TUegoLog::Start() {
    FPort.SetPortNum(FOptions.Port);
    const TPortOpen opened = OpenPort();
    if (opened == TPortOpen::Open)
        return Begin();
    if (!FOptions.WaitForPort || opened == TPortOpen::Refused)
        return ExitFault;
    FPortWaitTimer.start();
    return std::nullopt;
}

// A port that cannot be opened is an error, unless it is waited for and its device is not
// there yet: then it is a notice, given again only when the reason changes, so a journal
// gets one line, not one a second. A device that is there but cannot be opened (no
// permission, held by another program) is not waited for: a service restarts the run.
TUegoLog::TPortOpen TUegoLog::OpenPort() {
    ++FPortTries;
    try {
        FPort.Open();
        return TPortOpen::Open;
    } catch (const EVaCommError& e) {
        QString reason =
            QStringLiteral("COM%1: %2").arg(FOptions.Port).arg(QString::fromLocal8Bit(e.what()));
        if (!FOptions.WaitForPort || !DeviceAbsent(e, FPort.DevicePath())) {
            Say(reason);
            return TPortOpen::Refused;
        }
        if (reason != FPortWaitReason) {
            FPortWaitReason = reason;
            if (reason.endsWith(QLatin1Char('.')))
                reason.chop(1);
            Notice(reason + QStringLiteral("; waiting for it to appear"));
        }
        return TPortOpen::Absent;
    }
}

void TUegoLog::WaitForPort() {
    if (FFinished)
        return;
    const TPortOpen opened = OpenPort();
    if (opened == TPortOpen::Refused) {
        FPortWaitTimer.stop();
        Finish(ExitFault);
    }
    if (opened != TPortOpen::Open)
        return;
    FPortWaitTimer.stop();
    if (const std::optional<int> failed = Begin())
        Finish(*failed);
}

// The port is open: the output, its header and the polling.
std::optional<int> TUegoLog::Begin() {
    try {
        OpenOutput();
    } catch (const EOutputRefused& e) {
        Say(QString::fromLocal8Bit(e.what()));
        FFinished = true;
        FPort.Close();
        return ExitUsage;
    } catch (const EInOutError& e) {
        FFinished = true;
        FPort.Close();
        if (ReaderWentAway(e))
            return ExitBrokenPipe;
        Say(OutputError(e));
        return ExitOutputFault;
    }
    FBegun = true;
    FRunStart = Clock::now();
    if (FOptions.Duration) {
        FRunEnd = FRunStart + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(*FOptions.Duration));
        EndWhenDue();
    }
    FWatchTimer.start();
    if (StatusLineWanted(FOptions)) {
        FStatusTime = FRunStart;
        FStatusTimer.start();
    }
    Notice(QStringLiteral("logging COM%1 (%2) at %3 to %4")
               .arg(FOptions.Port)
               .arg(QString::fromStdString(FPort.DevicePath()))
               .arg(FOptions.MaxRate ? QStringLiteral("the line's limit")
                                     : QStringLiteral("%1 Hz").arg(FOptions.Rate))
               .arg(OutputName()));
    StartPolling();
    return std::nullopt;
}

// Standard output, the null device for a dry run, or a file: a new one, one replaced
// (--force) or one continued (--append).
void TUegoLog::OpenOutput() {
    // Written again ahead of the next record should the file be cut to nothing under us.
    FLog.SetHeader([this] {
        if (FOptions.Format == TLogFormat::Precise)
            return QStringList{QString::fromLatin1(PreciseHeaderLine)};
        if (FOptions.Format == TLogFormat::Sheet)
            return QStringList{SheetHeaderLine(SheetUnit)};
        return QStringList{LogHeaderLine(Now()), QString::fromLatin1(LogColumnLine)};
    });
    struct stat output {};
    if (FOptions.ToStandardOutput())
        FLog.Adopt(::dup(STDOUT_FILENO));
    else if (IsNullDevice(FOptions.Out))
        FLog.Adopt(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    else if (::stat(FOptions.Out.toLocal8Bit().constData(), &output) == 0 &&
             !S_ISREG(output.st_mode)) // a directory, a FIFO, a device: not a log file
        throw EOutputRefused(
            QStringLiteral("%1: Not a regular file").arg(FOptions.Out).toLocal8Bit().toStdString());
    else if (FOptions.Existing == TExistingOutput::Append)
        return OpenToAppend();
    else if (FOptions.Existing == TExistingOutput::Replace)
        FLog.Create(FOptions.Out);
    else
        CreateNewFile(FLog, FOptions.Out);
    WriteHeader();
}

// A file continued keeps its one header, so it still reads as one log of its format.
void TUegoLog::OpenToAppend() {
    FLog.Append(FOptions.Out);
    const QByteArray firstLine = FLog.FirstLine();
    if (firstLine.isEmpty()) {
        WriteHeader();
    } else if (!HasOwnHeader(firstLine)) {
        FLog.Close();
        throw EOutputRefused(QStringLiteral("%1: not a log of the %2 format; not continued")
                                 .arg(FOptions.Out, LogFormatName(FOptions.Format))
                                 .toLocal8Bit()
                                 .toStdString());
    }
}

bool TUegoLog::HasOwnHeader(const QByteArray& firstLine) const {
    if (FOptions.Format == TLogFormat::Precise)
        return firstLine == PreciseHeaderLine;
    if (FOptions.Format == TLogFormat::Sheet)
        return firstLine == ToCodePage(SheetHeaderLine(SheetUnit));
    return firstLine.startsWith(ToCodePage(WindowHeaderStart()));
}

void TUegoLog::WriteHeader() {
    FLog.WriteHeader();
    SyncWithinASecond();
}

void TUegoLog::SyncWithinASecond() {
    if (!FSyncTimer.isActive())
        FSyncTimer.start();
}

// Records reach the disk within a second of being written, with one flush a second at
// most, so a power cut loses at most the last second.
void TUegoLog::SyncOutput() {
    try {
        FLog.Sync();
    } catch (const EInOutError& e) {
        FailOnOutput(e);
    }
}

// The port cannot be closed from inside its own callback (its event thread waits there for
// the callback to return), so the closing runs from the event loop; nothing is recorded
// in between.
void TUegoLog::Finish(int status) {
    if (FFinished)
        return;
    FFinished = true;
    FRunEnd = Clock::now();
    for (QTimer* timer : {&FPollTimer, &FExchangeTimer, &FWatchTimer, &FStatusTimer, &FEndTimer,
                          &FPortWaitTimer, &FSyncTimer, &FSilenceTimer})
        timer->stop();
    FRetry.Stop();
    QMetaObject::invokeMethod(
        this, [this, status] { Close(status); }, Qt::QueuedConnection);
}

void TUegoLog::Close(int status) {
    DropPortWatch();
    FPort.Close();
    try {
        FLog.Sync();
        FLog.Close();
    } catch (const EInOutError& e) {
        if (status != ExitOutputFault) // a fault said once
            Say(OutputError(e));
        status = ExitOutputFault;
    }
    if (FBegun)
        Notice(QStringLiteral("%1 in %2 s%3")
                   .arg(Records(FRecords))
                   .arg(Number(std::chrono::duration<double>(FRunEnd - FRunStart).count(), 1))
                   .arg(RejectedText()));
    // A run that logged nothing has failed, whatever ended it: a service's journal says why.
    if (status == ExitDone && FRecords == 0) {
        Say(NoRecordReason());
        status = ExitFault;
    }
    if (OnFinished)
        OnFinished(status);
}

// A timer runs for at most a day at a time, so any duration fits its millisecond count.
void TUegoLog::EndWhenDue() {
    const Clock::duration left = FRunEnd - Clock::now();
    if (left <= Clock::duration::zero())
        Finish(0);
    else
        FEndTimer.start(CeilMilliseconds(std::min<Clock::duration>(left, 24h)));
}

void TUegoLog::Fail(const QString& line, int status) {
    Say(line);
    Finish(status);
}

// A reader of standard output that went away ends the run without a word, as it ends
// any filter; any other output fault is one that a restart cannot mend.
void TUegoLog::FailOnOutput(const EInOutError& e) {
    if (ReaderWentAway(e))
        Finish(ExitBrokenPipe);
    else
        Fail(OutputError(e), ExitOutputFault);
}

bool TUegoLog::ReaderWentAway(const EInOutError& e) const {
    return e.ErrorCode == EPIPE && FOptions.ToStandardOutput();
}

QString TUegoLog::OutputName() const {
    return FOptions.ToStandardOutput() ? QStringLiteral("standard output") : FOptions.Out;
}

QString TUegoLog::NoRecordReason() const {
    const QString port = QStringLiteral("COM%1: no record written: ").arg(FOptions.Port);
    if (!FBegun)
        return port + QStringLiteral("the port never opened");
    if (FAnyValid) // the window format leaves warm-up out
        return port + QStringLiteral("the controller was in sensor warm-up all along");
    const int rejected = RejectedCount();
    return port + (rejected == 0
                       ? QStringLiteral("no answer came")
                       : QStringLiteral("no valid answer came (%1 rejected)").arg(rejected));
}

QString TUegoLog::OutputError(const EInOutError& e) const {
    return QStringLiteral("%1: %2 (%3)")
        .arg(OutputName(), QString::fromLocal8Bit(e.what()),
             QString::fromLocal8Bit(std::strerror(e.ErrorCode)));
}

// ---- Polling ----------------------------------------------------------------------------

void TUegoLog::StartPolling() {
    FExchangeOpen = false;
    FListening = false;
    FLastReceived = Clock::now();
    FPollStart = FLastReceived;
    FLastValid = FLastReceived;
    FRejectedAtValid = RejectedCount();
    FSilenceTimer.start(int(std::chrono::milliseconds(SilenceReported).count()));
    FSlot = 0;
    if (FOptions.MaxRate)
        SendRequest();
    else
        PollTick();
}

// A request goes out at each slot when the line is free. An answer still arriving (it has
// its answer timeout to begin) keeps the line for this slot too, so a rate above the line's
// limit gives what the line carries rather than cutting every answer short; so does the
// quiet wait after an answer given up.
void TUegoLog::PollTick() {
    const Clock::time_point now = Clock::now();
    if (FExchangeOpen)
        CollectAnswer(now);
    if (FExchangeOpen)
        FOverran = true;
    else if (!FListening && FPort.Active())
        SendRequest();
    ScheduleNextPoll(now);
}

// Requests go out at fixed slots from the start, so the rate does not drift; slots missed
// while the program was held up are skipped, not made up in a burst.
void TUegoLog::ScheduleNextPoll(Clock::time_point now) {
    if (FFinished || FLost)
        return;
    const std::chrono::duration<double> period(1.0 / FOptions.Rate);
    const auto slotNow = (long long)std::floor((now - FPollStart) / period);
    FSlot = std::max(FSlot + 1, slotNow);
    const auto due = FPollStart + std::chrono::duration_cast<Clock::duration>(FSlot * period);
    FPollTimer.start(CeilMilliseconds(due - now));
}

// Whatever is left of an earlier answer goes before the request, so that it cannot mix
// into this one.
void TUegoLog::SendRequest() {
    FListening = false;
    FPort.PurgeRead();
    FAnswer.clear();
    FExchangeOpen = true;
    FRequestTime = Clock::now();
    FAnswerDeadline = FRequestTime + std::chrono::milliseconds(FOptions.AnswerTimeoutMs);
    const int size = int(LiveDataRequest.size());
    if (FPort.WriteBuf(LiveDataRequest.data(), size) < size && FPort.Active()) {
        LoseLine(); // the driver's output queue stays full: nothing leaves the port any more
        return;
    }
    WaitForAnswer(FRequestTime + AnswerTime);
}

// The port is first read when a whole answer can have come, or at the answer's deadline
// when that is sooner; what is still missing then is read as it arrives. An answer thus
// costs a wake-up or two, as many as the pieces it comes in, not one a byte.
void TUegoLog::WaitForAnswer(Clock::time_point at) {
    FExchangeTimer.start(CeilMilliseconds(std::min(at, FAnswerDeadline) - Clock::now()));
}

void TUegoLog::ReadAnswer() {
    if (FFinished || FLost)
        return;
    if (FListening) {
        EndListening();
        return;
    }
    if (!FExchangeOpen)
        return;
    const Clock::time_point now = Clock::now();
    if (CollectAnswer(now))
        return;
    if (!StillArriving(now)) {
        if (GiveUpAnswer())
            ListenForLateRest();
        else if (FOptions.MaxRate)
            SendRequest();
    } else if (FPort.Active()) {
        WatchPort(true);
        const Clock::time_point check =
            now < FAnswerDeadline ? FAnswerDeadline : FAnswerDeadline + AnswerTime;
        FExchangeTimer.start(CeilMilliseconds(check - now));
    }
}

void TUegoLog::WatchPort(bool on) {
    if (on && !FAnswerWatch) {
        FAnswerWatch = std::make_unique<QSocketNotifier>(FPort.Handle(), QSocketNotifier::Read);
        connect(FAnswerWatch.get(), &QSocketNotifier::activated, this, &TUegoLog::ReadAnswer);
    }
    if (FAnswerWatch)
        FAnswerWatch->setEnabled(on);
}

// The watch goes before the port closes, as its descriptor goes with it.
void TUegoLog::DropPortWatch() {
    FAnswerWatch.reset();
}

// Takes what has come; true when it completed a good answer, which ends the exchange.
bool TUegoLog::CollectAnswer(Clock::time_point now) {
    const std::string received = FPort.ReadText();
    if (!received.empty()) {
        FLastReceived = now;
        FAnswer += received;
    }
    if (!TakeAnswer())
        return false;
    AnswerDone(now);
    return true;
}

// The answer is the first live frame in what came that checks: a start byte, the frame's
// length, and the checksum. Bytes before it (the rest of an earlier answer, junk) are passed
// over; a frame that fails its check is counted once the exchange ends without a good one.
bool TUegoLog::TakeAnswer() {
    for (std::size_t at = FAnswer.find(char(frames::StartByte)); at != std::string::npos;
         at = FAnswer.find(char(frames::StartByte), at + 1)) {
        if (at + 1 < FAnswer.size() && std::uint8_t(FAnswer[at + 1]) != frames::LiveFrameLength)
            continue;
        if (FAnswer.size() - at < std::size_t(frames::LiveFrameLength))
            return false;
        int index = 1;
        StoreReceived(FLiveBuf, index, FAnswer.substr(at, frames::LiveFrameLength));
        if (LiveFrameValid(FLiveBuf))
            return true;
        FBadChecksum = true;
    }
    return false;
}

// An answer must begin within the answer timeout of its request: until then it may still
// come. One that began in time, with no frame that failed its check, has an answer's
// byte-times more for the rest.
bool TUegoLog::StillArriving(Clock::time_point now) const {
    if (now < FAnswerDeadline)
        return true;
    return !FAnswer.empty() && !FBadChecksum && now < FAnswerDeadline + AnswerTime;
}

// A good answer is recorded and, at the line's limit, followed by the next request at once.
void TUegoLog::AnswerDone(Clock::time_point now) {
    FExchangeOpen = false;
    WatchPort(false);
    FBadChecksum = false;
    FExchangeTimer.stop();
    ValidAnswer(now);
    Record();
    MeasureTurnaround(now - FRequestTime);
    if (FOptions.MaxRate && !FFinished && !FLost)
        SendRequest();
}

// An answer that came wrong, in part or not at all by its deadline: counted, never recorded.
// True when the rest of it may still come: unless a whole frame came and failed its check.
bool TUegoLog::GiveUpAnswer() {
    FExchangeOpen = false;
    WatchPort(false);
    FExchangeTimer.stop();
    const bool badChecksum = std::exchange(FBadChecksum, false);
    if (badChecksum)
        ++FRejectedChecksum;
    else if (!FAnswer.empty())
        ++FRejectedIncomplete;
    FLateCounted = badChecksum || !FAnswer.empty();
    return !badChecksum;
}

// The next request waits until the line has been quiet for the settling time; what comes
// meanwhile (a late answer, the rest of one) is dropped as it comes, counted once, and the
// wait starts again from it. A late answer thus comes while nothing is asked.
void TUegoLog::ListenForLateRest() {
    FListening = true;
    WatchPort(FPort.Active());
    FExchangeTimer.start(CeilMilliseconds(std::max<Clock::duration>(
        SettlingTime, 2 * std::chrono::milliseconds(FOptions.AnswerTimeoutMs))));
}

// Called as bytes come, and when the line has been quiet long enough.
void TUegoLog::EndListening() {
    if (FPort.ReadBufUsed() > 0) {
        if (!std::exchange(FLateCounted, true))
            ++FRejectedIncomplete;
        FPort.PurgeRead();
        FLastReceived = Clock::now();
        ListenForLateRest();
        return;
    }
    if (FExchangeTimer.isActive())
        return; // woken with nothing to read: still settling
    FListening = false;
    WatchPort(false);
    if (FOptions.MaxRate)
        SendRequest(); // at a fixed rate, the next slot sends
}

// What the line carries is judged from a figure that one slow exchange does not move: the
// bytes of an exchange at the line's speed, plus the controller's turnaround (the rest of
// the exchange's time) as the median of many exchanges. It is said once, when the rate
// asked for is above it and slots went by while an answer was still on its way.
void TUegoLog::MeasureTurnaround(Clock::duration exchange) {
    if (FOptions.MaxRate || FRateReported)
        return;
    const double bytes = std::chrono::duration<double>(AnswerTime).count();
    FTurnarounds.push_back(std::max(std::chrono::duration<double>(exchange).count() - bytes, 0.0));
    if (FTurnarounds.size() < TurnaroundSamples)
        return;
    const auto middle = FTurnarounds.begin() + std::ptrdiff_t(FTurnarounds.size() / 2);
    std::nth_element(FTurnarounds.begin(), middle, FTurnarounds.end());
    const double carried = 1.0 / (bytes + *middle);
    FTurnarounds.clear();
    if (std::exchange(FOverran, false) && FOptions.Rate > carried)
        ReportLineLimit(carried);
}

void TUegoLog::ReportLineLimit(double carried) {
    FRateReported = true;
    if (!FOptions.Quiet)
        Say(QStringLiteral("--rate %1 is more than the line carries; it carries about %2 a second")
                .arg(FOptions.Rate)
                .arg(std::floor(carried)));
}

// ---- A silent controller -------------------------------------------------------------------

void TUegoLog::ValidAnswer(Clock::time_point now) {
    if (std::exchange(FSilenceReported, false))
        Say(QStringLiteral("COM%1: valid answers again after %2 s")
                .arg(FOptions.Port)
                .arg(Number(std::chrono::duration<double>(now - FLastValid).count(), 1)));
    FAnyValid = true;
    FLastValid = now;
    FRejectedAtValid = RejectedCount();
    FSilenceTimer.start(int(std::chrono::milliseconds(SilenceReported).count()));
}

// Said also with --quiet: records stop coming, as when the line goes.
void TUegoLog::ReportSilence() {
    if (FFinished || FLost)
        return;
    FSilenceReported = true;
    const int rejected = RejectedCount() - FRejectedAtValid;
    Say(QStringLiteral("COM%1: no valid answer for %2 s (%3)")
            .arg(FOptions.Port)
            .arg(std::chrono::duration_cast<std::chrono::seconds>(SilenceReported).count())
            .arg(rejected == 0 ? QStringLiteral("no answer at all")
                               : QStringLiteral("%1 rejected").arg(rejected)));
}

// ---- Records ----------------------------------------------------------------------------

void TUegoLog::Record() {
    FLastLambda = LiveLambdas(FLiveBuf);
    FLastVolts = LiveSupplyVolts(FLiveBuf);
    FLastWarmUp = LiveWarmUp(FLiveBuf);
    if (FOptions.Format == TLogFormat::Precise) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - FRunStart).count();
        WriteRecordLine(PreciseRecordLine(PreciseNow(), elapsed, FLiveBuf));
    } else if (!FLastWarmUp) { // the main window writes no record while warming up
        WriteRecordLine(
            FOptions.Format == TLogFormat::Sheet
                ? SheetRecordLine(FormatSheetDateTime(Now()), FLastLambda, float(FLastVolts))
                : LogRecordLine(Now(), FLastLambda));
    }
}

void TUegoLog::WriteRecordLine(const QString& line) {
    try {
        FLog.WriteLine(line);
        ++FRecords;
        SyncWithinASecond();
    } catch (const EInOutError& e) {
        FailOnOutput(e);
    }
}

// ---- The line going and coming back ---------------------------------------------------------

// Once a second. A port the component closed itself (a hang-up) is lost; so is one that
// has been silent for a while with requests stuck in its output queue, which a line that
// went away without the component noticing looks like.
void TUegoLog::WatchLine() {
    if (FLost)
        return;
    const bool silent = Clock::now() - FLastReceived >= SilenceBeforeHangUp;
    const int stuck = 2 * int(LiveDataRequest.size());
    if (!FPort.Active() || (silent && FPort.WriteBufUsed() >= stuck))
        LoseLine();
}

// Reported once; the file stays open while the port is retried once a second.
void TUegoLog::LoseLine() {
    if (FLost || FFinished)
        return;
    FLost = true;
    FExchangeOpen = false;
    FExchangeTimer.stop();
    FSilenceTimer.stop();
    DropPortWatch();
    FPollTimer.stop();
    Say(QStringLiteral("COM%1: the line is gone (adapter unplugged?); retrying once a second")
            .arg(FOptions.Port));
    QMetaObject::invokeMethod(
        this,
        [this] {
            FPort.Close();
            if (!FFinished)
                FRetry.Start();
        },
        Qt::QueuedConnection); // not from inside its callback
}

void TUegoLog::Reopened() {
    FLost = false;
    Notice(QStringLiteral("COM%1 is back; logging resumes").arg(FOptions.Port));
    StartPolling();
}

// ---- Standard error ---------------------------------------------------------------------

void TUegoLog::ShowStatus() {
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - FStatusTime).count();
    const double rate = seconds > 0 ? (FRecords - FRecordsAtStatus) / seconds : 0;
    FRecordsAtStatus = FRecords;
    FStatusTime = now;
    QString text = QStringLiteral("%1  %2/s").arg(Records(FRecords), Number(rate, 1));
    if (FAnyValid) { // no value before the first valid answer
        text += QStringLiteral("  lambda");
        for (float lambda : FLastLambda)
            text += QLatin1Char(' ') + Number(lambda, 3);
        text += QStringLiteral("  %1 V").arg(Number(FLastVolts, 2));
    }
    text += QStringLiteral("  silent %1 s")
                .arg(Number(std::chrono::duration<double>(now - FLastValid).count(), 1));
    if (const int rejected = FRejectedChecksum + FRejectedIncomplete)
        text += QStringLiteral("  rejected %1").arg(rejected);
    if (FLastWarmUp)
        text += QStringLiteral("  warm-up");
    if (FLost)
        text += QStringLiteral("  line gone");
    WriteStandardError("\r" + text.toLocal8Bit() + "\x1b[K");
    FStatusShown = true;
}

// Answers that came but were refused, by what was wrong with them.
QString TUegoLog::RejectedText() const {
    if (FRejectedChecksum + FRejectedIncomplete == 0)
        return {};
    return QStringLiteral("; answers rejected: %1 with a bad checksum, %2 late or incomplete")
        .arg(FRejectedChecksum)
        .arg(FRejectedIncomplete);
}

void TUegoLog::ClearStatus() {
    if (FStatusShown)
        WriteStandardError("\r\x1b[K");
    FStatusShown = false;
}

// Errors, and the line going away, which leaves a gap in the records: shown even with
// --quiet.
void TUegoLog::Say(const QString& line) {
    ClearStatus();
    if (OnMessage)
        OnMessage(line);
}

void TUegoLog::Notice(const QString& line) {
    if (!FOptions.Quiet)
        Say(line);
}

void TUegoLog::ReportEscapedError(const QString& text) {
    if (std::exchange(FHangUpReported, false))
        return;
    Say(text);
}
