// The lambda chart window: its menu item, the live view fed by the main window's tick,
// log review with zoom, pan, cursor and statistics, following, bad input and export.
#include "tests/windows/WindowsRig.h"

#include "tests/support/CLocale.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/GermanNumbers.h"
#include "tests/support/LogFiles.h"
#include "windows/ChartPlot.h"
#include "windows/LambdaChart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <vector>

namespace {
TLambdaChartForm* OpenChart() {
    Form1->Chart1->trigger();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(LambdaChartForm));
    return LambdaChartForm;
}

void Pause(int ms) {
    WaitUntil([] { return false; }, ms);
}

// A log as the main window writes it: ten records a second from 23:59:50 on, so it runs
// past midnight; CH1 dips to 0.700 at 00:00:05.
QString WriteLog(const QString& path, int seconds, bool decimalComma) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("VORLANX Log V1.0  31.12.2024\r\nTime, CH1, CH2, CH3, CH4\r\n");
    for (int s = 0; s < seconds; ++s) {
        const int clock = (86390 + s) % 86400;
        const QByteArray stamp = QStringLiteral("%1:%2:%3")
                                     .arg(clock / 3600, 2, 10, QLatin1Char('0'))
                                     .arg(clock / 60 % 60, 2, 10, QLatin1Char('0'))
                                     .arg(clock % 60, 2, 10, QLatin1Char('0'))
                                     .toLatin1();
        for (int i = 0; i < 10; ++i) {
            QByteArray line =
                stamp + (s == 15 ? ", 0.700" : ", 1.000") + ", 0.950, 1.050, 1.100\r\n";
            if (decimalComma)
                line.replace(".", ",");
            file.write(line);
        }
    }
    return path;
}

void Wheel(QWidget* widget, QPoint at, int delta) {
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// A mouse move as the window system delivers it, with the buttons held.
void Move(QWidget* widget, QPoint at, Qt::MouseButtons buttons = Qt::NoButton) {
    QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}
} // namespace

TEST(LambdaChart, MenuItemAfterAboutOpensOneModelessWindow) {
    WindowsRig rig;
    const QList<QAction*> items = Form1->menuBar()->actions();
    ASSERT_GE(items.size(), 4);
    EXPECT_EQ(items.indexOf(Form1->Chart1), items.indexOf(Form1->About1) + 1);
    EXPECT_EQ(Form1->Chart1->text(), QStringLiteral("Chart"));
    EXPECT_EQ(LambdaChartForm, nullptr) << "made on first use";

    TLambdaChartForm* chart = OpenChart();
    ASSERT_NE(chart, nullptr);
    EXPECT_TRUE(chart->isVisible());
    EXPECT_EQ(chart->windowTitle(), QStringLiteral("Lambda Chart"));
    EXPECT_FALSE(chart->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    chart->close();
    EXPECT_FALSE(chart->isVisible());
    EXPECT_EQ(OpenChart(), chart) << "the same window again";
    EXPECT_TRUE(chart->isVisible());
}

TEST(LambdaChart, LiveViewGetsAPointPerTickAndNoneWhileTheControllerIsSilent) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator =
        rig.StartEmulator(ConstantController(0.982, 1.0, 0.85, 1.234));
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    TLambdaChartForm* chart = OpenChart();
    int ticks = 0;
    QObject::connect(Form1->Timer2, &QTimer::timeout, [&] { ++ticks; });
    const TLogSeries& live = chart->Live().Series();
    ASSERT_TRUE(WaitUntil([&] { return live.Size() >= 3; }));
    EXPECT_EQ(live.Value(0, live.Size() - 1), 0.982f);
    EXPECT_EQ(live.Value(3, live.Size() - 1), 1.234f);

    // Counted in the main window's ticks, not in time: a loaded machine delays both alike.
    auto waitTicks = [&](int count) {
        const int until = ticks + count;
        return WaitUntil([&] { return ticks >= until; }, 60000);
    };
    const int ticksBefore = ticks;
    const std::size_t pointsBefore = live.Size();
    ASSERT_TRUE(waitTicks(15));
    const int tickCount = ticks - ticksBefore;
    EXPECT_NEAR(double(live.Size() - pointsBefore), double(tickCount), 1.0) << "one point per tick";

    emulator.SetFault(sim::Fault::Silent, true);
    ASSERT_TRUE(waitTicks(3)); // the answer in flight has come or is given up
    const std::size_t silentFrom = live.Size();
    ASSERT_TRUE(waitTicks(6));
    EXPECT_EQ(live.Size(), silentFrom) << "no points while silent";
    EXPECT_TRUE(WaitUntil([&] { return chart->StatusLabel->text().contains("no data"); }))
        << chart->StatusLabel->text().toStdString();

    emulator.SetFault(sim::Fault::Silent, false);
    ASSERT_TRUE(WaitUntil([&] { return live.Size() >= silentFrom + 3; }));
    int pauses = 0;
    for (std::size_t i = 1; i < live.Size(); ++i)
        pauses += live.Time(i) - live.Time(i - 1) > TLiveTrace::GapSeconds;
    EXPECT_EQ(pauses, 1) << "the silence leaves one gap";

    emulator.SetStatus(1);
    ASSERT_TRUE(WaitUntil([&] { return !chart->Live().WarmUp().empty(); }));
    ASSERT_TRUE(waitTicks(3));
    const std::size_t warmFrom = live.Size();
    ASSERT_TRUE(waitTicks(5));
    EXPECT_EQ(live.Size(), warmFrom) << "warm-up frames carry no lambda";
    EXPECT_TRUE(WaitUntil([&] { return chart->StatusLabel->text().contains("warm-up"); }))
        << chart->StatusLabel->text().toStdString();
}

