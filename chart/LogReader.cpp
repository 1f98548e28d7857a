#include "chart/LogReader.h"

#include "chart/PreciseLogLine.h"
#include "chart/WindowLogLine.h"
#include "core/InOutError.h"
#include "core/PosixFiles.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <exception>
#include <limits>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <type_traits>

namespace {
constexpr int HalfDay = 43200;
constexpr std::size_t LongestLine = 4096;
// The spacings of this many first records set the gap; a log keeps its rate.
constexpr std::size_t SpacingsForGap = 100;
constexpr double GapPerSpacing = 3.0;
// Lines of at least this many bytes at once are read on two threads, in pieces of about
// this many bytes.
constexpr std::size_t TwoThreadsFrom = 256 * 1024;
constexpr std::size_t PieceBytes = 64 * 1024;
// "0:00:00, 1, 1, 1, 1" and its line end.
constexpr std::uint64_t ShortestRecordBytes = 20;

void ParseLine(TLogParser::TFormat format, std::string_view line, TParsedLine& out) {
    using K = TParsedLine::TKind;
    if (line.size() > LongestLine) {
        out.Kind = K::Malformed;
        return;
    }
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    std::string_view date;
    if (line.empty()) {
        out.Kind = K::Blank;
    } else if (format == TLogParser::TFormat::Window) {
        if (ParseCommonWindowRecord(line, out.SecondOfDay, out.Thousandths))
            out.Kind = K::CommonWindow;
        else if (IsWindowLogHeader(line, date) || IsWindowLogColumns(line))
            out.Kind = K::Header;
        else
            out.Kind =
                ParseWindowRecord(line, out.SecondOfDay, out.Lambda) ? K::Window : K::Malformed;
    } else if (IsPreciseLogHeader(line)) {
        out.Kind = K::Header;
    } else if (ParsePreciseRecord(line, out.Precise)) {
        out.Kind = K::Precise;
        out.Date = line.substr(0, line.find('T'));
    } else {
        out.Kind = K::Malformed;
    }
}
} // namespace

void ParseLines(TLogParser::TFormat format, std::string_view text, std::vector<TParsedLine>& out) {
    out.clear();
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        ParseLine(format, text.substr(0, end), out.emplace_back());
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

void TLogParser::Feed(std::string_view bytes) {
    while (!bytes.empty()) {
        if (FLines == 0 || LinePending()) {
            bytes = FeedLineInParts(bytes);
            continue;
        }
        const std::size_t lastEnd = bytes.rfind('\n');
        if (lastEnd != std::string_view::npos)
            FeedLines(bytes.substr(0, lastEnd + 1));
        const std::string_view rest =
            lastEnd == std::string_view::npos ? bytes : bytes.substr(lastEnd + 1);
        if (rest.size() <= LongestLine)
            FPending.assign(rest);
        else
            StartOverlongLine();
        return;
    }
}

// A line that came in parts: gathered up to its end, unless it grows too long.
std::string_view TLogParser::FeedLineInParts(std::string_view bytes) {
    const std::size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!FOverlong && FPending.size() + piece.size() <= LongestLine)
        FPending.append(piece);
    else if (!FOverlong)
        StartOverlongLine();
    if (end == std::string_view::npos)
        return {};
    if (!FOverlong)
        TakeLine(FPending);
    FOverlong = false;
    FPending.clear();
    return bytes.substr(end + 1);
}

