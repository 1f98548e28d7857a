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
#include "chart/PreciseLogLine.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// One complete line read on its own, without the parser's state, so that the lines of a
// large block can be read on several threads and then taken in their order.
struct TParsedLine {
    enum class TKind : std::uint8_t { Blank, Header, Window, CommonWindow, Precise, Malformed };
    TKind Kind = TKind::Blank;
    int SecondOfDay = 0;                                   // the main window's log
    TLambdas Lambda{};                                     // the main window's log
    std::array<std::int16_t, ChartChannels> Thousandths{}; // its common records
    TPreciseRecord Precise;                                // uego-log's precise format
    std::string_view Date{};                               // the precise record's date, as written
};

class TLogParser {
public:
    enum class TState { Empty, Log, NotALog };
    enum class TFormat { Unknown, Window, Precise };
    // Records further apart than this are never joined by a line: logging paused.
    static constexpr double LeastGapSeconds = 2.0;

    // Parses every complete line of the bytes; an unfinished last line waits for the rest.
    void Feed(std::string_view bytes);
    // Room for the records of this many bytes of log, so a large log is not moved as it grows.
    void Reserve(std::uint64_t bytes);
    // Gives back the room kept for reading large blocks.
    void ReleaseReading();
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
    std::string_view FeedLineInParts(std::string_view bytes);
    void FeedLines(std::string_view text);
    void TakeLine(std::string_view line);
    std::vector<TParsedLine>& FirstBatch();
    void StartOverlongLine();
    void Apply(std::span<const TParsedLine> lines);
    void ParseFirstLine(std::string_view line);
    template <class Values> void AddWindowRecord(int secondOfDay, const Values& values);
    long long ElapsedSecond(int secondOfDay);
    void AddPreciseRecord(const TPreciseRecord& record, std::string_view date);
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
    long long FOffset = 0;      // added to the second of day: whole days, or a clock step
    long long FLastSecond = -1; // elapsed second of the last record

    // Precise format: the UTC second of the midnight before the first record.
    std::optional<long long> FOrigin;
    long long FLastTick = 0; // milliseconds from the origin

    // Pieces of lines read and waiting to be taken, kept to spare their allocation.
    std::vector<std::vector<TParsedLine>> FBatch;

    // The spacing of the first records, for Gap().
    std::vector<double> FSpacings;
    std::optional<double> FSpacingFrom;
    double FGap = LeastGapSeconds;
};

// Reads the complete lines of a log in the given format, each on its own.
void ParseLines(TLogParser::TFormat format, std::string_view text, std::vector<TParsedLine>& out);

// A log file followed as it grows: each Poll reads what was appended since the last, and
// a file that was replaced or cut short is read again from its start.
class TLogFollower {
public:
    // Reads the whole file; throws EInOutError when it cannot be read.
    void Open(const QString& path);
    // Reads the file's first bytes only; Continue reads on. Throws as Open does.
    void Start(const QString& path, std::uint64_t firstBytes);
    // Reads up to this many bytes more; true when anything new was parsed.
    bool Continue(std::uint64_t bytes);
    // Reads what was appended; true when anything new was parsed.
    bool Poll();
    void Close();
    // Bytes read, and the file's size when last read.
    std::uint64_t Offset() const { return FOffset; }
    std::uint64_t Size() const { return FSize; }

    bool IsOpen() const { return !FPath.isEmpty(); }
    const QString& Path() const { return FPath; }
    const TLogParser& Parser() const { return FParser; }
    // Counts the times the file was read again from its start.
    int Generation() const { return FGeneration; }

private:
    bool ReadFrom(int fd, std::uint64_t most);
    bool TailUnchanged(int fd) const;
    void ReleaseAfterLargeRead();

    // The last bytes read, to notice a file written anew in place.
    static constexpr std::size_t TailSize = 64;
    // Large enough that both threads have work, small enough to stay in the caches.
    static constexpr std::size_t ChunkSize = 2 << 20;
    static constexpr std::size_t SmallRead = 64 << 10;

    QString FPath;
    TLogParser FParser;
    std::uint64_t FOffset = 0;
    std::uint64_t FSize = 0;
    std::string FTail;
    std::vector<char> FChunk;
    dev_t FDevice = 0;
    ino_t FInode = 0;
    int FGeneration = 0;
};