TEST(LambdaChart, LiveViewScrollsPausesAndShowsTheChosenSpan) {
    WindowsRig rig;
    TLambdaChartForm* chart = OpenChart();
    EXPECT_EQ(chart->SpanBox->currentText(), QStringLiteral("1 min"));
    EXPECT_NEAR(chart->Plot->X1() - chart->Plot->X0(), 60.0, 1e-6);
    const QStringList spans = [&] {
        QStringList texts;
        for (int i = 0; i < chart->SpanBox->count(); ++i)
            texts << chart->SpanBox->itemText(i);
        return texts;
    }();
    EXPECT_EQ(spans, QStringList({"10 s", "30 s", "1 min", "2 min", "5 min", "10 min"}));
    chart->SpanBox->setCurrentIndex(0);
    EXPECT_NEAR(chart->Plot->X1() - chart->Plot->X0(), 10.0, 1e-6);

    const double right = chart->Plot->X1();
    ASSERT_TRUE(WaitUntil([&] { return chart->Plot->X1() > right + 0.2; }))
        << "the view follows the clock";
    chart->PauseAction->trigger();
    const double paused = chart->Plot->X1();
    int ticks = 0; // the main window's, at the rate the live view moves
    QObject::connect(Form1->Timer2, &QTimer::timeout, [&] { ++ticks; });
    ASSERT_TRUE(WaitUntil([&] { return ticks >= 4; }, 60000));
    EXPECT_EQ(chart->Plot->X1(), paused);
    EXPECT_TRUE(chart->StatusLabel->text().contains(QStringLiteral("paused")));
    chart->PauseAction->trigger();
    EXPECT_GT(chart->Plot->X1(), paused);

    Wheel(chart->Plot, chart->Plot->Area().center(), 120);
    EXPECT_TRUE(chart->PauseAction->isChecked()) << "zooming holds the live view";
    EXPECT_LT(chart->Plot->X1() - chart->Plot->X0(), 10.0);
    chart->ResetAction->trigger();
    EXPECT_FALSE(chart->PauseAction->isChecked());
    EXPECT_NEAR(chart->Plot->X1() - chart->Plot->X0(), 10.0, 1e-6);

    chart->PauseAction->trigger();
    chart->SpanBox->setCurrentIndex(5);
    EXPECT_FALSE(chart->PauseAction->isChecked()) << "a new span follows the newest frames";
    EXPECT_NEAR(chart->Plot->X1() - chart->Plot->X0(), 600.0, 1e-6);
}

// Each format uego-log writes, written by the program itself against the emulator, opens as a
// log with every record in it.
TEST(LambdaChart, OpensTheLogsUegoLogWrites) {
    WindowsRig rig;
    sim::EmulatorOptions controller;
    controller.warmupSeconds = 0;
    controller.pattern = sim::LambdaPattern::Constant;
    controller.lambda = {0.98765, 1.0234, 0.85, 1.0};
    rig.StartEmulator(controller);
    QTemporaryDir dir;
    // The default format is the main window's.
    for (const std::string format : {"precise", "default"}) {
        const QString path = dir.filePath(QString::fromStdString(format + ".csv"));
        std::vector<std::string> args{"--port",     std::to_string(WindowsRig::Port),
                                      "--rate",     "20",
                                      "--duration", "1",
                                      "--out",      path.toStdString(),
                                      "--quiet"};
        if (format == "precise")
            args.insert(args.end(), {"--format", "precise"});
        ChildProcess log(BuildProgramPath("uego-log"), args);
        ASSERT_EQ(log.End(), 0) << log.stderrText;
        const qsizetype records =
            FileLines(path).size() - (format == std::string("precise") ? 1 : 2);
        ASSERT_GT(records, 0) << format;
        TLambdaChartForm* chart = OpenChart();
        chart->OpenLog(path);
        ASSERT_EQ(chart->Mode(), TLambdaChartForm::TMode::Log) << format;
        EXPECT_EQ(qsizetype(chart->Log().Parser().Series().Size()), records) << format;
        EXPECT_EQ(chart->Log().Parser().Malformed(), 0u) << format;
        EXPECT_TRUE(chart->StatsLabel[0]->text().contains(QStringLiteral("min 0.988")))
            << format << ": " << chart->StatsLabel[0]->text().toStdString();
        EXPECT_TRUE(chart->StatsLabel[2]->text().contains(QStringLiteral("max 0.850"))) << format;
    }
}

