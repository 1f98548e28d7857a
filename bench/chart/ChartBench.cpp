// The lambda chart's costs on a full day's log, beside the floor of reading the same file
// into a plain array, and its share of the live tick. Each part runs in a child process
// of its own, so each peak resident memory is that part's alone.
//   chart-bench [--hours N]      (default 24 hours at 10 records a second)
#include "app/Application.h"
#include "chart/Decimation.h"
#include "serial/VaComm.h"
#include "tools/ControllerEmulator.h"
#include "windows/ChartPlot.h"
#include "windows/Forms.h"
#include "windows/LambdaChart.h"
#include "windows/SpinEdit.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <numeric>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifdef UEGO_WITH_QT_CHARTS
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>
#endif

namespace {
constexpr int BenchPort = 12;

double Ms(const QElapsedTimer& clock) {
    return clock.nsecsElapsed() / 1e6;
}

double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

struct Figures {
    double mean = 0, median = 0, worst = 0;
};

Figures Summary(std::vector<double> samples) {
    Figures f;
    if (samples.empty())
        return f;
    std::sort(samples.begin(), samples.end());
    f.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / double(samples.size());
    f.median = samples[samples.size() / 2];
    f.worst = samples.back();
    return f;
}

// A day of records as the main window writes them, from 06:00:00 on past midnight: four
// channels wandering around 1.0 like an engine under load, ten records a second.
void WriteDayLog(const std::string& path, long records) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fputs("VORLANX Log V1.0  24.12.2024\r\nTime, CH1, CH2, CH3, CH4\r\n", file);
    for (long i = 0; i < records; ++i) {
        const long second = (6 * 3600 + i / 10) % 86400;
        const double t = i / 10.0;
        std::fprintf(file, "%02ld:%02ld:%02ld", second / 3600, second / 60 % 60, second % 60);
        for (int n = 0; n < 4; ++n) {
            const double lambda = 1.0 + 0.14 * std::sin(0.8 * t + n) +
                                  0.05 * std::sin(3.7 * t + 2 * n) + 0.02 * std::sin(41.0 * t + n);
            std::fprintf(file, ", %.3f", lambda);
        }
        std::fputs("\r\n", file);
    }
    std::fclose(file);
}

// Runs the part in a child process and prints the child's peak resident memory.
void RunPart(const char* name, const std::function<void()>& part) {
    std::printf("\n%s\n", name);
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        part();
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    std::printf("  peak resident memory of this part: %.1f MiB%s\n", usage.ru_maxrss / 1024.0,
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : " (the part failed)");
}

// The floor: the file read whole and split into a flat array of numbers, nothing more.
void ReadIntoPlainArray(const std::string& path) {
    QElapsedTimer clock;
    clock.start();
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::replace(text.begin(), text.end(), ',', ' ');
    std::vector<float> values;
    values.reserve(text.size() / 7);
    const char* at = text.data() + text.find('\n', text.find('\n') + 1) + 1;
    const char* const end = text.data() + text.size();
    while (at + 8 < end) {
        const int h = (at[0] - '0') * 10 + at[1] - '0';
        const int m = (at[3] - '0') * 10 + at[4] - '0';
        const int s = (at[6] - '0') * 10 + at[7] - '0';
        values.push_back(float((h * 60 + m) * 60 + s));
        at += 8;
        for (int n = 0; n < 4; ++n) {
            while (at < end && *at == ' ')
                ++at;
            float value = 0;
            at = std::from_chars(at, end, value).ptr;
            values.push_back(value);
        }
        while (at < end && (*at == '\r' || *at == '\n'))
            ++at;
    }
    std::printf("  read and split into %zu numbers: %.0f ms\n", values.size(), Ms(clock));
}

struct Windows {
    Windows(int& argc, char** argv) : application(argc, argv) {
        application.SetTitle(QStringLiteral("4CH Uego Interface"));
        CreateForms();
        Form1->show();
    }
    ~Windows() {
        Form1->close();
        DestroyForms();
    }
    TLambdaChartForm* Chart() {
        Form1->Chart1Click();
        QElapsedTimer clock;
        clock.start();
        while (!LambdaChartForm->windowHandle()->isExposed() && clock.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return LambdaChartForm;
    }
    TApplication application;
};

Figures TimeRedraws(TChartPlot* plot, const std::function<void()>& change, int count) {
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        change();
        plot->repaint();
        samples.push_back(Ms(clock));
    }
    return Summary(samples);
}

