#include "chart/LogReader.h"

#include "core/InOutError.h"
#include "core/LogText.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr std::string_view HeaderStart = "VORLANX Log V1.0";
constexpr std::string_view FieldSeparator = ", ";
constexpr int HalfDay = 43200;
constexpr std::size_t LongestLine = 4096;

// Splits at ", ": a decimal comma is never followed by a space, so it stays in its field.
template <std::size_t N>
bool SplitFields(std::string_view line, std::array<std::string_view, N>& fields) {
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t end = i + 1 < N ? line.find(FieldSeparator) : std::string_view::npos;
        if (i + 1 < N && end == std::string_view::npos)
            return false;
        fields[i] = line.substr(0, end);
        if (end != std::string_view::npos)
            line.remove_prefix(end + FieldSeparator.size());
    }
    return fields[N - 1].find(FieldSeparator) == std::string_view::npos;
}

bool ParseNumber(std::string_view text, int digitsMin, int digitsMax, int& value) {
    if (text.size() < std::size_t(digitsMin) || text.size() > std::size_t(digitsMax))
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "H:MM:SS" or "HH:MM:SS", with ":" or "." between the parts and an optional AM or PM.
bool ParseClock(std::string_view text, int& secondOfDay) {
    int hourLimit = 23;
    int pm = -1;
    if (text.size() > 3 && text[text.size() - 3] == ' ') {
        const std::string_view suffix = text.substr(text.size() - 2);
        if (suffix != "AM" && suffix != "PM" && suffix != "am" && suffix != "pm")
            return false;
        pm = suffix[0] == 'P' || suffix[0] == 'p';
        hourLimit = 12;
        text.remove_suffix(3);
    }
    const std::size_t a = text.find_first_of(":.");
    const std::size_t b = a == std::string_view::npos ? a : text.find_first_of(":.", a + 1);
    if (b == std::string_view::npos)
        return false;
    int h = 0, m = 0, s = 0;
    if (!ParseNumber(text.substr(0, a), 1, 2, h) ||
        !ParseNumber(text.substr(a + 1, b - a - 1), 2, 2, m) ||
        !ParseNumber(text.substr(b + 1), 2, 2, s) || h > hourLimit || m > 59 || s > 59)
        return false;
    if (pm >= 0)
        h = h % 12 + (pm ? 12 : 0);
    secondOfDay = (h * 60 + m) * 60 + s;
    return true;
}

// "YYYY-MM-DDTHH:MM:SS.mmm" then "Z" or "+HH:MM"/"-HH:MM": the local time as written, its
// offset from UTC in seconds, and the days of its date since 1970-01-01.
struct TStamp {
    long long Days = 0;
    double SecondOfDay = 0;
    int Offset = 0;
};

long long DaysSinceEpoch(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yearOfEra = y - era * 400;
    const long long dayOfYear = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool ParseStamp(std::string_view text, TStamp& stamp) {
    constexpr std::string_view Shape = "dddd-dd-ddTdd:dd:dd.ddd";
    if (text.size() < Shape.size() + 1)
        return false;
    for (std::size_t i = 0; i < Shape.size(); ++i)
        if (Shape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != Shape[i])
            return false;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    ParseNumber(text.substr(0, 4), 4, 4, y);
    ParseNumber(text.substr(5, 2), 2, 2, mo);
    ParseNumber(text.substr(8, 2), 2, 2, d);
    ParseNumber(text.substr(11, 2), 2, 2, h);
    ParseNumber(text.substr(14, 2), 2, 2, mi);
    ParseNumber(text.substr(17, 2), 2, 2, s);
    ParseNumber(text.substr(20, 3), 3, 3, ms);
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
        return false;
    const std::string_view zone = text.substr(Shape.size());
    int zoneHours = 0, zoneMinutes = 0;
    if (zone == "Z") {
        stamp.Offset = 0;
    } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':' &&
               ParseNumber(zone.substr(1, 2), 2, 2, zoneHours) &&
               ParseNumber(zone.substr(4, 2), 2, 2, zoneMinutes) && zoneHours <= 14 &&
               zoneMinutes <= 59) {
        stamp.Offset = (zone[0] == '-' ? -1 : 1) * (zoneHours * 3600 + zoneMinutes * 60);
    } else {
        return false;
    }
    stamp.Days = DaysSinceEpoch(y, mo, d);
    stamp.SecondOfDay = (h * 60 + mi) * 60 + s + ms / 1000.0;
    return true;
}

// A number with a decimal point or a decimal comma.
bool ParseValue(std::string_view text, float& value) {
    char buffer[32];
    if (text.empty() || text.size() >= sizeof buffer)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        buffer[i] = text[i] == ',' ? '.' : text[i];
    const char* end = buffer + text.size();
    const auto [stop, error] = std::from_chars(buffer, end, value, std::chars_format::fixed);
    return error == std::errc() && stop == end && std::isfinite(value);
}
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
        return ParseHeader(line);
    if (FState != TState::Log || line.empty() || IsHeaderLine(line))
        return;
    if (FFormat == TFormat::Precise)
        ParsePreciseRecord(line);
    else
        ParseWindowRecord(line);
}