TEST(LambdaChart, ReviewedLogZoomsPansAndReadsUnderTheCursor) {
    WindowsRig rig;
    QTemporaryDir dir;
    const QString path = WriteLog(dir.filePath("pull.csv"), 30, true);
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(path);
    ASSERT_EQ(chart->Mode(), TLambdaChartForm::TMode::Log);
    const TLogSeries& series = chart->Log().Parser().Series();
    ASSERT_EQ(series.Size(), 300u);
    EXPECT_DOUBLE_EQ(chart->Plot->X0(), 86390.0);
    EXPECT_DOUBLE_EQ(chart->Plot->X1(), 86419.9) << "past midnight the time counts on";
    EXPECT_TRUE(chart->StatusLabel->text().contains(QStringLiteral("300 records")));
    EXPECT_TRUE(chart->StatsLabel[0]->text().contains(QStringLiteral("min 0.700")))
        << chart->StatsLabel[0]->text().toStdString();
    EXPECT_TRUE(chart->StatsLabel[0]->text().contains(QStringLiteral("max 1.000")));
    chart->Plot->repaint();
    EXPECT_LE(chart->Plot->DrawnPoints(), std::size_t(4 * (2 * chart->Plot->Area().width() + 2)));

    // Wheel about the middle: a shorter span around the same time.
    const QRect area = chart->Plot->Area();
    const double middle = (chart->Plot->X0() + chart->Plot->X1()) / 2;
    Wheel(chart->Plot, area.center(), 240);
    EXPECT_NEAR(chart->Plot->X1() - chart->Plot->X0(), 29.9 * 0.64, 1e-6);
    EXPECT_NEAR((chart->Plot->X0() + chart->Plot->X1()) / 2, middle, 0.1);

    // A box: its time span, and its value span.
    chart->ResetAction->trigger();
    const int x0 = area.left() + area.width() / 2; // 00:00:05 lies in the second half
    const int x1 = area.left() + area.width() * 3 / 4;
    QTest::mousePress(chart->Plot, Qt::LeftButton, {}, QPoint(x0, area.top() + 10));
    Move(chart->Plot, QPoint(x1, area.bottom() - 10), Qt::LeftButton);
    QTest::mouseRelease(chart->Plot, Qt::LeftButton, {}, QPoint(x1, area.bottom() - 10));
    EXPECT_NEAR(chart->Plot->X0(), 86390 + 29.9 / 2, 0.2);
    EXPECT_NEAR(chart->Plot->X1(), 86390 + 29.9 * 3 / 4, 0.2);
    EXPECT_FALSE(chart->Plot->IsAutoY());
    EXPECT_TRUE(chart->StatsLabel[0]->text().contains(QStringLiteral("min 0.700")));

    // Pan with the right button: dragging right shows earlier records.
    const double before = chart->Plot->X0();
    QTest::mousePress(chart->Plot, Qt::RightButton, {}, area.center());
    Move(chart->Plot, area.center() + QPoint(100, 0), Qt::RightButton);
    QTest::mouseRelease(chart->Plot, Qt::RightButton, {}, area.center() + QPoint(100, 0));
    EXPECT_LT(chart->Plot->X0(), before);

    // The cursor at 00:00:05.0 reads the dip.
    chart->Plot->SetXRange(86390 + 14, 86390 + 17);
    Move(chart->Plot, QPoint(area.left() + area.width() / 3, area.center().y()));
    ASSERT_TRUE(chart->Plot->CursorRecord().has_value())
        << chart->CursorLabel->text().toStdString();
    EXPECT_TRUE(chart->CursorLabel->text().contains(QStringLiteral("00:00:05.0")))
        << chart->CursorLabel->text().toStdString();
    EXPECT_TRUE(chart->CursorLabel->text().contains(QStringLiteral("CH1 0.700")));
    EXPECT_TRUE(chart->CursorLabel->text().contains(QStringLiteral("CH4 1.100")));
    chart->Plot->repaint();
    SaveScreenshot(chart, "chart-log-cursor.png");

    // A double click shows the whole log again.
    QTest::mouseDClick(chart->Plot, Qt::LeftButton, {}, area.center());
    EXPECT_DOUBLE_EQ(chart->Plot->X0(), 86390.0);
    EXPECT_TRUE(chart->Plot->IsAutoY());
}

