#pragma once
// uego-log's run: polls the controller for live data and writes one record per valid answer,
// without a window. It goes through the main window's port component, frames, live-frame
// check and decoding, and record writer, so the two cannot drift apart.
#include "core/PosixFiles.h"
#include "link/DataLog.h"
#include "link/LinkState.h"
#include "link/PortRetry.h"
#include "logger/LogOptions.h"
#include "serial/VaComm.h"

#include <QDateTime>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// A record of the precise format (its header row is PreciseHeaderLine): ISO 8601 local time
// with milliseconds and the UTC offset, elapsed seconds, the four lambda values, supply volts
// and the warm-up flag. Numbers use a decimal point whatever the regional settings, as the
// comma separates fields.
QString PreciseRecordLine(const QDateTime& when, double elapsedSeconds, const TLiveBuf& LiveBuf);

// How a run ends: the program's exit status.
enum TLogExit : int {
    ExitDone = 0,
    ExitFault = 1,       // the port failed, or another fault a restart may mend
    ExitUsage = 2,       // bad options, or an output file the options do not let be written
    ExitOutputFault = 3, // a full disk, a file that cannot be written: a restart cannot mend it
    ExitBrokenPipe = 128 + SIGPIPE, // the reader went away; the program ends through SIGPIPE
};

class TUegoLog : public QObject {
public:
    using Clock = std::chrono::steady_clock;

    explicit TUegoLog(const TLogOptions& options, QObject* parent = nullptr);
    ~TUegoLog() override;

    // Opens the port (or, with --wait-for-port, waits for it), then the output with its
    // header, and starts polling. A port or an output that cannot be opened is reported
    // through OnMessage, and the result is the exit status; none while the run goes on.
    std::optional<int> Start();
    // Ends the run after the record in hand: closes the port and the output from the event
    // loop, then reports the exit status (this one, or ExitOutputFault when the output could
    // not be flushed or closed) through OnFinished.
    void Finish(int status);
    // An error that escaped to the event loop: reported, unless it is the port's own word
    // for a hang-up that has been reported already.
    void ReportEscapedError(const QString& text);

    // Called once, when the run has ended by itself or through Finish.
    std::function<void(int status)> OnFinished;
    // Notices and errors, one line each; by default to standard error.
    std::function<void(const QString& line)> OnMessage;
    // The clocks of the stamps: the window format's, and the precise format's.
    std::function<TDateTime()> Now = [] { return ::Now(); };
    std::function<QDateTime()> PreciseNow = [] { return QDateTime::currentDateTime(); };

    int RecordCount() const { return FRecords; }
    int RejectedCount() const { return FRejectedChecksum + FRejectedIncomplete; }
    bool LineLost() const { return FLost; }
    int PortTries() const { return FPortTries; }
    TVaComm& Port() { return FPort; }

private:
    enum class TPortOpen { Open, Absent, Refused };
    TPortOpen OpenPort();
    void WaitForPort();
    std::optional<int> Begin();
    void OpenOutput();
    void OpenToAppend();
    void WriteHeader();
    bool HasOwnHeader(const QByteArray& firstLine) const;
    void SyncWithinASecond();
    void SyncOutput();
    void Close(int status);
    void EndWhenDue();
    QString OutputName() const;
    QString OutputError(const EInOutError& e) const;
    void StartPolling();
    void PollTick();
    void ScheduleNextPoll(Clock::time_point now);
    void SendRequest();
    void WaitForAnswer(Clock::time_point at);
    void ReadAnswer();
    bool CollectAnswer(Clock::time_point now);
    bool TakeAnswer();
    void WatchPort(bool on);
    void DropPortWatch();
    bool StillArriving(Clock::time_point now) const;
    void AnswerDone(Clock::time_point now);
    bool GiveUpAnswer();
    void ListenForLateRest();
    void EndListening();
    void MeasureTurnaround(Clock::duration exchange);
    void ReportLineLimit(double carried);
    void ValidAnswer(Clock::time_point now);
    void ReportSilence();
    QString NoRecordReason() const;
    void Record();
    void WriteRecordLine(const QString& line);
    void WatchLine();
    void LoseLine();
    void Reopened();
    void ShowStatus();
    QString RejectedText() const;
    void ClearStatus();
    void Say(const QString& line);
    void Notice(const QString& line);
    void Fail(const QString& line, int status);
    void FailOnOutput(const EInOutError& e);
    bool ReaderWentAway(const EInOutError& e) const;

    TLogOptions FOptions;
    TVaComm FPort;
    TDataLog FLog;
    TLiveBuf FLiveBuf;
    std::string FAnswer;                           // what came since the request
    std::unique_ptr<QSocketNotifier> FAnswerWatch; // the rest of an answer as it arrives

    QTimer FPollTimer;     // the next request at the chosen rate
    QTimer FExchangeTimer; // reads the answer when it can be whole, and gives it up
    QTimer FWatchTimer;    // once a second: is the line still there?
    TPortRetry FRetry{FPort, [this] { Reopened(); }}; // once a second after it went: back?
    QTimer FStatusTimer;                              // the status line on a terminal
    QTimer FEndTimer;                                 // --duration
    QTimer FPortWaitTimer; // --wait-for-port: once a second, is the port there yet?
    QTimer FSyncTimer;     // the file to disk within a second of a record
    QTimer FSilenceTimer;  // 3 s after the last valid answer: the controller is silent

    bool FExchangeOpen = false;
    bool FLost = false;
    bool FFinished = false;
    bool FStatusShown = false;
    bool FBegun = false;          // the output is open and polling has started
    bool FHangUpReported = false; // the port's own hang-up error is still to come
    int FPortTries = 0;
    QString FPortWaitReason; // the last reason given for waiting
    Clock::time_point FRunStart;
    Clock::time_point FRunEnd; // when --duration ends the run; when it ended
    Clock::time_point FPollStart;
    long long FSlot = 0;
    Clock::time_point FLastReceived;
    Clock::time_point FRequestTime;
    Clock::time_point FAnswerDeadline;
    bool FBadChecksum = false; // a frame of this exchange failed its check
    bool FListening = false;   // after an answer given up: waiting for the line to be quiet
    bool FLateCounted = false; // the answer given up is counted already
    int FRejectedChecksum = 0;
    int FRejectedIncomplete = 0; // late, cut short, or of the wrong length
    bool FOverran = false;       // an answer still coming kept the line past its slot
    bool FRateReported = false;
    std::vector<double> FTurnarounds; // the controller's, in seconds, of recent exchanges
    bool FAnyValid = false;           // a valid answer came in this run
    Clock::time_point FLastValid;     // the last valid answer, or the start of polling
    int FRejectedAtValid = 0;         // answers rejected until then
    bool FSilenceReported = false;
    int FRecords = 0;
    int FRecordsAtStatus = 0;
    Clock::time_point FStatusTime;
    std::array<float, 4> FLastLambda{};
    double FLastVolts = 0;
    bool FLastWarmUp = false;
};
