// uego-log: the controller's live data to a file or standard output, without a window.
#include "logger/LogOptions.h"
#include "logger/UegoLog.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// An error that escapes an event handler (the port component hands its own to the event
// loop) is reported, and the run goes on, as in the main window.
class TLogApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "uego-log: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "uego-log: unknown error\n");
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
        std::fprintf(stderr, "uego-log: %s\n%s", e.what(), LogUsageText);
        return 2;
    }
    if (!CatchStopSignals()) {
        std::perror("uego-log: pipe");
        return 1;
    }
    TLogApplication application(argc, argv);
    TUegoLog log(options);
    log.OnFinished = [](int status) { QCoreApplication::exit(status); };
    QSocketNotifier stop(StopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [&log] { log.Finish(0); });
    if (!log.Start())
        return 1;
    return application.exec();
}