TEST(LambdaChart, UnitAndChannelsApplyToTheChartAlone) {
    WindowsRig rig;
    QTemporaryDir dir;
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(WriteLog(dir.filePath("pull.csv"), 20, false));
    const QStringList expected{"Lambda",          "AFR gasoline (14.7)", "AFR E85 (9.765)",
                               "AFR ethanol (9)", "AFR methanol (6.4)",  "AFR diesel (14.5)",
                               "AFR LPG (15.5)",  "AFR CNG (17.2)"};
    ASSERT_EQ(chart->UnitBox->count(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(chart->UnitBox->itemText(i), expected[i]);
    chart->UnitBox->setCurrentIndex(1);
    EXPECT_TRUE(chart->StatsLabel[0]->text().contains(QStringLiteral("min 10.29")))
        << chart->StatsLabel[0]->text().toStdString();
    EXPECT_TRUE(chart->StatsLabel[0]->text().contains(QStringLiteral("max 14.70")));
    chart->Plot->repaint();
    EXPECT_GT(chart->Plot->Y1(), 14.7 * 1.1) << "the axis is in AFR";
    EXPECT_EQ(Form1->Meter1->SignalSettings()->ValueUnit(), QStringLiteral("h"))
        << "the meters keep theirs";

    // 200 records a tenth of a second apart over more than 200 pixels: each record has a
    // pixel column of its own, so each channel draws one point per record.
    ASSERT_GT(chart->Plot->Area().width(), 200);
    EXPECT_EQ(chart->Plot->DrawnPoints(), 4u * 200u);
    chart->ChannelBox[1]->setChecked(false);
    chart->Plot->repaint();
    EXPECT_FALSE(chart->Plot->ChannelVisible(1));
    EXPECT_EQ(chart->Plot->DrawnPoints(), 3u * 200u);
    EXPECT_TRUE(chart->StatsLabel[1]->text().endsWith(QStringLiteral("\u2014")));
}

TEST(LambdaChart, FollowsTheLogTheMainWindowIsWriting) {
    WindowsRig rig;
    rig.StartEmulator(ConstantController(0.9, 0.9, 0.9, 0.9));
    WindowsRig::OpenPortThroughWindow(WindowsRig::Port);
    ASSERT_TRUE(WindowsRig::MetersShow({0.9f, 0.9f, 0.9f, 0.9f}));
    QTemporaryDir dir;
    const QString path = dir.filePath("growing.csv");
    Form1->Link().LogStart(path);
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(path);
    const TLogSeries& series = chart->Log().Parser().Series();
    const std::size_t atOpen = series.Size();
    ASSERT_TRUE(WaitUntil([&] { return series.Size() >= atOpen + 10; }, 5000))
        << "new records appear";
    EXPECT_GE(chart->Plot->X1(), series.BackTime() - 1.0) << "the view keeps up with them";
    Form1->Link().LogStop();
    EXPECT_EQ(series.Value(2, series.Size() - 1), 0.9f);
}

// A log larger than a step of reading shows its whole span at once, reads the rest between
// the window's events with its progress in the status line, and ends whole.
TEST(LambdaChart, ALargeLogOpensInStepsWhileTheWindowAnswers) {
    WindowsRig rig;
    QTemporaryDir dir;
    const int seconds = 12 * 3600; // ten records a second: about 16 MiB
    const QString path = WriteLog(dir.filePath("half-day.csv"), seconds, false);
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(path);
    const TLogSeries& series = chart->Log().Parser().Series();
    ASSERT_TRUE(chart->Loading());
    EXPECT_LT(series.Size(), std::size_t(seconds) * 10);
    EXPECT_TRUE(chart->StatusLabel->text().contains(QStringLiteral("reading")))
        << chart->StatusLabel->text().toStdString();
    const double end = 86390.0 + seconds - 0.1;
    EXPECT_DOUBLE_EQ(chart->Plot->X0(), 86390.0);
    EXPECT_NEAR(chart->Plot->X1(), end, 60.0) << "the whole span, foreseen from the share read";

    bool answeredWhileReading = false;
    QTimer::singleShot(0, chart, [&] {
        chart->UnitBox->setCurrentIndex(1);
        answeredWhileReading = chart->Loading();
    });
    ASSERT_TRUE(WaitUntil([&] { return !chart->Loading(); }, 120000));
    EXPECT_TRUE(answeredWhileReading);
    EXPECT_TRUE(chart->StatsLabel[0]->text().contains(QStringLiteral("max 14.70")))
        << chart->StatsLabel[0]->text().toStdString();
    EXPECT_EQ(series.Size(), std::size_t(seconds) * 10);
    EXPECT_EQ(chart->Log().Parser().Malformed(), 0u);
    EXPECT_DOUBLE_EQ(chart->Plot->X0(), 86390.0);
    EXPECT_DOUBLE_EQ(chart->Plot->X1(), end);
    EXPECT_TRUE(chart->StatusLabel->text().contains(QStringLiteral("432000 records")));
    EXPECT_TRUE(chart->StatusLabel->text().contains(QStringLiteral("following")));
}

// uego-log logging the controller in its precise format from sensor warm-up on, as the
// service does from boot: the chart follows the file, shading the warm-up records and
// drawing the records that follow.
TEST(LambdaChart, FollowsAPreciseLogThatUegoLogIsWriting) {
    WindowsRig rig;
    sim::ControllerEmulator& emulator =
        rig.StartEmulator(ConstantController(0.982, 1.0, 0.85, 1.234));
    emulator.SetStatus(1);
    QTemporaryDir dir;
    const QString path = dir.filePath("p10.csv");
    ChildProcess logger(BuildProgramPath("uego-log"),
                        {"--port", std::to_string(WindowsRig::Port), "--format", "precise", "--out",
                         path.toStdString(), "--quiet"});
    ASSERT_TRUE(WaitUntil([&] { return FileBytes(path).count("\r\n") >= 4; }, 60000))
        << "the header and warm-up records";
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(path);
    const TLogParser& parser = chart->Log().Parser();
    EXPECT_EQ(parser.Format(), TLogParser::TFormat::Precise);
    EXPECT_GE(parser.WarmUpRecords(), 3u);
    EXPECT_EQ(parser.Series().Size(), 0u);

    emulator.SetStatus(-1);
    ASSERT_TRUE(WaitUntil([&] { return parser.Series().Size() >= 10; }, 60000))
        << "new records appear";
    EXPECT_EQ(logger.End(SIGTERM), 0) << logger.stderrText;
    const TLogSeries& series = parser.Series();
    EXPECT_EQ(series.Value(0, series.Size() - 1), 0.982f);
    EXPECT_EQ(series.Value(3, series.Size() - 1), 1.234f);
    ASSERT_FALSE(parser.WarmUp().empty());
    EXPECT_LE(parser.WarmUp().back().To, series.FrontTime());
    EXPECT_EQ(parser.Malformed(), 0u);
    EXPECT_TRUE(chart->StatusLabel->text().contains(QStringLiteral("in sensor warm-up")))
        << chart->StatusLabel->text().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return chart->Plot->X1() >= series.BackTime(); }))
        << "the view keeps up with the records";
    EXPECT_LE(chart->Plot->X0(), parser.WarmUp()[0].From) << "the warm-up is in view";
    chart->Plot->repaint();
    SaveScreenshot(chart, "chart-precise-log.png");
}

