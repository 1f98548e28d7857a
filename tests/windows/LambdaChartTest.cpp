// The lambda chart window: its menu item, the live view fed by the main window's tick,
// log review with zoom, pan, cursor and statistics, following, bad input and export.
#include "tests/windows/WindowsRig.h"

#include "chart/Decimation.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/LogFiles.h"
#include "windows/ChartPlot.h"
#include "windows/LambdaChart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <gtest/gtest.h>

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
    EXPECT_EQ(live.Lambda[0].back(), 0.982f);
    EXPECT_EQ(live.Lambda[3].back(), 1.234f);

    const int ticksBefore = ticks;
    const std::size_t pointsBefore = live.Size();
    Pause(1500);
    const int tickCount = ticks - ticksBefore;
    EXPECT_NEAR(double(live.Size() - pointsBefore), double(tickCount), 1.0) << "one point per tick";

    emulator.SetFault(sim::Fault::Silent, true);
    Pause(300); // the answer in flight
    const std::size_t silentFrom = live.Size();
    const int silentTicks = ticks;
    Pause(1200);
    EXPECT_GE(ticks - silentTicks, 5);
    EXPECT_EQ(live.Size(), silentFrom) << "no points while silent";
    EXPECT_TRUE(chart->StatusLabel->text().contains(QStringLiteral("no data")));

    emulator.SetFault(sim::Fault::Silent, false);
    ASSERT_TRUE(WaitUntil([&] { return live.Size() >= silentFrom + 3; }));
    const TTrace trace = Decimate(live.Time, live.Lambda[0], live.Time.front(), live.Time.back(),
                                  500, TLiveTrace::GapSeconds);
    EXPECT_EQ(trace.RunStarts.size(), 2u) << "the silence leaves a gap";

    emulator.SetStatus(1);
    ASSERT_TRUE(WaitUntil([&] { return !chart->Live().WarmUp().empty(); }));
    Pause(300);
    const std::size_t warmFrom = live.Size();
    Pause(500);
    EXPECT_EQ(live.Size(), warmFrom) << "warm-up frames carry no lambda";
    EXPECT_TRUE(chart->StatusLabel->text().contains(QStringLiteral("warm-up")));
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
    Pause(400);
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

    const std::size_t allPoints = chart->Plot->DrawnPoints();
    chart->ChannelBox[1]->setChecked(false);
    chart->Plot->repaint();
    EXPECT_FALSE(chart->Plot->ChannelVisible(1));
    const TLogSeries& series = chart->Log().Parser().Series();
    const TTrace hidden = Decimate(series.Time, series.Lambda[1], chart->Plot->X0(),
                                   chart->Plot->X1(), chart->Plot->Area().width(), 2.0);
    EXPECT_EQ(chart->Plot->DrawnPoints(), allPoints - hidden.Points.size());
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
    EXPECT_GE(chart->Plot->X1(), series.Time.back() - 1.0) << "the view keeps up with them";
    Form1->Link().LogStop();
    EXPECT_EQ(series.Lambda[2].back(), 0.9f);
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
    Pause(200);
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

TEST(LambdaChart, ExportsTheVisibleChartAndSpan) {
    WindowsRig rig;
    QTemporaryDir dir;
    TLambdaChartForm* chart = OpenChart();
    chart->OpenLog(WriteLog(dir.filePath("pull.csv"), 30, false));
    chart->Plot->SetXRange(86390 + 14, 86390 + 16);
    chart->ExportCsv(dir.filePath("span.csv"));
    const QStringList lines = FileLines(dir.filePath("span.csv"));
    ASSERT_EQ(lines.size(), 1 + 21);
    EXPECT_EQ(lines[0],
              QStringLiteral("Elapsed s, Time, CH1 lambda, CH2 lambda, CH3 lambda, CH4 lambda"));
    EXPECT_EQ(lines[1], QStringLiteral("14.000, 00:00:04, 1.000, 0.950, 1.050, 1.100"));
    EXPECT_EQ(lines[11], QStringLiteral("15.000, 00:00:05, 0.700, 0.950, 1.050, 1.100"));

    chart->ExportPng(dir.filePath("chart.png"));
    const QImage image(dir.filePath("chart.png"));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), chart->Plot->size() * chart->Plot->devicePixelRatio());
    EXPECT_THROW(chart->ExportCsv(QStringLiteral("/nonexistent-folder/span.csv")),
                 std::runtime_error);
}
