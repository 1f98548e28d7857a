#include "windows/LambdaChart.h"

#include "core/CodePage.h"
#include "core/DateTime.h"
#include "core/LogText.h"
#include "core/Numbers.h"
#include "core/SaveFile.h"
#include "link/DeviceLink.h"
#include "windows/ChartPlot.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTime>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <thread>

TLambdaChartForm* LambdaChartForm = nullptr;

const std::array<TChartUnit, 8> ChartUnits{{{"lambda", 1.0},
                                            {"AFR gasoline", 14.7},
                                            {"AFR E85", 9.765},
                                            {"AFR ethanol", 9.0},
                                            {"AFR methanol", 6.4},
                                            {"AFR diesel", 14.5},
                                            {"AFR LPG", 15.5},
                                            {"AFR CNG", 17.2}}};

const std::array<int, 6> LiveSpans{10, 30, 60, 120, 300, 600};

namespace {
constexpr int LiveRepaintMs = 100;
constexpr int FollowMs = 250;
// A step of reading a large log: short enough that the window answers between steps.
constexpr std::uint64_t LoadStepBytes = 4 << 20;
// While a log is read, the view catches up this often.
constexpr qint64 LoadViewMs = 200;
constexpr int DefaultSpanIndex = 2; // 60 s

QString SpanName(int seconds) {
    return seconds < 60 ? QStringLiteral("%1 s").arg(seconds)
                        : QStringLiteral("%1 min").arg(seconds / 60);
}

// The time the log covers, its warm-up spans included. While it is still being read, its
// end is foreseen from the share of the file read so far.
std::optional<TLogExtent> ExtentOf(const TLogFollower& follower) {
    const TLogParser& parser = follower.Parser();
    const TLogSeries& series = parser.Series();
    const std::vector<TWarmUpSpan>& warmUp = parser.WarmUp();
    if (series.Empty() && warmUp.empty())
        return std::nullopt;
    TLogExtent extent{std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest()};
    if (!series.Empty())
        extent = {series.FrontTime(), series.BackTime()};
    if (!warmUp.empty())
        extent = {std::min(extent.First, warmUp.front().From),
                  std::max(extent.Last, warmUp.back().To)};
    if (follower.Offset() > 0 && follower.Offset() < follower.Size())
        extent.Last = extent.First + (extent.Last - extent.First) * double(follower.Size()) /
                                         double(follower.Offset());
    return extent;
}

// A failed export leaves the file it was to replace as it was, and no broken file.
void SaveExport(const QString& path, const QByteArray& bytes) {
    if (const int error = SaveFileWhole(path, bytes))
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2")
                                     .arg(path, QString::fromLocal8Bit(std::strerror(error)))
                                     .toStdString());
}
} // namespace

TLambdaChartForm::TLambdaChartForm(QWidget* parent, TDeviceLink& link,
                                   const std::array<QColor, ChartChannels>& colors)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("LambdaChartForm"));
    setWindowTitle(QStringLiteral("Lambda Chart"));
    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(6, 6, 6, 6);
    Plot = new TChartPlot(client);
    Plot->setObjectName(QStringLiteral("Plot"));
    Plot->SetChannelColors(colors);
    layout->addWidget(Plot, 1);
    CreateReadouts(client);
    setCentralWidget(client);
    CreateToolBar();
    for (int n = 0; n < ChartChannels; ++n) {
        ChannelBox[n]->setStyleSheet(
            QStringLiteral("QCheckBox { color: %1; background: black; padding: 2px; }")
                .arg(colors[n].name()));
        StatsLabel[n]->setStyleSheet(
            QStringLiteral("color: %1; background: black; padding: 2px;").arg(colors[n].name()));
    }
    StatusLabel = new QLabel(this);
    statusBar()->addWidget(StatusLabel, 1);
    resize(900, 580);

    const TDateTime now = Now();
    FLiveDay = std::floor(now);
    FLiveOrigin = (now - FLiveDay) * SecondsPerDay;
    FLiveClock.start();
    link.OnLiveFrame = [form = QPointer<TLambdaChartForm>(this)](const std::array<float, 4>& lambda,
                                                                 bool warmUp) {
        if (form)
            form->AddLiveFrame(lambda, warmUp);
    };
    FLiveTimer.setInterval(LiveRepaintMs);
    connect(&FLiveTimer, &QTimer::timeout, this, &TLambdaChartForm::LiveTick);
    FFollowTimer.setInterval(FollowMs);
    connect(&FFollowTimer, &QTimer::timeout, this, &TLambdaChartForm::FollowTick);
    FLoadTimer.setInterval(0);
    connect(&FLoadTimer, &QTimer::timeout, this, &TLambdaChartForm::LoadTick);
    connect(Plot, &TChartPlot::ViewChanged, this, &TLambdaChartForm::ViewChangedByOperator);
    connect(Plot, &TChartPlot::ResetRequested, this, &TLambdaChartForm::ResetView);
    connect(Plot, &TChartPlot::CursorMoved, this, &TLambdaChartForm::UpdateCursor);
    ShowLive();
}