void TLogParser::ParseHeader(std::string_view line) {
    if (line == PreciseHeaderLine) {
        FState = TState::Log;
        FFormat = TFormat::Precise;
        return;
    }
    if (!line.starts_with(HeaderStart)) {
        FState = TState::NotALog;
        return;
    }
    FState = TState::Log;
    line.remove_prefix(HeaderStart.size());
    while (!line.empty() && line.front() == ' ')
        line.remove_prefix(1);
    FDate = QString::fromLatin1(line.data(), qsizetype(line.size()));
}

bool TLogParser::IsHeaderLine(std::string_view line) const {
    if (FFormat == TFormat::Precise)
        return line == PreciseHeaderLine;
    return line == LogColumnLine || line.starts_with(HeaderStart);
}

void TLogParser::ParseWindowRecord(std::string_view line) {
    std::array<std::string_view, 1 + ChartChannels> fields;
    int second = 0;
    std::array<float, ChartChannels> lambda{};
    bool ok = SplitFields(line, fields) && ParseClock(fields[0], second);
    for (int n = 0; ok && n < ChartChannels; ++n)
        ok = ParseValue(fields[n + 1], lambda[n]);
    if (ok)
        AddRecord(second, lambda);
    else
        ++FMalformed;
}

// stamp,elapsed,ch1,ch2,ch3,ch4,supply,warm-up
void TLogParser::ParsePreciseRecord(std::string_view line) {
    constexpr std::size_t FieldCount = 8;
    std::array<std::string_view, FieldCount> fields;
    std::size_t n = 0;
    for (; n < FieldCount && !line.empty(); ++n) {
        const std::size_t end = line.find(',');
        fields[n] = line.substr(0, end);
        line = end == std::string_view::npos ? std::string_view() : line.substr(end + 1);
    }
    TStamp stamp;
    std::array<float, ChartChannels> lambda{};
    float number = 0;
    bool ok = n == FieldCount && line.empty() && ParseStamp(fields[0], stamp) &&
              ParseValue(fields[1], number) && ParseValue(fields[6], number) &&
              (fields[7] == "0" || fields[7] == "1");
    for (int c = 0; ok && c < ChartChannels; ++c)
        ok = ParseValue(fields[2 + c], lambda[c]);
    if (!ok) {
        ++FMalformed;
        return;
    }
    if (FDate.isEmpty())
        FDate = QString::fromLatin1(fields[0].data(), 10);
    if (fields[7] == "1")
        return; // warm-up: the sensors give no lambda yet
    AddStampedRecord(stamp.Days, stamp.SecondOfDay, stamp.Offset, lambda);
}

// Times count from the first record's local midnight, in seconds of UTC, so that a change of
// the clock's offset (daylight saving) neither folds nor tears the time axis. A stamp that
// goes back carries on from the last record.
void TLogParser::AddStampedRecord(long long day, double secondOfDay, int offset,
                                  const std::array<float, ChartChannels>& lambda) {
    if (FSeries.Empty()) {
        FFirstDay = day;
        FFirstOffset = offset;
    }
    const double time = double((day - FFirstDay) * 86400 - (offset - FFirstOffset)) + secondOfDay;
    FSeries.Append(FSeries.Empty() ? time : std::max(time, FSeries.Time.back()), lambda);
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

void TLogParser::AddRecord(int secondOfDay, const std::array<float, ChartChannels>& lambda) {
    const long long second = ElapsedSecond(secondOfDay);
    if (second != FLastSecond)
        FGroupStart = FSeries.Size();
    FLastSecond = second;
    FSeries.Append(double(second), lambda);
    const std::size_t count = FSeries.Size() - FGroupStart;
    for (std::size_t i = 0; i < count; ++i)
        FSeries.Time[FGroupStart + i] = double(second) + double(i) / double(count);
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
    const std::size_t before = FParser.Series().Size() + FParser.Malformed();
    const auto state = FParser.State();
    ReadFrom(fd);
    ::close(fd);
    return FParser.Series().Size() + FParser.Malformed() != before || FParser.State() != state;
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
