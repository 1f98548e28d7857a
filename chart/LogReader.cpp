#include "chart/LogReader.h"

#include "chart/PreciseLogLine.h"
#include "chart/WindowLogLine.h"
#include "core/InOutError.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int HalfDay = 43200;
constexpr std::size_t LongestLine = 4096;
// The spacings of this many first records set the gap; a log keeps its rate.
constexpr std::size_t SpacingsForGap = 100;
constexpr double GapPerSpacing = 3.0;
} // namespace

void TLogParser::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!FOverlong && FPending.size() + piece.size() <= LongestLine)
            FPending.append(piece);
        else if (!FOverlong)
            StartOverlongLine();
        if (end == std::string_view::npos)
            return;
        if (!FOverlong)
            ParseLine(FPending);
        FOverlong = false;
        FPending.clear();
        bytes.remove_prefix(end + 1);
    }
}

// A line longer than any log line (a binary file, say) is counted once and skipped to
// its end rather than held in memory.
void TLogParser::StartOverlongLine() {
    FOverlong = true;
    FPending.clear();
    if (++FLines == 1)
        FState = TState::NotALog;
    else if (FState == TState::Log)
        ++FMalformed;
}

void TLogParser::Reset() {
    *this = TLogParser();
}

void TLogParser::ParseLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    ++FLines;
    if (FLines == 1)
        return ParseFirstLine(line);
    if (FState != TState::Log || line.empty())
        return;
    if (FFormat == TFormat::Window)
        ParseWindowLine(line);
    else
        ParsePreciseLine(line);
}

void TLogParser::ParseFirstLine(std::string_view line) {
    std::string_view date;
    if (IsWindowLogHeader(line, date)) {
        FFormat = TFormat::Window;
        FDate = QString::fromLatin1(date.data(), qsizetype(date.size()));
    } else if (IsPreciseLogHeader(line)) {
        FFormat = TFormat::Precise;
    } else {
        FState = TState::NotALog;
        return;
    }
    FState = TState::Log;
}

void TLogParser::ParseWindowLine(std::string_view line) {
    std::string_view date;
    if (IsWindowLogHeader(line, date) || IsWindowLogColumns(line))
        return;
    int second = 0;
    std::array<float, ChartChannels> lambda{};
    if (ParseWindowRecord(line, second, lambda))
        AddWindowRecord(second, lambda);
    else
        ++FMalformed;
}

void TLogParser::ParsePreciseLine(std::string_view line) {
    if (IsPreciseLogHeader(line))
        return;
    TPreciseRecord record;
    if (!ParsePreciseRecord(line, record)) {
        ++FMalformed;
        return;
    }
    if (!FOrigin) // the date the first stamp starts with, "2025-12-09"
        FDate = QString::fromLatin1(line.data(), qsizetype(line.find('T')));
    AddPreciseRecord(record);
}

// The second since the first record's midnight. A clock that goes back by more than half
// a day passed midnight; a smaller step back (daylight saving, a set clock) carries on
// from the last second, so time never runs backwards.
long long TLogParser::ElapsedSecond(int secondOfDay) {
    long long second = secondOfDay + FOffset;
    if (FLastSecond >= 0 && second < FLastSecond) {
        const long long back = FLastSecond - second;
        FOffset += back > HalfDay ? (back + 86399) / 86400 * 86400 : back + 1;
        second = secondOfDay + FOffset;
    }
    return second;
}

void TLogParser::AddWindowRecord(int secondOfDay, const std::array<float, ChartChannels>& lambda) {
    const long long second = ElapsedSecond(secondOfDay);
    NoteSpacing(double(second));
    if (second != FLastSecond)
        FGroupStart = FSeries.Size();
    FLastSecond = second;
    FSeries.Append(double(second), lambda);
    const std::size_t count = FSeries.Size() - FGroupStart;
    for (std::size_t i = 0; i < count; ++i)
        FSeries.Time[FGroupStart + i] = double(second) + double(i) / double(count);
}