TLambdaChartForm::~TLambdaChartForm() {
    if (LambdaChartForm == this)
        LambdaChartForm = nullptr;
}

void TLambdaChartForm::CreateToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Chart"));
    bar->setMovable(false);
    LiveAction = bar->addAction(QStringLiteral("Live"));
    LiveAction->setCheckable(true);
    connect(LiveAction, &QAction::triggered, this, &TLambdaChartForm::ShowLive);
    PauseAction = bar->addAction(QStringLiteral("Pause"));
    PauseAction->setCheckable(true);
    connect(PauseAction, &QAction::toggled, this, &TLambdaChartForm::SetPaused);
    SpanBox = new QComboBox(bar);
    for (int seconds : LiveSpans)
        SpanBox->addItem(SpanName(seconds), seconds);
    SpanBox->setCurrentIndex(DefaultSpanIndex);
    connect(SpanBox, &QComboBox::currentIndexChanged, this, [this] { SetPaused(false); });
    bar->addWidget(SpanBox);
    bar->addSeparator();
    OpenLogAction = bar->addAction(QStringLiteral("Open Log\u2026"));
    connect(OpenLogAction, &QAction::triggered, this, &TLambdaChartForm::OpenLogClick);
    ResetAction = bar->addAction(QStringLiteral("Reset"));
    connect(ResetAction, &QAction::triggered, this, &TLambdaChartForm::ResetView);
    bar->addSeparator();
    UnitBox = new QComboBox(bar);
    for (const TChartUnit& unit : ChartUnits)
        UnitBox->addItem(unit.Ratio == 1.0
                             ? QStringLiteral("Lambda")
                             : QStringLiteral("%1 (%2)").arg(QString::fromLatin1(unit.Name),
                                                             QString::number(unit.Ratio)));
    connect(UnitBox, &QComboBox::currentIndexChanged, this, &TLambdaChartForm::UnitChanged);
    bar->addWidget(UnitBox);
    for (int n = 0; n < ChartChannels; ++n) {
        ChannelBox[n] = new QCheckBox(QStringLiteral("CH%1").arg(n + 1), bar);
        ChannelBox[n]->setChecked(true);
        connect(ChannelBox[n], &QCheckBox::toggled, this, [this, n](bool on) {
            Plot->SetChannelVisible(n, on);
            UpdateReadouts();
        });
        bar->addWidget(ChannelBox[n]);
    }
    bar->addSeparator();
    ExportPngAction = bar->addAction(QStringLiteral("Export PNG\u2026"));
    connect(ExportPngAction, &QAction::triggered, this, &TLambdaChartForm::ExportPngClick);
    ExportCsvAction = bar->addAction(QStringLiteral("Export CSV\u2026"));
    connect(ExportCsvAction, &QAction::triggered, this, &TLambdaChartForm::ExportCsvClick);
}

