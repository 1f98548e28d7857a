// The lambda chart's costs on a log written at the line's limit (91 records a second),
// beside the floor of reading the same file into a plain array, its share of the live
// tick, and what following a growing log costs. Each part runs in a child process of its
// own, so each resident memory figure is that part's alone.
//   chart-bench [--records N] [--format F]  every figure for one log (default 7,900,000)
//   chart-bench --table [--format F]        opening, memory, zoom and pan for 10^5, 10^6, 10^7
//   chart-bench ... --open-only             only the chart window's part
//   chart-bench ... --opens K               opening timed K times: median and worst (default 5)
//   chart-bench --write PATH [--records N] [--format F]   only writes such a log
//   F: window (the main window's log, which uego-log also writes), comma (the same with a
//      decimal comma, as the main window writes it under such a locale), precise
//      (uego-log --format precise)
#include "app/Application.h"
#include "chart/Decimation.h"
#include "serial/VaComm.h"
#include "tools/ControllerEmulator.h"
#include "windows/ChartPlot.h"
#include "windows/Forms.h"
#include "windows/LambdaChart.h"
#include "windows/SpinEdit.h"

#include <QDate>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

constexpr int RecordsPerSecond = 91; // uego-log --rate max

enum class TFormat { Window, Comma, Precise };

struct Log {
    std::string path;
    long records = 0;
    TFormat format = TFormat::Window;
};

// "0.988", or "0,988".
char* PutThousandths(char* at, int thousandths, char separator) {
    at += std::sprintf(at, "%d%c%03d", thousandths / 1000, separator, thousandths % 1000);
    return at;
}

// Records from 06:00:00 on, 91 a second, past midnight and on for days: four channels
// wandering around 1.0 like an engine under load.
void WriteLog(const Log& log) {
    std::FILE* file = std::fopen(log.path.c_str(), "wb");
    if (log.format == TFormat::Precise)
        std::fputs("time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\r\n", file);
    else
        std::fputs("VORLANX Log V1.0  24.12.2024\r\nTime, CH1, CH2, CH3, CH4\r\n", file);
    const char separator = log.format == TFormat::Comma ? ',' : '.';
    constexpr long long Start = 1734930000000LL; // 2024-12-23T06:00:00+01:00, in UTC ms
    char line[160];
    long long shownDay = -1;
    std::string date;
    for (long i = 0; i < log.records; ++i) {
        const double t = double(i) / RecordsPerSecond;
        char* at = line;
        if (log.format == TFormat::Precise) {
            const long long ms = (i * 1000 + RecordsPerSecond / 2) / RecordsPerSecond;
            const long long local = (Start + ms) / 1000 + 3600;
            const long long day = local / 86400, second = local % 86400;
            if (day != shownDay) {
                shownDay = day;
                date = QDate(1970, 1, 1).addDays(day).toString(Qt::ISODate).toStdString();
            }
            at += std::sprintf(at, "%sT%02lld:%02lld:%02lld.%03lld+01:00,%lld.%03lld", date.c_str(),
                               second / 3600, second / 60 % 60, second % 60, (Start + ms) % 1000,
                               ms / 1000, ms % 1000);
        } else {
            const long second = (6 * 3600 + i / RecordsPerSecond) % 86400;
            at +=
                std::sprintf(at, "%02ld:%02ld:%02ld", second / 3600, second / 60 % 60, second % 60);
        }
        for (int n = 0; n < 4; ++n) {
            const double lambda = 1.0 + 0.14 * std::sin(0.08 * t + n) +
                                  0.05 * std::sin(0.37 * t + 2 * n) + 0.02 * std::sin(4.1 * t + n);
            *at++ = ',';
            if (log.format != TFormat::Precise)
                *at++ = ' ';
            at = PutThousandths(at, int(std::lround(lambda * 1000)), separator);
        }
        if (log.format == TFormat::Precise)
            at += std::sprintf(at, ",12.55,0");
        std::memcpy(at, "\r\n", 3);
        std::fputs(line, file);
    }
    // On disk before anything is timed: a log is opened long after it was written, not while
    // the system still writes it back.
    std::fflush(file);
    ::fdatasync(fileno(file));
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

// A mouse event as the window system delivers it.
void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button,
           Qt::MouseButtons held) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void WheelNotch(QWidget* widget, QPoint at, int delta) {
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// Each step as the operator makes it: the event (the plot's view and the window's
// readouts follow it) and the repaint.
Figures TimeSteps(TChartPlot* plot, const std::function<void(int)>& step, int count) {
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        step(i);
        plot->repaint();
        samples.push_back(Ms(clock));
    }
    return Summary(samples);
}

struct SpanFigures {
    Figures zoom, pan;
};