// The stamp carries date and offset, so it is taken as it is: past midnight and across a
// change of offset the time simply runs on. A stamp earlier than the last (a clock set
// back) is placed at the last, so time never runs backwards.
void TLogParser::AddPreciseRecord(const TPreciseRecord& record) {
    if (!FOrigin)
        FOrigin = record.LocalDay * 86400 - record.OffsetSeconds;
    const double time = std::max(double(record.UtcSecond - *FOrigin) + record.Fraction, FLastTime);
    FLastTime = time;
    NoteSpacing(time);
    MarkWarmUp(time, record.WarmUp);
    if (record.WarmUp)
        ++FWarmUpRecords;
    else
        FSeries.Append(time, record.Lambda);
}

// A warm-up span runs from its first warm-up record to the record after its last, so it
// meets the line on either side; a pause in logging ends it.
void TLogParser::MarkWarmUp(double time, bool warmUp) {
    const bool joins = FInWarmUp && time - FWarmUp.back().To <= FGap;
    if (joins)
        FWarmUp.back().To = time;
    else if (warmUp)
        FWarmUp.push_back({time, time});
    FInWarmUp = warmUp;
}

void TLogParser::NoteSpacing(double time) {
    const std::optional<double> from = FSpacingFrom;
    FSpacingFrom = time;
    if (!from || FSpacings.size() >= SpacingsForGap)
        return;
    FSpacings.push_back(time - *from);
    std::vector<double> sorted = FSpacings;
    const auto middle = sorted.begin() + std::ptrdiff_t(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    FGap = std::max(LeastGapSeconds, GapPerSpacing * *middle);
}

// ---- Following a file -----------------------------------------------------------------

void TLogFollower::Open(const QString& path) {
    Close();
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError::FromErrno(errno);
    FPath = path;
    const bool read = ReadFrom(fd);
    ::close(fd);
    if (!read) {
        const int error = errno;
        Close();
        throw EInOutError::FromErrno(error);
    }
}

bool TLogFollower::Poll() {
    if (!IsOpen())
        return false;
    const int fd = ::open(FPath.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false; // gone for the moment, e.g. while it is replaced
    const std::size_t lines = FParser.Lines();
    const int generation = FGeneration;
    ReadFrom(fd);
    ::close(fd);
    return FParser.Lines() != lines || FGeneration != generation;
}

void TLogFollower::Close() {
    FPath.clear();
    FParser.Reset();
    FOffset = 0;
    FDevice = 0;
    FInode = 0;
}

// Reads from the last offset to the end. A different file under the name, one shorter
// than what was read, or one whose last bytes read have changed (written anew in place)
// is read again from the start.
bool TLogFollower::ReadFrom(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return false;
    if (info.st_dev != FDevice || info.st_ino != FInode || std::uint64_t(info.st_size) < FOffset ||
        !TailUnchanged(fd)) {
        FParser.Reset();
        ++FGeneration;
        FOffset = 0;
        FTail.clear();
        FDevice = info.st_dev;
        FInode = info.st_ino;
    }
    std::string chunk(1 << 20, '\0');
    for (;;) {
        const ssize_t got = ::pread(fd, chunk.data(), chunk.size(), off_t(FOffset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        const std::string_view bytes(chunk.data(), std::size_t(got));
        FParser.Feed(bytes);
        FOffset += std::uint64_t(got);
        FTail.append(bytes.substr(bytes.size() - std::min(bytes.size(), TailSize)));
        if (FTail.size() > TailSize)
            FTail.erase(0, FTail.size() - TailSize);
    }
}

bool TLogFollower::TailUnchanged(int fd) const {
    if (FTail.empty())
        return true;
    std::string now(FTail.size(), '\0');
    const ssize_t got = ::pread(fd, now.data(), now.size(), off_t(FOffset - FTail.size()));
    return got == ssize_t(now.size()) && now == FTail;
}
