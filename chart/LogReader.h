#pragma once
// Reading the data log as it stands on disk or while it is still being written: the two
// header lines, then "HH:MM:SS, v1, v2, v3, v4" records with CR LF or LF line ends and a
// decimal point or comma. Records that share a second are spread evenly across it, and
// the clock keeps counting up past midnight.
#include "chart/LogSeries.h"

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

class TLogParser {
public:
    enum class TState { Empty, Log, NotALog };

    // Parses every complete line of the bytes; an unfinished last line waits for the rest.
    void Feed(std::string_view bytes);
    void Reset();

    const TLogSeries& Series() const { return FSeries; }
    TState State() const { return FState; }
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
    void AddRecord(int secondOfDay, const std::array<float, ChartChannels>& lambda);
    long long ElapsedSecond(int secondOfDay);

    TLogSeries FSeries;
    TState FState = TState::Empty;
    std::size_t FLines = 0;
    std::size_t FMalformed = 0;
    QString FDate;
    std::string FPending;
    bool FOverlong = false;
    long long FOffset = 0;       // added to the second of day: whole days, or a clock step
    long long FLastSecond = -1;  // elapsed second of the last record
    std::size_t FGroupStart = 0; // first record of the last record's second
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