void TLambdaChartForm::CreateReadouts(QWidget* client) {
    CursorLabel = new QLabel(client);
    CursorLabel->setObjectName(QStringLiteral("CursorLabel"));
    client->layout()->addWidget(CursorLabel);
    auto* stats = new QHBoxLayout();
    for (int n = 0; n < ChartChannels; ++n) {
        StatsLabel[n] = new QLabel(client);
        stats->addWidget(StatsLabel[n], 1);
    }
    static_cast<QVBoxLayout*>(client->layout())->addLayout(stats);
}

// ---- Live view ------------------------------------------------------------------------

double TLambdaChartForm::LiveNow() const {
    return FLiveOrigin + FLiveClock.nsecsElapsed() / 1e9;
}

void TLambdaChartForm::AddLiveFrame(const std::array<float, ChartChannels>& lambda, bool warmUp) {
    FLive.Add(LiveNow(), lambda, warmUp);
}

void TLambdaChartForm::ShowLive() {
    FFollowTimer.stop();
    FLoadTimer.stop();
    FFollower.Close();
    FMode = TMode::Live;
    LiveAction->setChecked(true);
    PauseAction->setEnabled(true);
    SpanBox->setEnabled(true);
    Plot->SetTimeLabels(TChartPlot::TTimeLabels::BeforeEnd);
    Plot->SetSeries(&FLive.Series(), TLiveTrace::GapSeconds, &FLive.WarmUp());
    PauseAction->setChecked(false);
    SetPaused(false);
}

void TLambdaChartForm::SetPaused(bool paused) {
    if (PauseAction->isChecked() != paused)
        PauseAction->setChecked(paused); // comes back here through its toggled signal
    if (FMode != TMode::Live)
        return;
    if (paused) {
        FLiveTimer.stop();
    } else {
        Plot->AutoY();
        FLiveTimer.start();
        LiveTick();
    }
    UpdateStatus();
}

void TLambdaChartForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    LiveTick();
}

// Moves the view to the newest frames; while the controller is silent it moves on
// without them, so the silence shows as a gap.
void TLambdaChartForm::LiveTick() {
    if (FMode != TMode::Live || PauseAction->isChecked() || !isVisible())
        return;
    const double now = LiveNow();
    Plot->SetXRange(now - SpanBox->currentData().toInt(), now);
    Plot->DataChanged();
    UpdateReadouts();
}

// ---- Log review -----------------------------------------------------------------------

void TLambdaChartForm::OpenLogClick() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Log"), QFileInfo(FFollower.Path()).path(),
        QStringLiteral("Data logs (*.csv);;All files (*)"), nullptr,
        QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty())
        OpenLog(path);
}

void TLambdaChartForm::OpenLog(const QString& path) {
    TLogFollower follower;
    follower.Start(path, LoadStepBytes);
    if (follower.Parser().State() == TLogParser::TState::NotALog)
        throw std::runtime_error(
            QStringLiteral("%1 is not a data log").arg(QFileInfo(path).fileName()).toStdString());
    FLiveTimer.stop();
    FLoadTimer.stop();
    FFollowTimer.stop();
    FFollower = std::move(follower);
    FFollowGeneration = FFollower.Generation();
    FMode = TMode::Log;
    LiveAction->setChecked(false);
    PauseAction->setEnabled(false);
    SpanBox->setEnabled(false);
    Plot->SetTimeLabels(TChartPlot::TTimeLabels::Clock);
    if (FFollower.Offset() < FFollower.Size())
        FLoadTimer.start();
    else
        FFollowTimer.start();
    ShowLogSeries();
    ShowWholeLog();
    NoteLoadShown();
}

