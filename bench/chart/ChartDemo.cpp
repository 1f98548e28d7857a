// The lambda chart at work: the real windows poll the controller emulator (warming up,
// then an engine under load) while the main window logs; the chart shows it live and
// then reviews the log, zoomed in with the cursor on it.
//   chart-demo                                   until the windows are closed
//   chart-demo --seconds N --live PNG --log PNG  saves both views as PNG and exits
//   chart-demo --open LOG --log PNG              saves the view of a log of any format
//              [--loading PNG]                   and the view while it is still being read
//              [--answer PNG]                    and the screen with the unit list opened by a
//                                                click while the log is read, then a unit picked
//              [--export CSV]                    and the whole log exported as CSV: how long,
//                                                the peak memory before and after, and the
//                                                longest the window went without its events
#include "app/Application.h"
#include "serial/VaComm.h"
#include "tools/ControllerEmulator.h"
#include "windows/ChartPlot.h"
#include "windows/Forms.h"
#include "windows/LambdaChart.h"
#include "windows/SpinEdit.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {
constexpr int DemoPort = 13;

// A loop of its own: the application's quit would close the windows, and the port with them.
void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Mouse events as the window system delivers them, so the plot and readouts follow.
void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
           Qt::MouseButtons held) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// A click as the window system queues it: it waits its turn behind the reading of the log.
void PostClick(QWidget* widget, QPoint at) {
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            widget,
            new QMouseEvent(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
}

void PostKey(QWidget* widget, int key) {
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
        QCoreApplication::postEvent(widget, new QKeyEvent(type, key, Qt::NoModifier));
}

// Runs the loop until `done` holds; the milliseconds it took.
template <class Done> qint64 RunUntil(Done done) {
    QElapsedTimer clock;
    clock.start();
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return clock.elapsed();
}

QString ReadShare() {
    const TLogFollower& log = LambdaChartForm->Log();
    return QStringLiteral("%1 %").arg(
        int(100.0 * double(log.Offset()) / double(std::max<std::uint64_t>(log.Size(), 1))));
}

// While the log is read: the unit list is clicked open, the whole screen saved with the
// list over the chart, and the next unit picked with the keys. Prints how long each took
// and the longest the window went without turning to its events.
void AnswerWhileLoading(const QString& png) {
    QElapsedTimer gapClock;
    gapClock.start();
    qint64 longestGap = 0;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, gapClock.restart()); });
    watch.start();
    RunFor(200);
    QComboBox* units = LambdaChartForm->UnitBox;
    const int unitBefore = units->currentIndex();
    const QString clickedAt = ReadShare();
    PostClick(units, units->rect().center());
    const qint64 opened = RunUntil([&] { return units->view()->isVisible(); });
    RunFor(100);
    QGuiApplication::primaryScreen()->grabWindow(0).save(png);
    gapClock.restart(); // the screenshot is the demo's own pause
    const QString keysAt = ReadShare();
    PostKey(units->view(), Qt::Key_Down);
    PostKey(units->view(), Qt::Key_Return);
    const qint64 picked = RunUntil([&] { return units->currentIndex() != unitBefore; });
    const bool stillReading = LambdaChartForm->Loading();
    while (LambdaChartForm->Loading())
        RunFor(20);
    watch.stop();
    std::printf("unit list open %lld ms after the click at reading %s; %s picked %lld ms after "
                "the keys at reading %s%s\n",
                (long long)opened, qPrintable(clickedAt), qPrintable(units->currentText()),
                (long long)picked, qPrintable(keysAt),
                stillReading ? ", the log still being read" : "");
    std::printf("longest the window went without turning to its events while the log was "
                "read: %lld ms\n",
                (long long)longestGap);
}

// The peak resident memory so far, in MiB (VmHWM).
double PeakMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    return 0;
}