// Wheel notches in and out about the middle, so the span stays about the same, then a
// drag with the right button in steps of 25 pixels.
SpanFigures ZoomAndPan(TChartPlot* plot, double x0, double x1) {
    constexpr int Steps = 40;
    const QPoint middle = plot->Area().center();
    plot->SetXRange(x0, x1);
    plot->repaint();
    SpanFigures f;
    f.zoom = TimeSteps(
        plot, [&](int i) { WheelNotch(plot, middle, i % 2 ? -120 : 120); }, Steps);
    plot->SetXRange(x0, x1);
    Mouse(plot, QEvent::MouseButtonPress, middle, Qt::RightButton, Qt::RightButton);
    f.pan = TimeSteps(
        plot,
        [&](int i) {
            const int dx = (i / 10 % 2 ? 25 : -25) * (i % 10 + 1);
            Mouse(plot, QEvent::MouseMove, middle + QPoint(dx, 0), Qt::NoButton, Qt::RightButton);
        },
        Steps);
    Mouse(plot, QEvent::MouseButtonRelease, middle, Qt::RightButton, Qt::NoButton);
    return f;
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
    const double x0 = series.FrontTime(), x1 = series.BackTime();
    const std::array<TTrace, 4> traces = Decimate(series, x0, x1, width, 2.0);
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

struct OpenFigures {
    std::size_t records = 0;
    Figures open; // ms, over the opens
    double residentMiB = 0;
    double bytesPerRecord = 0;
    std::array<SpanFigures, 3> spans; // the whole log, an hour, a minute
};

const char* const SpanNames[] = {"whole", "1 h", "1 min"};
// The log is opened this many times; the figures are the median and the worst.
int Opens = 5;

// Opens the log in the chart window as the operator does and waits until it is read and
// drawn; then zooms and pans at the whole span, an hour and a minute in its middle.
OpenFigures OpenZoomAndPan(TLambdaChartForm* chart, const Log& log) {
    OpenFigures f;
    std::vector<double> opens;
    for (int n = 0; n < Opens; ++n) {
        QElapsedTimer clock;
        clock.start();
        chart->OpenLog(QString::fromStdString(log.path));
        while (chart->Loading())
            QCoreApplication::processEvents();
        chart->Plot->repaint();
        opens.push_back(Ms(clock));
    }
    f.open = Summary(opens);
    const TLogSeries& series = chart->Log().Parser().Series();
    f.records = series.Size();
    f.residentMiB = ResidentMiB();
    f.bytesPerRecord = double(series.Bytes()) / double(std::max<std::size_t>(series.Size(), 1));
    const double first = series.FrontTime(), last = series.BackTime();
    const double middle = (first + last) / 2;
    f.spans[0] = ZoomAndPan(chart->Plot, first, last);
    f.spans[1] = ZoomAndPan(chart->Plot, middle - 1800, middle + 1800);
    f.spans[2] = ZoomAndPan(chart->Plot, middle - 30, middle + 30);
    return f;
}

double WorstStep(const OpenFigures& f) {
    double worst = 0;
    for (const SpanFigures& span : f.spans)
        worst = std::max({worst, span.zoom.worst, span.pan.worst});
    return worst;
}

void OpenAndDraw(int argc, char** argv, const Log& log) {
    Windows windows(argc, argv);
    TLambdaChartForm* chart = windows.Chart();
    const double before = ResidentMiB();
    const OpenFigures f = OpenZoomAndPan(chart, log);
    std::printf("  open and draw %zu records: median %.0f ms, worst %.0f ms of %d opens "
                "(goal < 800 ms)\n",
                f.records, f.open.median, f.open.worst, Opens);
    std::printf("  resident memory %.1f MiB, of which the log %.1f MiB, %.1f bytes a record "
                "(goal < 120 MiB)\n",
                f.residentMiB, f.residentMiB - before, f.bytesPerRecord);
    std::printf(
        "  points drawn %zu for a plot %d px wide (at most about 4 channels x 2 x width = %d)\n",
        chart->Plot->DrawnPoints(), chart->Plot->Area().width(), 8 * chart->Plot->Area().width());
    for (std::size_t i = 0; i < f.spans.size(); ++i)
        std::printf("  zoom at %-6s median %5.1f ms, worst %5.1f ms;  pan median %5.1f ms, worst "
                    "%5.1f ms\n",
                    SpanNames[i], f.spans[i].zoom.median, f.spans[i].zoom.worst,
                    f.spans[i].pan.median, f.spans[i].pan.worst);
    std::printf("  worst zoom or pan step %.1f ms (goal < 16 ms at every span)\n", WorstStep(f));
    CompareDrawing(chart->Log().Parser().Series(), chart->Plot->Area().size());
}

// One row of the table: the log opened and worked in a window of its own.
void TableRow(int argc, char** argv, const Log& log) {
    Windows windows(argc, argv);
    const OpenFigures f = OpenZoomAndPan(windows.Chart(), log);
    std::printf("%10zu %9.1f %8.0f %9.1f %6.1f", f.records,
                double(std::filesystem::file_size(log.path)) / 1048576.0, f.open.median,
                f.residentMiB, f.bytesPerRecord);
    for (const SpanFigures& span : f.spans)
        std::printf("  %5.1f/%5.1f %5.1f/%5.1f", span.zoom.median, span.zoom.worst, span.pan.median,
                    span.pan.worst);
    std::printf("\n");
}

// Appends records at the line's limit, as uego-log does, until killed.
[[noreturn]] void AppendForever(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    for (long second = 0;; ++second) {
        const long clock = (7 * 3600 + second) % 86400;
        for (int i = 0; i < RecordsPerSecond; ++i)
            std::fprintf(file, "%02ld:%02ld:%02ld, 0.%03d, 1.000, 1.000, 1.000\r\n", clock / 3600,
                         clock / 60 % 60, clock % 60, 900 + i);
        std::fflush(file);
        usleep(1000000);
    }
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The window's CPU over some seconds of its event loop.
double CpuShare(int seconds) {
    const double before = CpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    return 100.0 * (CpuSeconds() - before) / seconds;
}

// The windows idle with the chart on a still log, then while another process appends 91
// records a second to it: the difference is what following costs.
void Follow(int argc, char** argv, const Log& log, int seconds) {
    Windows windows(argc, argv);
    TLambdaChartForm* chart = windows.Chart();
    chart->OpenLog(QString::fromStdString(log.path));
    while (chart->Loading())
        QCoreApplication::processEvents();
    const double still = CpuShare(seconds);
    const std::size_t before = chart->Log().Parser().Series().Size();
    const pid_t writer = fork();
    if (writer == 0)
        AppendForever(log.path);
    const double growing = CpuShare(seconds);
    kill(writer, SIGTERM);
    waitpid(writer, nullptr, 0);
    std::printf("  the windows' CPU over %d s: %.2f %% of a core on a still log, %.2f %% while it "
                "grows by %zu records (following: %.2f %%, goal < 1 %%)\n",
                seconds, still, growing, chart->Log().Parser().Series().Size() - before,
                growing - still);
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

const char* FormatName(TFormat format) {
    return format == TFormat::Window ? "window" : format == TFormat::Comma ? "comma" : "precise";
}

Log MakeLog(const QTemporaryDir& dir, long records, TFormat format) {
    Log log{dir.filePath(QStringLiteral("log-%1.csv").arg(records)).toStdString(), records, format};
    WriteLog(log);
    return log;
}

void Table(int argc, char** argv, const QTemporaryDir& dir, TFormat format) {
    std::printf("chart bench table, format %s, %d records a second; zoom and pan median/worst ms "
                "(goals: open < 800 ms at 7.9 M, resident < 120 MiB, every step < 16 ms)\n",
                FormatName(format), RecordsPerSecond);
    std::printf("%10s %9s %8s %9s %6s  %-23s  %-23s  %-23s\n", "records", "file MiB", "open ms",
                "RSS MiB", "B/rec", "whole: zoom   pan", "1 h: zoom     pan", "1 min: zoom   pan");
    std::fflush(stdout);
    for (long records : {100000L, 1000000L, 10000000L}) {
        const Log log = MakeLog(dir, records, format);
        const pid_t child = fork();
        if (child == 0) {
            TableRow(argc, argv, log);
            std::fflush(stdout);
            _exit(0);
        }
        waitpid(child, nullptr, 0);
        std::filesystem::remove(log.path);
    }
}
} // namespace

int main(int argc, char** argv) {
    long records = 7900000;
    TFormat format = TFormat::Window;
    bool table = false;
    bool openOnly = false;
    int followSeconds = 30;
    const char* writeOnly = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--records") && value)
            records = std::atol(argv[++i]);
        else if (!std::strcmp(argv[i], "--format") && value)
            format = !std::strcmp(argv[++i], "precise") ? TFormat::Precise
                     : !std::strcmp(argv[i], "comma")   ? TFormat::Comma
                                                        : TFormat::Window;
        else if (!std::strcmp(argv[i], "--follow-seconds") && value)
            followSeconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--write") && value)
            writeOnly = argv[++i];
        else if (!std::strcmp(argv[i], "--opens") && value)
            Opens = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--open-only"))
            openOnly = true;
        else if (!std::strcmp(argv[i], "--table"))
            table = true;
    }
    if (writeOnly) {
        WriteLog({writeOnly, records, format});
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    if (table) {
        Table(argc, argv, dir, format);
        return 0;
    }
    const Log log = MakeLog(dir, records, format);
    std::printf("chart bench: a log of %ld records (%.1f h at %d a second), format %s, %.1f MiB, "
                "platform %s\n",
                records, double(records) / RecordsPerSecond / 3600, RecordsPerSecond,
                FormatName(format), double(std::filesystem::file_size(log.path)) / 1048576.0,
                qgetenv("QT_QPA_PLATFORM").constData());
    if (!openOnly)
        RunPart("floor: read the file into a plain array", [&] { ReadIntoPlainArray(log.path); });
    RunPart("the chart window: open the log, draw, zoom and pan",
            [&] { OpenAndDraw(argc, argv, log); });
    if (openOnly)
        return 0;
    RunPart("the live tick (Timer2Timer) against the controller emulator",
            [&] { LiveTick(argc, argv); });
    const Log growing = MakeLog(dir, 100000, TFormat::Window);
    RunPart("following a log that grows at the line's limit",
            [&] { Follow(argc, argv, growing, followSeconds); });
    return 0;
}