TEST(LambdaChart, BadInputIsCountedAndANonLogIsReportedOnce) {
    WindowsRig rig;
    QTemporaryDir dir;
    const QString garbled = dir.filePath("garbled.csv");
    {
        QFile file(garbled);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("VORLANX Log V1.0  31.12.2024\r\nTime, CH1, CH2, CH3, CH4\r\n"
                   "10:00:00, 1.000, 1.000, 1.000, 1.000\r\nrubbish\r\n10:00:01, 1.0\r\n"
                   "10:00:02, 0.900, 0.900, 0.900, 0.900\r\n");
    }
    const QString other = dir.filePath("other.csv");
    {
        QFile file(other);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 1000; ++i)
            file.write("a,b,c\r\n");
    }
    TLambdaChartForm* chart = OpenChart();
    BoxWatcher boxes;
    QTimer::singleShot(0, [&] { chart->OpenLog(garbled); });
    ASSERT_TRUE(WaitUntil([&] { return chart->Log().Path() == garbled; }));
    EXPECT_TRUE(boxes.seen.empty()) << "malformed lines are no reason for a box";
    EXPECT_EQ(chart->Log().Parser().Series().Size(), 2u);
    EXPECT_TRUE(chart->StatusLabel->text().contains(QStringLiteral("2 malformed lines skipped")));

    QTimer::singleShot(0, [&] { chart->OpenLog(other); });
    ASSERT_TRUE(WaitUntil([&] { return boxes.closed == 1; }));
    Pause(600);
    ASSERT_EQ(boxes.seen.size(), 1u) << "said once";
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("other.csv is not a data log."));
    EXPECT_EQ(chart->Log().Path(), garbled) << "the log on show stays";

    // A followed log replaced by something else: said once, and the live view returns.
    QFile::remove(garbled);
    QFile::copy(other, garbled);
    ASSERT_TRUE(WaitUntil([&] { return boxes.closed == 2; }));
    Pause(600);
    EXPECT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(chart->Mode(), TLambdaChartForm::TMode::Live);
}

