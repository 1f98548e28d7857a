#pragma once
// The "Lambda Chart" window, beside the main window's instruments: the four channels of
// the last minutes while the port polls, or a data log opened for review and followed
// while it grows. Zoom, pan, a cursor readout, span statistics, and export as PNG or CSV.
#include "chart/LiveTrace.h"
#include "chart/LogReader.h"
#include "widgets/GColors.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <atomic>
#include <optional>
#include <utility>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class TChartPlot;
class TDeviceLink;

// A fuel's stoichiometric air-fuel ratio; lambda is shown as itself.
struct TChartUnit {
    const char* Name;
    double Ratio;
};
extern const std::array<TChartUnit, 8> ChartUnits;

// Span choices of the live view, in seconds.
extern const std::array<int, 6> LiveSpans;

// The times a log covers, in seconds from the midnight before its first record.
struct TLogExtent {
    double First = 0;
    double Last = 0;
};

class TLambdaChartForm : public QMainWindow {
    Q_OBJECT
public:
    enum class TMode { Live, Log };

    TLambdaChartForm(QWidget* parent, TDeviceLink& link,
                     const std::array<QColor, ChartChannels>& colors);
    ~TLambdaChartForm() override;

    TChartPlot* Plot;
    QAction* LiveAction;
    QAction* OpenLogAction;
    QAction* PauseAction;
    QAction* ResetAction;
    QAction* ExportPngAction;
    QAction* ExportCsvAction;
    QComboBox* SpanBox;
    QComboBox* UnitBox;
    std::array<QCheckBox*, ChartChannels> ChannelBox;
    QLabel* CursorLabel;
    std::array<QLabel*, ChartChannels> StatsLabel;
    QLabel* StatusLabel;

    TMode Mode() const { return FMode; }
    const TLiveTrace& Live() const { return FLive; }
    const TLogFollower& Log() const { return FFollower; }

    // A live frame from the main window's tick: stored at once, drawn by the next repaint.
    void AddLiveFrame(const std::array<float, ChartChannels>& lambda, bool warmUp);
    void ShowLive();
    void SetPaused(bool paused);
    // Reads the log's start and shows its whole span, then reads the rest in steps between
    // the window's events and follows it while it grows. Throws when the file cannot be
    // read or is not a data log.
    void OpenLog(const QString& path);
    // The opened log is still being read.
    bool Loading() const { return FLoadTimer.isActive(); }
    void ResetView();
    void ExportPng(const QString& path);
    // Writes the records of the span shown as a log for spreadsheets, record by record on
    // a thread of its own, into a file that takes the name only when whole. The window
    // goes on turning to its events meanwhile, behind a modal progress dialog that can
    // cancel the export (which leaves no file). Throws when the file cannot be written.
    void ExportCsv(const QString& path);
    // The records an export under way has written, and the span's records; none between exports.
    std::optional<std::pair<std::size_t, std::size_t>> ExportProgress() const;

protected:
    // The live view catches up with the frames recorded while the window was hidden.
    void showEvent(QShowEvent* event) override;

private:
    void CreateToolBar();
    void CreateReadouts(QWidget* client);
    void OpenLogClick();
    void ExportPngClick();
    void ExportCsvClick();
    void LiveTick();
    void LoadTick();
    void NoteLoadShown();
    void LostLog();
    void FollowTick();
    void ShowLogSeries();
    void ShowWholeLog();
    void ViewChangedByOperator();
    void UnitChanged(int index);
    void UpdateReadouts();
    void UpdateCursor();
    void UpdateStatus();
    double LiveNow() const;
    const TLogSeries& ShownSeries() const;
    QString ValueText(float lambda) const;
    std::optional<double> LogDay() const;

    TMode FMode = TMode::Live;
    TLiveTrace FLive;
    QElapsedTimer FLiveClock;
    double FLiveOrigin = 0; // the live clock's start, in seconds since midnight
    double FLiveDay = 0;    // and that midnight
    TLogFollower FFollower;
    int FFollowGeneration = 0;
    QTimer FLiveTimer;
    QTimer FFollowTimer;
    QTimer FLoadTimer;
    QElapsedTimer FLoadShown;
    std::optional<TLogExtent> FLoadExtent; // what the view last showed while reading
    double FScale = 1;
    // The export under way: its records written, and the span's records.
    std::atomic<std::size_t> FExportDone{0};
    std::size_t FExportTotal = 0;
    bool FExporting = false;
};

extern TLambdaChartForm* LambdaChartForm;

// Shows the chart window, made on first use over the owner's link, its channels drawn in
// the owner's pointer colours.
void ShowLambdaChart(QWidget* owner, TDeviceLink& link,
                     const std::array<TColor, ChartChannels>& meterColors);
