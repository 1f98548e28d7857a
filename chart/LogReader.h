#pragma once
// Reading the logs the project writes, as they stand on disk or while they are still being
// written, with CR LF or LF line ends:
// - the main window's data log (uego-log's window format is the same, byte for byte): two
//   header lines, then "HH:MM:SS, v1, v2, v3, v4" records with a decimal point or comma.
//   Records that share a second are spread evenly across it, and the clock keeps counting
//   up past midnight. A second pair of header lines (two logs joined) is passed over.
// - uego-log's precise format: a header row, then records stamped with the local date and
//   time to the millisecond and the UTC offset, used as they are. Warm-up records carry no
//   lambda: they become warm-up spans, as in the live view.
// Times are seconds from the midnight before the first record.
#include "chart/LogSeries.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

struct TPreciseRecord;

class TLogParser {
public:
    enum class TState { Empty, Log, NotALog };
    enum class TFormat { Unknown, Window, Precise };
    // Records further apart than this are never joined by a line: logging paused.
    static constexpr double LeastGapSeconds = 2.0;

    // Parses every complete line of the bytes; an unfinished last line waits for the rest.
    void Feed(std::string_view bytes);
    void Reset();

    const TLogSeries& Series() const { return FSeries; }
    // The spans of warm-up records, which are not in the series.
    const std::vector<TWarmUpSpan>& WarmUp() const { return FWarmUp; }
    std::size_t WarmUpRecords() const { return FWarmUpRecords; }
    TState State() const { return FState; }
    TFormat Format() const { return FFormat; }
    // Lines that were neither header nor record, skipped.
    std::size_t Malformed() const { return FMalformed; }
    // Complete lines read so far.
    std::size_t Lines() const { return FLines; }
    // The date the log starts on, as written.
    const QString& Date() const { return FDate; }
    // An unfinished last line is waiting for its end.
    bool LinePending() const { return FOverlong || !FPending.empty(); }
    // Records further apart than this are not joined: three times the usual spacing of the
    // first records, so a log written once every few seconds still draws as a line, and
    // never less than LeastGapSeconds.
    double Gap() const { return FGap; }

private:
    void StartOverlongLine();
    void ParseLine(std::string_view line);
    void ParseFirstLine(std::string_view line);
    void ParseWindowLine(std::string_view line);
    void ParsePreciseLine(std::string_view line);
    void AddWindowRecord(int secondOfDay, const std::array<float, ChartChannels>& lambda);
    long long ElapsedSecond(int secondOfDay);
    void AddPreciseRecord(const TPreciseRecord& record);
    void MarkWarmUp(double time, bool warmUp);
    void NoteSpacing(double time);

    TLogSeries FSeries;
    std::vector<TWarmUpSpan> FWarmUp;
    std::size_t FWarmUpRecords = 0;
    bool FInWarmUp = false;
    TState FState = TState::Empty;
    TFormat FFormat = TFormat::Unknown;
    std::size_t FLines = 0;
    std::size_t FMalformed = 0;
    QString FDate;
    std::string FPending;
    bool FOverlong = false;

    // Window format: the clock shows the second of the day alone.
    long long FOffset = 0;       // added to the second of day: whole days, or a clock step
    long long FLastSecond = -1;  // elapsed second of the last record
    std::size_t FGroupStart = 0; // first record of the last record's second

    // Precise format: the UTC second of the midnight before the first record.
    std::optional<long long> FOrigin;
    double FLastTime = 0;

    // The spacing of the first records, for Gap().
    std::vector<double> FSpacings;
    std::optional<double> FSpacingFrom;
    double FGap = LeastGapSeconds;
};

// A log file followed as it grows: each Poll reads what was appended since the last, and
// a file that was replaced or cut short is read again from its start.
class TLogFollower {
public:
    // Reads the whole file; throws EInOutError when it cannot be read.
    void Open(const QString& path);
    // Reads what was appended; true when anything new was parsed.
    bool Poll();
    void Close();

    bool IsOpen() const { return !FPath.isEmpty(); }
    const QString& Path() const { return FPath; }
    const TLogParser& Parser() const { return FParser; }
    // Counts the times the file was read again from its start.
    int Generation() const { return FGeneration; }

private:
    bool ReadFrom(int fd);
    bool TailUnchanged(int fd) const;

    // The last bytes read, to notice a file written anew in place.
    static constexpr std::size_t TailSize = 64;

    QString FPath;
    TLogParser FParser;
    std::uint64_t FOffset = 0;
    std::string FTail;
    dev_t FDevice = 0;
    ino_t FInode = 0;
    int FGeneration = 0;
};