// An export that fails part-way (here: the file may not grow past 64 bytes, as on a full
// disk) leaves the file it was to replace as it was, and nothing beside it.
TEST(LambdaChart, AFailedExportLeavesTheOldFileAndNoOther) {
    WindowsRig rig;
    QTemporaryDir dir;
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(WriteLog(dir.filePath("pull.csv"), 30, false));
    const QByteArray old = "the file as it was\r\n";
    for (const QString& name : {QStringLiteral("span.csv"), QStringLiteral("chart.png")}) {
        QFile target(dir.filePath(name));
        ASSERT_TRUE(target.open(QIODevice::WriteOnly));
        target.write(old);
        target.close();
        bool thrown = false;
        WithFileSizeLimit(64, [&] {
            try {
                if (name.endsWith(QStringLiteral(".csv")))
                    chart->ExportCsv(target.fileName());
                else
                    chart->ExportPng(target.fileName());
            } catch (const std::runtime_error&) {
                thrown = true;
            }
        });
        EXPECT_TRUE(thrown) << name.toStdString();
        EXPECT_EQ(FileBytes(target.fileName()), old) << name.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{"chart.png", "pull.csv", "span.csv"}));
}

// The span's records as a spreadsheet reads them: the log's date and the time in one cell
// (the main window's log has whole seconds), then the channels; the chart keeps no supply
// voltage, so its cell stays empty.
TEST(LambdaChart, ExportsTheVisibleChartAndSpan) {
    WindowsRig rig;
    const CLocaleScope cLocale;
    QTemporaryDir dir;
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(WriteLog(dir.filePath("pull.csv"), 30, false));
    chart->Plot->SetXRange(86390 + 14, 86390 + 16);
    chart->ExportCsv(dir.filePath("span.csv"));
    const QStringList lines = FileLines(dir.filePath("span.csv"));
    ASSERT_EQ(lines.size(), 1 + 21);
    EXPECT_EQ(lines[0],
              QStringLiteral("Time,CH1 lambda,CH2 lambda,CH3 lambda,CH4 lambda,Supply V"));
    EXPECT_EQ(lines[1], QStringLiteral("01/01/2025 00:00:04.000,1.000,0.950,1.050,1.100,"));
    EXPECT_EQ(lines[11], QStringLiteral("01/01/2025 00:00:05.000,0.700,0.950,1.050,1.100,"));
    EXPECT_EQ(lines[21], QStringLiteral("01/01/2025 00:00:06.000,1.000,0.950,1.050,1.100,"));

    chart->ExportPng(dir.filePath("chart.png"));
    const QImage image(dir.filePath("chart.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), chart->Plot->size() * chart->Plot->devicePixelRatio());
    EXPECT_THROW(chart->ExportCsv(QStringLiteral("/nonexistent-folder/span.csv")),
                 std::runtime_error);
}

namespace {
// A tmpfs of four pages mounted on a folder while it lives: a real disk that fills up.
class TinyDisk {
public:
    explicit TinyDisk(const QString& folder) : FFolder(folder.toLocal8Bit()) {
        QDir().mkpath(folder);
        FMounted = ::mount("tmpfs", FFolder.constData(), "tmpfs", 0, "size=16k") == 0;
    }
    ~TinyDisk() {
        if (FMounted)
            ::umount2(FFolder.constData(), MNT_DETACH);
    }
    bool Mounted() const { return FMounted; }

    // Takes every free byte, so the next write finds the disk full.
    void Fill() const {
        QFile filler(QString::fromLocal8Bit(FFolder) + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size()) {
        }
        const QByteArray byte(1, 'x');
        while (filler.write(byte) == 1) {
        }
    }

private:
    QByteArray FFolder;
    bool FMounted = false;
};

struct FailedExport {
    const char* name;
    bool png;
    const char* oldContent; // nullptr: no file there before
};

const FailedExport FailedExports[] = {
    {"CSV to a new file", false, nullptr},
    {"CSV over an earlier export", false, "Elapsed s, Time\r\n"},
    {"PNG to a new file", true, nullptr},
    {"PNG over an earlier export", true, "an earlier picture"},
};

QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Runs the export that must fail and checks that it said so and left the target as it was.
void ExpectExportLeavesTargetAsItWas(TLambdaChartForm* chart, const FailedExport& c,
                                     const QString& target, const char* reason) {
    try {
        if (c.png)
            chart->ExportPng(target);
        else
            chart->ExportCsv(target);
        ADD_FAILURE() << "the export reported success";
    } catch (const std::runtime_error& e) {
        const QString text = QString::fromStdString(e.what());
        EXPECT_TRUE(text.startsWith(QStringLiteral("Cannot write ") + target)) << e.what();
        EXPECT_TRUE(text.contains(QString::fromLatin1(reason))) << e.what();
    }
    if (c.oldContent)
        EXPECT_EQ(FileBytes(target), QByteArray(c.oldContent));
    else
        EXPECT_FALSE(QFile::exists(target));
}

void WriteOld(const QString& path, const char* content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(content), qint64(qstrlen(content)));
}
} // namespace

TEST(LambdaChart, AnExportOntoAFullDiskLeavesTheTargetAsItWas) {
    WindowsRig rig;
    QTemporaryDir dir;
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(WriteLog(dir.filePath("pull.csv"), 30, false));
    int disk = 0;
    for (const FailedExport& c : FailedExports) {
        SCOPED_TRACE(c.name);
        const QString folder = dir.filePath(QStringLiteral("disk%1").arg(++disk));
        const TinyDisk tiny(folder);
        if (!tiny.Mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here: the file size limit test stands in";
        const QString target = folder + (c.png ? QStringLiteral("/chart.png") : "/span.csv");
        if (c.oldContent)
            WriteOld(target, c.oldContent);
        tiny.Fill();
        const QStringList before = FolderEntries(folder);
        ExpectExportLeavesTargetAsItWas(chart, c, target, "No space left on device");
        EXPECT_EQ(FolderEntries(folder), before) << "no temporary file left behind";
    }
}

TEST(LambdaChart, AnExportWhoseWritesFailLeavesTheTargetAsItWas) {
    WindowsRig rig;
    const CLocaleScope cLocale;
    QTemporaryDir dir;
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(WriteLog(dir.filePath("pull.csv"), 30, false));
    chart->Plot->repaint();
    int n = 0;
    for (const FailedExport& c : FailedExports) {
        SCOPED_TRACE(c.name);
        const QString folder = dir.filePath(QStringLiteral("out%1").arg(++n));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString target = folder + (c.png ? QStringLiteral("/chart.png") : "/span.csv");
        if (c.oldContent)
            WriteOld(target, c.oldContent);
        const QStringList before = FolderEntries(folder);
        WithFileSizeLimit(
            1024, [&] { ExpectExportLeavesTargetAsItWas(chart, c, target, "File too large"); });
        EXPECT_EQ(FolderEntries(folder), before) << "no temporary file left behind";
    }

    // With room again, an export replaces the earlier one whole.
    const QString csv = dir.filePath("out2/span.csv");
    chart->ExportCsv(csv);
    const QStringList lines = FileLines(csv);
    ASSERT_EQ(lines.size(), 1 + 300);
    EXPECT_EQ(lines[1], QStringLiteral("12/31/2024 23:59:50.000,1.000,0.950,1.050,1.100,"));
    chart->ExportPng(dir.filePath("out4/chart.png"));
    EXPECT_FALSE(QImage(dir.filePath("out4/chart.png")).isNull());
}

// Under German settings: semicolons, the decimal comma, the German date; in air-fuel
// ratio when the chart shows it.
TEST(LambdaChart, ExportsForASpreadsheetUnderGermanSettings) {
    WindowsRig rig;
    QTemporaryDir dir;
    TLambdaChartForm* chart = OpenChart();
    WithGermanNumbersAndDates([&] {
        chart->OpenLog(WriteLog(dir.filePath("pull.csv"), 30, true));
        chart->UnitBox->setCurrentIndex(1); // AFR gasoline, 14.7
        chart->Plot->SetXRange(86390 + 15, 86390 + 15.05);
        chart->ExportCsv(dir.filePath("span.csv"));
    });
    EXPECT_EQ(FileLines(dir.filePath("span.csv")),
              (QStringList{"Time;CH1 AFR;CH2 AFR;CH3 AFR;CH4 AFR;Supply V",
                           "01.01.2025 00:00:05,000;10,290;13,965;15,435;16,170;"}));
}

// The live view's frames of the span, dated today.
TEST(LambdaChart, ExportsTheLiveSpan) {
    WindowsRig rig;
    const CLocaleScope cLocale;
    QTemporaryDir dir;
    TLambdaChartForm* chart = OpenChart();
    const QDateTime before = QDateTime::currentDateTime();
    for (int i = 0; i < 3; ++i)
        chart->AddLiveFrame({1.0f, 0.95f, 1.05f, float(i)}, false);
    chart->SetPaused(true);
    chart->Plot->SetXRange(chart->Plot->X1() - 600, chart->Plot->X1() + 600);
    chart->ExportCsv(dir.filePath("live.csv"));
    const QStringList lines = FileLines(dir.filePath("live.csv"));
    ASSERT_EQ(lines.size(), 4);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const QStringList cells = lines[i + 1].split(',');
        ASSERT_EQ(cells.size(), 6);
        const QDateTime at =
            QDateTime::fromString(cells[0], QStringLiteral("MM/dd/yyyy HH:mm:ss.zzz"));
        EXPECT_LE(std::abs(at.msecsTo(before)), 2000) << cells[0].toStdString();
        EXPECT_EQ(cells.mid(1),
                  (QStringList{"1.000", "0.950", "1.050", QStringLiteral("%1.000").arg(i), ""}));
    }
}

namespace {
// uego-log's precise format, 91 records a second from 10:00 on 9 December 2025.
QString WriteLargeLog(const QString& path, int records) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("time,elapsed_s,ch1,ch2,ch3,ch4,supply_v,warmup\r\n");
    QByteArray text;
    for (int i = 0; i < records; ++i) {
        const int ms = 36000000 + i * 11;
        text +=
            QStringLiteral("2025-12-09T%1:%2:%3.%4+01:00,0.000,0.900,1.000,1.100,1.200,12.55,0\r\n")
                .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
                .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
                .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                .arg(ms % 1000, 3, 10, QLatin1Char('0'))
                .toLatin1();
    }
    file.write(text);
    return path;
}
} // namespace