// One step of reading a large log. A few times a second, and when the log is read, the
// view catches up: it keeps showing the whole span, which fills in, unless the operator
// has moved it. Drawing the whole span after every step would take longer than reading.
void TLambdaChartForm::LoadTick() {
    FFollower.Continue(LoadStepBytes);
    if (FFollower.Parser().State() == TLogParser::TState::NotALog)
        return LostLog();
    const bool read = FFollower.Offset() >= FFollower.Size();
    if (read) {
        FLoadTimer.stop();
        FFollowTimer.start();
    } else if (FLoadShown.isValid() && FLoadShown.elapsed() < LoadViewMs) {
        return;
    }
    const bool whole =
        !FLoadExtent || (Plot->X0() <= FLoadExtent->First && Plot->X1() >= FLoadExtent->Last);
    ShowLogSeries();
    if (whole)
        ShowWholeLog();
    else
        UpdateReadouts();
    NoteLoadShown();
}

// The span the view was last brought up to while the log is read.
void TLambdaChartForm::NoteLoadShown() {
    FLoadExtent = ExtentOf(FFollower);
    FLoadShown.start();
}

// The file under the name is no longer a log (replaced, say): back to the live view.
void TLambdaChartForm::LostLog() {
    const QString name = QFileInfo(FFollower.Path()).fileName();
    ShowLive();
    throw std::runtime_error(QStringLiteral("%1 is no longer a data log").arg(name).toStdString());
}

// The gap follows the log's own rate, which the first records tell.
void TLambdaChartForm::ShowLogSeries() {
    const TLogParser& parser = FFollower.Parser();
    Plot->SetSeries(&parser.Series(), parser.Gap(), &parser.WarmUp());
}

void TLambdaChartForm::ShowWholeLog() {
    const std::optional<TLogExtent> extent = ExtentOf(FFollower);
    if (!extent)
        Plot->SetXRange(0, 60);
    else
        Plot->SetXRange(extent->First, std::max(extent->Last, extent->First + 1));
    Plot->AutoY();
    UpdateReadouts();
}

// New records extend a view that reaches the end of the log; a view elsewhere stays put.
void TLambdaChartForm::FollowTick() {
    const std::optional<TLogExtent> before = ExtentOf(FFollower);
    const bool wholeBefore = !before || (Plot->X0() <= before->First && Plot->X1() >= before->Last);
    const bool atEnd = before && Plot->X1() >= before->Last;
    if (!FFollower.Poll())
        return;
    if (FFollower.Parser().State() == TLogParser::TState::NotALog)
        return LostLog();
    ShowLogSeries();
    if (FFollower.Generation() != FFollowGeneration || wholeBefore) {
        FFollowGeneration = FFollower.Generation();
        ShowWholeLog();
        return;
    }
    const std::optional<TLogExtent> now = ExtentOf(FFollower);
    if (atEnd && now->Last > before->Last) {
        const double shift = now->Last - Plot->X1();
        Plot->SetXRange(Plot->X0() + shift, Plot->X1() + shift);
    }
    UpdateReadouts();
}

// ---- View, readouts and status --------------------------------------------------------

void TLambdaChartForm::ResetView() {
    if (FMode == TMode::Live)
        SetPaused(false);
    else
        ShowWholeLog();
}

// Zooming or panning the live view holds it still, so what the operator looks at stays.
void TLambdaChartForm::ViewChangedByOperator() {
    if (FMode == TMode::Live)
        SetPaused(true);
    UpdateReadouts();
}

void TLambdaChartForm::UnitChanged(int index) {
    FScale = ChartUnits[std::size_t(index)].Ratio;
    Plot->SetUnit(FScale, QString::fromLatin1(ChartUnits[std::size_t(index)].Name));
    UpdateReadouts();
}

const TLogSeries& TLambdaChartForm::ShownSeries() const {
    return FMode == TMode::Live ? FLive.Series() : FFollower.Parser().Series();
}

QString TLambdaChartForm::ValueText(float lambda) const {
    return FixedDecimals(lambda * FScale, FScale == 1.0 ? 3 : 2);
}

