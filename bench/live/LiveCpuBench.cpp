// The program's own cost while it monitors: the real windows poll the controller emulator
// (a separate process, so its work is not counted) at 10 Hz with all four channels moving.
// Prints the CPU time used as a percentage of one core and the peak resident memory.
//   live-cpu [--seconds N] [--port N]      (default 30 s on port 11)
#include "app/Application.h"
#include "widgets/AbRMeter.h"
#include "windows/Forms.h"
#include "windows/SpinEdit.h"

#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <thread>

namespace {
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
} // namespace

int main(int argc, char** argv) {
    int seconds = 30;
    int port = 11;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--port"))
            port = std::atoi(argv[i + 1]);
    }
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());

    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("4CH Uego Interface"));
    QProcess sim;
    sim.start(QStringLiteral(UEGO_SIM_PATH),
              {"--port", QString::number(port), "--warmup", "0", "--pattern", "engine"});
    if (!sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "live-cpu: the controller emulator did not start\n");
        return 1;
    }
    CreateForms();
    Form1->show();
    ComPortForm->ComPortEdit1->setValue(port);
    ComPortForm->Button1->click();

    int changes = 0;
    Form1->Meter1->OnValueChange = [&](QObject*) { ++changes; };
    double cpuAtStart = 0;
    QTimer::singleShot(2000, [&] {
        cpuAtStart = CpuSeconds();
        changes = 0;
        QTimer::singleShot(seconds * 1000, &application, &QApplication::quit);
    });
    application.exec();
    const double cpu = CpuSeconds() - cpuAtStart;

    std::printf("live monitor, %d s at 10 Hz, platform %s\n", seconds,
                qPrintable(QGuiApplication::platformName()));
    std::printf("  CPU: %.3f s = %.2f %% of one core\n", cpu, 100.0 * cpu / seconds);
    std::printf("  peak resident memory: %.1f MiB\n", PeakKiB() / 1024.0);
    std::printf("  Meter1 changes seen: %d (%.1f per second)\n", changes,
                double(changes) / seconds);
    Form1->close();
    DestroyForms();
    sim.terminate();
    sim.waitForFinished(3000);
    return changes > 0 ? 0 : 1;
}