void ZoomAndPan(TChartPlot* plot, double x0, double x1, const char* name) {
    const int middle = plot->Area().center().x();
    plot->SetXRange(x0, x1);
    const Figures zoom = TimeRedraws(
        plot, [&] { plot->ZoomX(0.95, middle); }, 20);
    const Figures pan = TimeRedraws(
        plot, [&] { plot->PanBy(QPoint(-25, 0)); }, 20);
    std::printf(
        "  zoom at %-8s median %6.1f ms, worst %6.1f ms;  pan median %6.1f ms, worst %6.1f ms\n",
        name, zoom.median, zoom.worst, pan.median, pan.worst);
}

// Pixels that are neither black nor white: drawn by a line, so both drew their lines.
int LitPixels(const QImage& image) {
    int lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            lit += c.saturation() > 100 && c.value() > 100;
        }
    return lit;
}

// The same decimated points drawn by QPainter and, when it is built in, by Qt Charts.
void CompareDrawing(const TLogSeries& series, QSize size) {
    const int width = size.width();
    const double x0 = series.Time.front(), x1 = series.Time.back();
    std::array<TTrace, 4> traces;
    for (int n = 0; n < 4; ++n)
        traces[n] = Decimate(series.Time, series.Lambda[n], x0, x1, width, 2.0);
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> painter;
    for (int round = 0; round < 20; ++round) {
        QElapsedTimer clock;
        clock.start();
        image.fill(Qt::black);
        QPainter p(&image);
        for (int n = 0; n < 4; ++n) {
            QPolygonF line;
            for (const QPointF& point : traces[n].Points)
                line.append(QPointF((point.x() - x0) * width / (x1 - x0),
                                    size.height() * (1.5 - point.y())));
            p.setPen(QPen(QColor::fromHsv(n * 80, 255, 255), 1));
            p.drawPolyline(line);
        }
        painter.push_back(Ms(clock));
    }
    std::printf("  the same %zu points drawn: QPainter median %.1f ms (%d lit pixels)\n",
                traces[0].Points.size() * 4, Summary(painter).median, LitPixels(image));
#ifdef UEGO_WITH_QT_CHARTS
    auto* chart = new QChart;
    chart->legend()->hide();
    auto* xAxis = new QValueAxis;
    auto* yAxis = new QValueAxis;
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    std::array<QLineSeries*, 4> lines{};
    for (int n = 0; n < 4; ++n) {
        lines[n] = new QLineSeries;
        chart->addSeries(lines[n]);
        lines[n]->attachAxis(xAxis);
        lines[n]->attachAxis(yAxis);
    }
    QChartView view(chart);
    view.resize(size);
    view.show();
    QElapsedTimer shown;
    shown.start();
    while (!view.windowHandle()->isExposed() && shown.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::vector<double> charts;
    for (int round = 0; round < 20; ++round) {
        QElapsedTimer clock;
        clock.start();
        for (int n = 0; n < 4; ++n)
            lines[n]->replace(QList<QPointF>(traces[n].Points.begin(), traces[n].Points.end()));
        xAxis->setRange(x0 + round, x1);
        yAxis->setRange(0.6, 1.4);
        QCoreApplication::processEvents(); // lets the chart lay out its items
        image.fill(Qt::black);
        QPainter p(&image);
        view.render(&p);
        charts.push_back(Ms(clock));
    }
    std::printf("                                   Qt Charts median %.1f ms (%d lit pixels)\n",
                Summary(charts).median, LitPixels(image));
#endif
}

void OpenAndDraw(int argc, char** argv, const std::string& path) {
    Windows windows(argc, argv);
    TLambdaChartForm* chart = windows.Chart();
    const double before = ResidentMiB();
    QElapsedTimer clock;
    clock.start();
    chart->OpenLog(QString::fromStdString(path));
    chart->Plot->repaint();
    const double openMs = Ms(clock);
    const TLogSeries& series = chart->Log().Parser().Series();
    std::printf("  open and draw %zu records: %.0f ms (goal < 2000 ms)\n", series.Size(), openMs);
    std::printf("  resident memory %.1f MiB, of which the log %.1f MiB (goal < 300 MiB)\n",
                ResidentMiB(), ResidentMiB() - before);
    std::printf(
        "  points drawn %zu for a plot %d px wide (at most about 4 channels x 2 x width = %d)\n",
        chart->Plot->DrawnPoints(), chart->Plot->Area().width(), 8 * chart->Plot->Area().width());
    const double x0 = series.Time.front();
    ZoomAndPan(chart->Plot, x0, series.Time.back(), "24 h");
    ZoomAndPan(chart->Plot, x0 + 36000, x0 + 39600, "1 h");
    ZoomAndPan(chart->Plot, x0 + 36000, x0 + 36060, "1 min");
    std::printf("  (goal < 50 ms for a zoom or pan step)\n");
    CompareDrawing(series, chart->Plot->Area().size());
}

// The main window's tick timed call by call, with the chart closed and then open.
void LiveTick(int argc, char** argv) {
    Windows windows(argc, argv);
    sim::EmulatorOptions options;
    options.port = BenchPort;
    options.warmupSeconds = 0;
    sim::ControllerEmulator emulator(options);
    emulator.Start();
    Form1->Timer2->stop();
    ComPortForm->ComPortEdit1->setValue(BenchPort);
    ComPortForm->Button1->click();
    std::vector<double> ticks;
    std::vector<double> redraws;
    auto run = [&](int count, bool redraw) {
        QTimer timer;
        QEventLoop loop; // the application's quit would close the windows and the port
        int left = count;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            QElapsedTimer clock;
            clock.start();
            Form1->Timer2Timer();
            ticks.push_back(Ms(clock));
            if (redraw) {
                clock.restart();
                LambdaChartForm->Plot->repaint();
                redraws.push_back(Ms(clock));
            }
            if (--left == 0)
                loop.quit();
        });
        timer.start(100);
        loop.exec();
    };
    run(30, false); // settle
    ticks.clear();
    run(300, false);
    const Figures without = Summary(ticks);
    windows.Chart();
    run(30, false);
    ticks.clear();
    run(300, true);
    const Figures with = Summary(ticks);
    std::printf("  tick without the chart: median %.3f ms, mean %.3f ms\n", without.median,
                without.mean);
    std::printf("  tick with the live view: median %.3f ms, mean %.3f ms (%+.1f %% of the median; "
                "goal < 10 %%)\n",
                with.median, with.mean, 100.0 * (with.median - without.median) / without.median);
    const Figures redraw = Summary(redraws);
    std::printf("  the live view's own redraw, on its timer: median %.2f ms per 100 ms (%.1f %% of "
                "a core)\n",
                redraw.median, redraw.median / 100.0 * 100.0);
    std::printf("  live frames recorded: %zu\n", LambdaChartForm->Live().Series().Size());
    const auto& hook = Form1->Link().OnLiveFrame;
    QElapsedTimer clock;
    clock.start();
    constexpr int Calls = 100000;
    for (int i = 0; i < Calls; ++i)
        hook({1.0f, 0.9f, 1.1f, 1.2f}, false);
    const double hookMs = Ms(clock) / Calls;
    std::printf("  the listener itself: %.2f us per frame = %.2f %% of the median tick\n",
                hookMs * 1000, 100.0 * hookMs / without.median);
}
} // namespace

int main(int argc, char** argv) {
    double hours = 24;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--hours"))
            hours = std::atof(argv[i + 1]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const std::string path = dir.filePath(QStringLiteral("day.csv")).toStdString();
    const long records = std::lround(hours * 36000);
    WriteDayLog(path, records);
    std::printf("chart bench: a log of %ld records (%.1f h at 10 Hz), %.1f MiB, platform %s\n",
                records, hours,
                std::ifstream(path, std::ios::ate | std::ios::binary).tellg() / 1048576.0,
                qgetenv("QT_QPA_PLATFORM").constData());
    RunPart("floor: read the file into a plain array", [&] { ReadIntoPlainArray(path); });
    RunPart("the chart window: open the log, draw, zoom and pan",
            [&] { OpenAndDraw(argc, argv, path); });
    RunPart("the live tick (Timer2Timer) against the controller emulator",
            [&] { LiveTick(argc, argv); });
    return 0;
}
