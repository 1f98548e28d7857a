// Every window as the operator first sees it, saved as PNG, so that a change meant to keep
// the look can be compared pixel for pixel with the pictures taken before it:
//   window-shots DIR     writes main, config, port, about, serial-edit, chart-live and
//                        chart-log .png into DIR
// The chart's log is made here, the same every run: ten minutes at 10 Hz in the precise
// format, warming up for the first minute, with a silence of half a minute.
#include "app/Application.h"
#include "windows/Forms.h"
#include "windows/LambdaChart.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstdio>

namespace {

void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray Thousandths(int value) {
    return QByteArray::number(value / 1000) + '.' +
           QByteArray::number(value % 1000).rightJustified(3, '0');
}

// Four slow waves around lambda 1, the supply steady; UTC stamps, so the picture is the
// same in every time zone.
bool WriteLog(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\r\n");
    for (int i = 0; i < 6000; ++i) {
        if (i >= 3000 && i < 3300)
            continue; // the line was silent
        const int ms = i * 100;
        QByteArray line = "2025-12-09T14:" + QByteArray::number(ms / 60000).rightJustified(2, '0') +
                          ':' + QByteArray::number(ms / 1000 % 60).rightJustified(2, '0') + '.' +
                          QByteArray::number(ms % 1000).rightJustified(3, '0') + "+00:00," +
                          Thousandths(ms) + ',';
        for (int ch = 0; ch < 4; ++ch)
            line += Thousandths(1000 + static_cast<int>(std::lround(
                                           150 * std::sin(i / (80.0 + 25 * ch) + ch)))) +
                    ',';
        line += "12.55," + QByteArray(i < 600 ? "1" : "0") + "\r\n";
        file.write(line);
    }
    return file.flush();
}

bool Save(QWidget* window, const QDir& dir, const char* name) {
    window->show();
    RunFor(200);
    const bool saved = window->grab().save(dir.filePath(QString::fromLatin1(name) + ".png"));
    if (!saved)
        std::fprintf(stderr, "window-shots: cannot write %s.png\n", name);
    return saved;
}
} // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    TApplication application(argc, argv);
    application.SetTitle(QStringLiteral("4CH Uego Interface"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: window-shots DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QString log = config.filePath(QStringLiteral("waves.csv"));
    if (!dir.exists() || !WriteLog(log)) {
        std::fprintf(stderr, "window-shots: %s is not a folder, or no log could be made\n",
                     argv[1]);
        return 1;
    }
    CreateForms();
    bool saved = Save(Form1, dir, "main");
    saved = Save(ConfigForm, dir, "config") && saved;
    ConfigForm->hide();
    saved = Save(ComPortForm, dir, "port") && saved;
    ComPortForm->hide();
    saved = Save(AboutForm, dir, "about") && saved;
    AboutForm->hide();
    saved = Save(SerialEdit1Form, dir, "serial-edit") && saved;
    SerialEdit1Form->hide();
    Form1->Chart1Click();
    saved = Save(LambdaChartForm, dir, "chart-live") && saved;
    LambdaChartForm->OpenLog(log);
    saved = Save(LambdaChartForm, dir, "chart-log") && saved;
    Form1->close();
    DestroyForms();
    return saved ? 0 : 1;
}