void TLambdaChartForm::UpdateReadouts() {
    const TLogSeries& series = ShownSeries();
    for (int n = 0; n < ChartChannels; ++n) {
        const TSpanStats stats = SpanStats(series, n, Plot->X0(), Plot->X1());
        QString text = QStringLiteral("CH%1").arg(n + 1);
        if (stats.Count > 0 && Plot->ChannelVisible(n))
            text +=
                QStringLiteral("  min %1  mean %2  max %3")
                    .arg(ValueText(stats.Min), ValueText(float(stats.Mean)), ValueText(stats.Max));
        else
            text += QStringLiteral("  \u2014");
        StatsLabel[n]->setText(text);
    }
    UpdateCursor();
    UpdateStatus();
}

void TLambdaChartForm::UpdateCursor() {
    const std::optional<double> time = Plot->CursorTime();
    if (!time) {
        CursorLabel->setText(QStringLiteral("Cursor: \u2014"));
        return;
    }
    const std::optional<std::size_t> record = Plot->CursorRecord();
    const double at = record ? ShownSeries().Time(*record) : *time;
    QString text = QStringLiteral("Cursor: %1%2%3")
                       .arg(ClockText(at), DecimalSeparator())
                       .arg(int((at - std::floor(at)) * 10));
    for (int n = 0; n < ChartChannels; ++n)
        text += QStringLiteral("   CH%1 %2")
                    .arg(n + 1)
                    .arg(record ? ValueText(ShownSeries().Value(n, *record))
                                : QStringLiteral("\u2014"));
    CursorLabel->setText(text);
}

void TLambdaChartForm::UpdateStatus() {
    QStringList parts;
    if (FMode == TMode::Live) {
        parts << QStringLiteral("Live: %1 frames").arg(FLive.Series().Size());
        const double since = LiveNow() - FLive.LastTime();
        if (FLive.LastTime() < 0 || since > TLiveTrace::GapSeconds)
            parts << QStringLiteral("no data");
        else if (!FLive.WarmUp().empty() && FLive.WarmUp().back().To >= FLive.LastTime())
            parts << QStringLiteral("sensor warm-up");
        if (PauseAction->isChecked())
            parts << QStringLiteral("paused");
    } else {
        const TLogParser& parser = FFollower.Parser();
        parts << QFileInfo(FFollower.Path()).fileName();
        if (!parser.Date().isEmpty())
            parts << parser.Date();
        parts << (parser.State() == TLogParser::TState::Empty
                      ? QStringLiteral("empty, waiting for records")
                      : QStringLiteral("%1 records").arg(parser.Series().Size()));
        if (parser.WarmUpRecords() > 0)
            parts << QStringLiteral("%1 in sensor warm-up").arg(parser.WarmUpRecords());
        if (parser.Malformed() > 0)
            parts << QStringLiteral("%1 malformed lines skipped").arg(parser.Malformed());
        if (Loading())
            parts << QStringLiteral("reading %1 %")
                         .arg(int(100.0 * double(FFollower.Offset()) /
                                  double(std::max<std::uint64_t>(FFollower.Size(), 1))));
        else
            parts << QStringLiteral("following");
    }
    StatusLabel->setText(parts.join(QStringLiteral(" \u00b7 ")));
}

// ---- Export ---------------------------------------------------------------------------

void TLambdaChartForm::ExportPngClick() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export PNG"), QString(),
                                                      QStringLiteral("PNG images (*.png)"), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty())
        ExportPng(path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)
                      ? path
                      : path + QStringLiteral(".png"));
}

void TLambdaChartForm::ExportCsvClick() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), QString(),
                                                      QStringLiteral("csv (*.csv)"), nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty())
        ExportCsv(path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)
                      ? path
                      : path + QStringLiteral(".csv"));
}

void TLambdaChartForm::ExportPng(const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!Plot->grab().save(&buffer, "PNG"))
        throw std::runtime_error(
            QStringLiteral("Cannot make the picture for %1").arg(path).toStdString());
    SaveExport(path, bytes);
}

