// uego-log: the controller's live data to a file or standard output, without a window.
#include "logger/LogOptions.h"
#include "logger/UegoLog.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

// An error that escapes an event handler (the port component hands its own to the event
// loop) goes to the run to report, and the run goes on, as in the main window.
class TLogApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;

    std::function<void(const QString& text)> OnError;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            OnError(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            OnError(QStringLiteral("unknown error"));
        }
        return false;
    }
};

int StopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    (void)!::write(StopPipe[1], &byte, 1);
}

// SIGINT, SIGTERM and SIGHUP end the run from the event loop, between records. A reader of
// standard output that went away shows as a write error rather than killing the program.
bool CatchStopSignals() {
    if (::pipe2(StopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

// A reader that went away ends the program through the signal that would have ended it
// had it not been caught, so a shell sees what it sees of any filter.
int Ended(int status) {
    if (status == ExitBrokenPipe) {
        std::signal(SIGPIPE, SIG_DFL);
        ::raise(SIGPIPE);
    }
    return status;
}

QStringList Arguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char** argv) {
    TLogOptions options;
    try {
        switch (ParseLogOptions(Arguments(argc, argv), options)) {
        case TLogCommand::Help:
            std::fputs(LogUsageText, stdout);
            return 0;
        case TLogCommand::Version:
            std::fputs(LogVersionText, stdout);
            return 0;
        case TLogCommand::Run:
            break;
        }
    } catch (const EUsageError& e) {
        std::fprintf(stderr, "uego-log: %s\nTry 'uego-log --help'.\n", e.what());
        return ExitUsage;
    }
    if (!CatchStopSignals()) {
        std::perror("uego-log: pipe");
        return ExitFault;
    }
    TLogApplication application(argc, argv);
    // The messages are English, and so are the system's error texts within them, whatever
    // language the regional settings ask for (the application object has just taken those).
    std::setlocale(LC_MESSAGES, "C");
    TUegoLog log(options);
    application.OnError = [&log](const QString& text) { log.ReportEscapedError(text); };
    log.OnFinished = [](int status) { QCoreApplication::exit(status); };
    QSocketNotifier stop(StopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [&log] { log.Finish(ExitDone); });
    const std::optional<int> failed = log.Start();
    return Ended(failed ? *failed : application.exec());
}