// Complete lines. Many are cut at line ends into pieces that this thread and another take
// in turn to read; this thread takes each read piece in its order as soon as it is ready,
// and reads pieces itself while the next is not, so neither thread waits while there is
// work and the lines read at once stay few.
void TLogParser::FeedLines(std::string_view text) {
    if (FState != TState::Log) {
        FLines += std::size_t(std::count(text.begin(), text.end(), '\n'));
        return;
    }
    if (text.size() < TwoThreadsFrom) {
        ParseLines(FFormat, text, FirstBatch());
        Apply(FBatch[0]);
        return;
    }
    std::vector<std::string_view> pieces;
    while (!text.empty()) {
        const std::size_t end =
            text.size() <= PieceBytes ? text.size() : text.find('\n', PieceBytes) + 1;
        pieces.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    if (FBatch.size() < pieces.size())
        FBatch.resize(pieces.size());
    std::vector<std::atomic<bool>> ready(pieces.size());
    std::atomic<std::size_t> next{0};
    std::exception_ptr failed;
    // Reads the next piece nobody has taken; false when none is left.
    const auto readNext = [&](std::exception_ptr& error) {
        const std::size_t k = next.fetch_add(1);
        if (k >= pieces.size())
            return false;
        try {
            ParseLines(FFormat, pieces[k], FBatch[k]);
        } catch (...) {
            error = std::current_exception();
        }
        ready[k].store(true, std::memory_order_release);
        ready[k].notify_one();
        return true;
    };
    // Joined on the way out, also when taking a piece throws.
    std::jthread other([&] {
        while (readNext(failed)) {
        }
    });
    std::exception_ptr mine;
    for (std::size_t taken = 0; taken < pieces.size() && !mine;) {
        if (ready[taken].load(std::memory_order_acquire))
            Apply(FBatch[taken++]);
        else if (!readNext(mine))
            ready[taken].wait(false, std::memory_order_acquire);
    }
    next.store(pieces.size());
    other.join();
    if (mine || failed)
        std::rethrow_exception(mine ? mine : failed);
}

void TLogParser::TakeLine(std::string_view line) {
    if (FLines == 0) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        ++FLines;
        return ParseFirstLine(line);
    }
    if (FState != TState::Log) {
        ++FLines;
        return;
    }
    ParseLine(FFormat, line, FirstBatch().emplace_back());
    Apply({&FBatch[0].back(), 1});
    FBatch[0].clear();
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

std::vector<TParsedLine>& TLogParser::FirstBatch() {
    if (FBatch.empty())
        FBatch.emplace_back();
    return FBatch[0];
}

void TLogParser::Reset() {
    *this = TLogParser();
}

void TLogParser::ReleaseReading() {
    FBatch = {};
}

// Reserved room is only address space until records fill it.
void TLogParser::Reserve(std::uint64_t bytes) {
    FSeries.Reserve(std::size_t(bytes / ShortestRecordBytes));
}

void TLogParser::Apply(std::span<const TParsedLine> lines) {
    using K = TParsedLine::TKind;
    for (const TParsedLine& line : lines) {
        ++FLines;
        if (line.Kind == K::Malformed)
            ++FMalformed;
        else if (line.Kind == K::CommonWindow)
            AddWindowRecord(line.SecondOfDay, line.Thousandths);
        else if (line.Kind == K::Window)
            AddWindowRecord(line.SecondOfDay, line.Lambda);
        else if (line.Kind == K::Precise)
            AddPreciseRecord(line.Precise, line.Date);
    }
}

void TLogParser::ParseFirstLine(std::string_view line) {
    std::string_view date;
    if (IsWindowLogHeader(line, date)) {
        FFormat = TFormat::Window;
        FDate = QString::fromLatin1(date.data(), qsizetype(date.size()));
        FSeries = TLogSeries(TLogSeries::TTimeUnit::SpreadSecond);
    } else if (IsPreciseLogHeader(line)) {
        FFormat = TFormat::Precise;
    } else {
        FState = TState::NotALog;
        return;
    }
    FState = TState::Log;
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

// The series spreads the records that share a second evenly across it.
template <class Values> void TLogParser::AddWindowRecord(int secondOfDay, const Values& values) {
    const long long second = ElapsedSecond(secondOfDay);
    NoteSpacing(double(second));
    FLastSecond = second;
    if constexpr (std::is_same_v<Values, TLambdas>)
        FSeries.AppendTick(second, values);
    else
        FSeries.AppendThousandths(second, values);
}

// The stamp carries date and offset, so it is taken as it is: past midnight and across a
// change of offset the time simply runs on. A stamp earlier than the last (a clock set
// back) is placed at the last, so time never runs backwards.
void TLogParser::AddPreciseRecord(const TPreciseRecord& record, std::string_view date) {
    if (!FOrigin) {
        FOrigin = record.LocalDay * 86400 - record.OffsetSeconds;
        FDate = QString::fromLatin1(date.data(), qsizetype(date.size()));
    }
    const long long tick = std::max(
        (record.UtcSecond - *FOrigin) * 1000 + std::llround(record.Fraction * 1000), FLastTick);
    FLastTick = tick;
    const double time = double(tick) / 1000.0;
    NoteSpacing(time);
    MarkWarmUp(time, record.WarmUp);
    if (record.WarmUp)
        ++FWarmUpRecords;
    else
        FSeries.AppendTick(tick, record.Lambda);
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
    Start(path, std::numeric_limits<std::uint64_t>::max());
}

namespace {
// Opened without waiting: a pipe's open would wait for a writer.
int OpenToRead(const QString& path) {
    return ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

// Why the file cannot be read as a log, in the operator's words and with its name.
EInOutError Refusal(const QString& path, int error, mode_t mode = 0) {
    const std::string name = QFileInfo(path).fileName().toStdString();
    if (S_ISDIR(mode))
        return EInOutError(EISDIR, name + " is a folder, not a data log");
    if (S_ISFIFO(mode))
        return EInOutError(error, name + " is a pipe, not a data log");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return EInOutError(error, name + " is a device, not a data log");
    if (S_ISSOCK(mode))
        return EInOutError(error, name + " is a socket, not a data log");
    switch (error) {
    case EACCES:
    case EPERM:
        return EInOutError(error, name + " may not be read: access denied");
    case ENOENT:
    case ENOTDIR:
        return EInOutError(error, name + " was not found");
    case EISDIR:
        return EInOutError(error, name + " is a folder, not a data log");
    default:
        return EInOutError(error,
                           name + " could not be read (error " + std::to_string(error) + ")");
    }
}
} // namespace

void TLogFollower::Start(const QString& path, std::uint64_t firstBytes) {
    Close();
    const int fd = OpenToRead(path);
    if (fd < 0)
        throw Refusal(path, errno);
    // Only a regular file has an end to read to; a pipe or a device would be read for ever.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        ::close(fd);
        throw Refusal(path, error, info.st_mode);
    }
    FPath = path;
    const bool read = ReadFrom(fd, firstBytes);
    ::close(fd);
    if (!read) {
        const int error = errno;
        Close();
        throw Refusal(path, error);
    }
}

bool TLogFollower::Continue(std::uint64_t bytes) {
    if (!IsOpen())
        return false;
    const int fd = OpenToRead(FPath);
    if (fd < 0)
        return false;
    const std::size_t lines = FParser.Lines();
    const int generation = FGeneration;
    ReadFrom(fd, bytes);
    ::close(fd);
    return FParser.Lines() != lines || FGeneration != generation;
}

bool TLogFollower::Poll() {
    return Continue(std::numeric_limits<std::uint64_t>::max());
}

void TLogFollower::Close() {
    FPath.clear();
    FParser.Reset();
    FOffset = 0;
    FSize = 0;
    FDevice = 0;
    FInode = 0;
}

// Reads from the last offset, up to `most` bytes or the end. A different file under the
// name, one shorter than what was read, or one whose last bytes read have changed
// (written anew in place) is read again from the start.
bool TLogFollower::ReadFrom(int fd, std::uint64_t most) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return false;
    // What replaced the log under its name is followed only while it is a regular file.
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return false;
    }
    if (info.st_dev != FDevice || info.st_ino != FInode || std::uint64_t(info.st_size) < FOffset ||
        !TailUnchanged(fd)) {
        FParser.Reset();
        ++FGeneration;
        FOffset = 0;
        FTail.clear();
        FDevice = info.st_dev;
        FInode = info.st_ino;
        FParser.Reserve(std::uint64_t(info.st_size));
    }
    FSize = std::uint64_t(info.st_size);
    // Reading stops at the size just taken: what is written meanwhile is the next read's.
    const std::uint64_t stop = FOffset + std::min(most, FSize - std::min(FOffset, FSize));
    const std::uint64_t left = std::max<std::uint64_t>(FSize - std::min(FOffset, FSize), 4096);
    FChunk.resize(std::max(FChunk.size(), std::size_t(std::min<std::uint64_t>(ChunkSize, left))));
    while (FOffset < stop) {
        const std::size_t want =
            std::size_t(std::min<std::uint64_t>(FChunk.size(), stop - FOffset));
        const ssize_t got = ::pread(fd, FChunk.data(), want, off_t(FOffset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break; // cut short since its size was taken
        const std::string_view bytes(FChunk.data(), std::size_t(got));
        FParser.Feed(bytes);
        FOffset += std::uint64_t(got);
        FTail.append(bytes.substr(bytes.size() - std::min(bytes.size(), TailSize)));
        if (FTail.size() > TailSize)
            FTail.erase(0, FTail.size() - TailSize);
    }
    if (FOffset >= FSize)
        ReleaseAfterLargeRead();
    return true;
}

// A large log is read once and then only followed: the read buffer, and the pages the
// heap kept from reading it, go back to the system.
void TLogFollower::ReleaseAfterLargeRead() {
    if (FChunk.size() <= SmallRead)
        return;
    FChunk = {};
    FParser.ReleaseReading();
    malloc_trim(0);
}

bool TLogFollower::TailUnchanged(int fd) const {
    if (FTail.empty())
        return true;
    std::string now(FTail.size(), '\0');
    const ssize_t got = ::pread(fd, now.data(), now.size(), off_t(FOffset - FTail.size()));
    return got == ssize_t(now.size()) && now == FTail;
}