// The log's first midnight: a precise log's date, or the main window's header date.
std::optional<TDateTime> TLambdaChartForm::LogDay() const {
    return ParseLogDate(FFollower.Parser().Date());
}

void TLambdaChartForm::ExportCsv(const QString& path) {
    if (FExporting)
        throw std::runtime_error("An export is under way");
    // What the export reads holds still while it runs: the live view's frames in the span
    // are copied (a few thousand at most); a log is neither read on nor followed meanwhile.
    TLogSeries liveSpan;
    const TLogSeries* series = &FFollower.Parser().Series();
    std::optional<TDateTime> day;
    if (FMode == TMode::Live) {
        const TLogSeries& live = FLive.Series();
        const std::size_t end = live.UpperBound(Plot->X1());
        for (std::size_t i = live.LowerBound(Plot->X0()); i < end; ++i)
            liveSpan.AppendTick(live.Tick(i), {live.Value(0, i), live.Value(1, i), live.Value(2, i),
                                               live.Value(3, i)});
        series = &liveSpan;
        day = FLiveDay;
    } else {
        day = LogDay();
    }
    const std::size_t first = series->LowerBound(Plot->X0());
    const std::size_t end = series->UpperBound(Plot->X1());
    const bool loading = FLoadTimer.isActive();
    const bool following = FFollowTimer.isActive();
    FLoadTimer.stop();
    FFollowTimer.stop();

    const QString unit = FScale == 1.0 ? QStringLiteral("lambda") : QStringLiteral("AFR");
    TSaveFile file(path);
    file.Write(ToCodePage(SheetHeaderLine(unit) + QStringLiteral("\r\n")));
    FExportDone = 0;
    FExportTotal = end - std::min(first, end);
    FExporting = true;
    std::atomic<bool> cancel{false};
    QProgressDialog progress(QStringLiteral("Exporting %1 records\u2026").arg(FExportTotal),
                             QStringLiteral("Cancel"), 0, 1000, this);
    progress.setWindowTitle(QStringLiteral("Export CSV"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(300);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    connect(&progress, &QProgressDialog::canceled, this, [&cancel] { cancel = true; });
    QTimer progressTimer;
    progressTimer.setInterval(100);
    connect(&progressTimer, &QTimer::timeout, this, [&] {
        progress.setValue(
            int(1000.0 * double(FExportDone) / double(std::max<std::size_t>(FExportTotal, 1))));
    });
    QEventLoop loop;
    std::thread worker([&] {
        if (file.Error() == 0 &&
            WriteSheetRecords(*series, first, end, day, FScale,
                              [&](const QByteArray& lines, std::size_t records) {
                                  if (cancel || file.Write(lines) != 0)
                                      return false;
                                  FExportDone = records;
                                  return true;
                              }))
            file.Commit();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    progressTimer.start();
    progress.setValue(0);
    loop.exec();
    worker.join();
    progressTimer.stop();
    FExporting = false;
    if (loading)
        FLoadTimer.start();
    if (following)
        FFollowTimer.start();
    if (cancel)
        return;
    if (const int error = file.Error())
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2")
                                     .arg(path, QString::fromLocal8Bit(std::strerror(error)))
                                     .toStdString());
}

std::optional<std::pair<std::size_t, std::size_t>> TLambdaChartForm::ExportProgress() const {
    if (!FExporting)
        return std::nullopt;
    return std::pair{FExportDone.load(), FExportTotal};
}

void ShowLambdaChart(QWidget* owner, TDeviceLink& link,
                     const std::array<TColor, ChartChannels>& meterColors) {
    if (!LambdaChartForm)
        LambdaChartForm = new TLambdaChartForm(owner, link, ChannelColors(meterColors));
    LambdaChartForm->show();
    LambdaChartForm->raise();
    LambdaChartForm->activateWindow();
}