// The whole log exported, a timer watching the window's turns meanwhile.
void ExportWhole(const QString& csv) {
    LambdaChartForm->ResetView();
    const double peakBefore = PeakMiB();
    QElapsedTimer gapClock;
    gapClock.start();
    qint64 longestGap = 0;
    long turns = 0;
    QTimer watch;
    watch.setInterval(1);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, gapClock.restart());
        ++turns;
    });
    QElapsedTimer took;
    took.start();
    watch.start();
    gapClock.restart();
    LambdaChartForm->ExportCsv(csv);
    watch.stop();
    std::printf("export of %zu records to %s: %.1f s, %.1f MiB; peak memory %.1f MiB before the "
                "export, %.1f MiB after; %ld turns of the window's events, the longest gap "
                "%lld ms\n",
                LambdaChartForm->Log().Parser().Series().Size(), qPrintable(csv),
                double(took.elapsed()) / 1000.0, double(QFileInfo(csv).size()) / (1 << 20),
                peakBefore, PeakMiB(), turns, (long long)longestGap);
}

void PointAt(QWidget* widget, QPoint at) {
    Mouse(widget, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
}

// A box dragged with the left button, as the operator zooms to it.
void DragBox(QWidget* widget, QPoint from, QPoint to) {
    Mouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    Mouse(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    Mouse(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}
} // namespace

int main(int argc, char** argv) {
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("4CH Uego Interface"));
    QCommandLineParser options;
    options.addOption({"seconds", "How long to poll before the screenshots.", "N", "40"});
    options.addOption({"live", "Save the live view as this PNG.", "PNG"});
    options.addOption({"log", "Save the reviewed log as this PNG.", "PNG"});
    options.addOption({"open", "Open this log instead of polling.", "LOG"});
    options.addOption({"loading", "With --open: save the view while the log is read.", "PNG"});
    options.addOption({"answer",
                       "With --open: open the unit list and pick a unit while the log is read; "
                       "save the screen with the list open.",
                       "PNG"});
    options.addOption({"export", "With --open: export the whole log as this CSV.", "CSV"});
    options.addHelpOption();
    options.process(application);

    sim::EmulatorOptions controller;
    controller.port = DemoPort;
    controller.warmupSeconds = 4;
    sim::ControllerEmulator emulator(controller);
    emulator.Start();
    CreateForms();
    Form1->show();
    ComPortForm->ComPortEdit1->setValue(DemoPort);
    ComPortForm->Button1->click();
    Form1->Chart1Click();
    if (options.isSet("open")) {
        LambdaChartForm->OpenLog(options.value("open"));
        if (options.isSet("loading")) {
            RunFor(100);
            LambdaChartForm->grab().save(options.value("loading"));
        }
        if (options.isSet("answer"))
            AnswerWhileLoading(options.value("answer"));
        while (LambdaChartForm->Loading())
            RunFor(50);
        RunFor(300);
        if (options.isSet("export"))
            ExportWhole(options.value("export"));
        if (options.isSet("log"))
            LambdaChartForm->grab().save(options.value("log"));
        std::printf("log records %zu\n", LambdaChartForm->Log().Parser().Series().Size());
        Form1->close();
        DestroyForms();
        return 0;
    }
    const QString log = dir.filePath(QStringLiteral("pull.csv"));
    Form1->Link().LogStart(log);
    if (!options.isSet("live") && !options.isSet("log"))
        return application.exec();

    const int seconds = options.value("seconds").toInt();
    RunFor(seconds * 1000 / 2);
    emulator.SetFault(sim::Fault::Silent, true); // a dropped line: the live view shows a gap
    RunFor(2500);
    emulator.SetFault(sim::Fault::Silent, false);
    RunFor(seconds * 1000 / 2);
    TChartPlot* plot = LambdaChartForm->Plot;
    PointAt(plot, plot->Area().center() + QPoint(plot->Area().width() / 4, 0));
    if (options.isSet("live"))
        LambdaChartForm->grab().save(options.value("live"));

    Form1->Link().LogStop();
    LambdaChartForm->OpenLog(log);
    const QRect area = plot->Area();
    DragBox(plot, QPoint(area.left() + area.width() * 55 / 100, area.top() + 2),
            QPoint(area.left() + area.width() * 75 / 100, area.bottom() - 2));
    RunFor(300);
    PointAt(plot, plot->Area().center());
    RunFor(300);
    if (options.isSet("log"))
        LambdaChartForm->grab().save(options.value("log"));
    std::printf("live frames %zu, log records %zu\n", LambdaChartForm->Live().Series().Size(),
                LambdaChartForm->Log().Parser().Series().Size());
    Form1->close();
    DestroyForms();
    return 0;
}
