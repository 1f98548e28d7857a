#pragma once
// Reading a data log as it stands on disk or while it is still being written, with CR LF or
// LF line ends, in either of the formats the program writes:
// - the main window's: two header lines, then "HH:MM:SS, v1, v2, v3, v4" records with a
//   decimal point or comma. Records that share a second are spread evenly across it, and
//   the clock keeps counting up past midnight.
// - uego-log's precise one: a header row, then records stamped in ISO 8601 with milliseconds
//   and the UTC offset, which are used as they are. Warm-up records carry no lambda and
//   leave a gap, as the main window's log does.
// Header lines met again further on (a log continued, or two joined) are passed over.
#include "chart/LogSeries.h"

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

class TLogParser {
public:
    enum class TState { Empty, Log, NotALog };
    enum class TFormat { Window, Precise };

    // Parses every complete line of the bytes; an unfinished last line waits for the rest.
    void Feed(std::string_view bytes);
    void Reset();

    const TLogSeries& Series() const { return FSeries; }
    TState State() const { return FState; }
    TFormat Format() const { return FFormat; }
    // Lines that were neither header nor record, skipped.
    std::size_t Malformed() const { return FMalformed; }
    // The date the header line carries, as written.
    const QString& Date() const { return FDate; }
    // An unfinished last line is waiting for its end.
    bool LinePending() const { return FOverlong || !FPending.empty(); }

private:
    void StartOverlongLine();
    void ParseLine(std::string_view line);
    void ParseHeader(std::string_view line);
    bool IsHeaderLine(std::string_view line) const;
    void ParseWindowRecord(std::string_view line);
    void ParsePreciseRecord(std::string_view line);
    void AddRecord(int secondOfDay, const std::array<float, ChartChannels>& lambda);
    void AddStampedRecord(long long day, double secondOfDay, int offset,
                          const std::array<float, ChartChannels>& lambda);
    long long ElapsedSecond(int secondOfDay);

    TLogSeries FSeries;
    TState FState = TState::Empty;
    TFormat FFormat = TFormat::Window;
    std::size_t FLines = 0;
    std::size_t FMalformed = 0;
    QString FDate;
    std::string FPending;
    bool FOverlong = false;
    long long FOffset = 0;       // added to the second of day: whole days, or a clock step
    long long FLastSecond = -1;  // elapsed second of the last record
    std::size_t FGroupStart = 0; // first record of the last record's second
    long long FFirstDay = 0;     // precise format: the first record's date and UTC offset
    int FFirstOffset = 0;
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