// A large export runs beside the window's events: they keep being handled while it
// writes, and the file holds every record.
TEST(LambdaChart, TheWindowTurnsToItsEventsThroughALargeExport) {
    WindowsRig rig;
    const CLocaleScope cLocale;
    QTemporaryDir dir;
    const QString log = WriteLargeLog(dir.filePath("large.csv"), 400000);
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(log);
    ASSERT_TRUE(WaitUntil([&] { return !chart->Loading(); }));
    chart->ResetView();

    // A timer's turns, each with how far the export had come.
    std::vector<std::pair<std::size_t, std::size_t>> seen;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, [&] {
        if (const auto progress = chart->ExportProgress())
            seen.push_back(*progress);
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    turn.start();
    chart->ExportCsv(dir.filePath("span.csv"));
    turn.stop();
    const auto midway = std::count_if(
        seen.begin(), seen.end(), [](const auto& p) { return p.first > 0 && p.first < p.second; });
    EXPECT_GE(midway, 2) << "the window's events waited for the export";
    std::printf("export of 400000 records: %zu turns of the window meanwhile, %lld ms "
                "the longest between two\n",
                seen.size(), static_cast<long long>(longest));
    EXPECT_FALSE(chart->ExportProgress());
    const QStringList lines = FileLines(dir.filePath("span.csv"));
    ASSERT_EQ(lines.size(), 1 + 400000);
    EXPECT_EQ(lines[1], QStringLiteral("12/09/2025 10:00:00.000,0.900,1.000,1.100,1.200,"));
    EXPECT_EQ(lines[400000], QStringLiteral("12/09/2025 11:13:19.989,0.900,1.000,1.100,1.200,"));
}

// Cancelled midway, an export leaves the file it was to replace as it was, and nothing
// beside it; the log is followed again.
TEST(LambdaChart, ACancelledExportLeavesTheTargetAsItWas) {
    WindowsRig rig;
    QTemporaryDir dir;
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(WriteLargeLog(dir.filePath("large.csv"), 400000));
    ASSERT_TRUE(WaitUntil([&] { return !chart->Loading(); }));
    chart->ResetView();
    const QString target = dir.filePath("span.csv");
    WriteOld(target, "an earlier export\r\n");
    std::optional<std::pair<std::size_t, std::size_t>> cancelledAt;
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, [&] {
        const auto progress = chart->ExportProgress();
        auto* dialog = chart->findChild<QProgressDialog*>();
        auto* cancel = dialog ? dialog->findChild<QPushButton*>() : nullptr;
        if (!cancelledAt && progress && progress->first > 0 && cancel) {
            cancelledAt = progress;
            EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
            cancel->click();
        }
    });
    turn.start();
    chart->ExportCsv(target);
    turn.stop();
    ASSERT_TRUE(cancelledAt);
    EXPECT_LT(cancelledAt->first, cancelledAt->second) << "cancelled before the end";
    EXPECT_EQ(FileBytes(target), QByteArray("an earlier export\r\n"));
    EXPECT_EQ(FolderEntries(dir.path()), (QStringList{"large.csv", "span.csv"}));
    QFile log(dir.filePath("large.csv"));
    ASSERT_TRUE(log.open(QIODevice::Append));
    log.write("2025-12-09T11:13:20.000+01:00,0.000,0.900,1.000,1.100,1.200,12.55,0\r\n");
    log.close();
    EXPECT_TRUE(WaitUntil([&] { return chart->Log().Parser().Series().Size() == 400001; }));
}
