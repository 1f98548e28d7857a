// Reads random logs in both formats the way the chart does: whole, in pieces of every
// size, as one block large enough for the two reading threads, and as a file followed
// while it grows and after it was cut short. Every way must give the same series as
// reading the final bytes at once; memory faults are the sanitizers' to find.
#include "chart/LogReader.h"
#include "core/LogText.h"

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {
constexpr std::size_t LargeBlock = 300 * 1024; // past the size read on two threads

// Stops the run when two readings of the same bytes disagree.
void Expect(bool same, const char* what) {
    if (same)
        return;
    std::fprintf(stderr, "log reader: %s differs\n", what);
    std::abort();
}

bool SameFloat(float a, float b) {
    return (a == b && std::signbit(a) == std::signbit(b)) || (a != a && b != b);
}

void ExpectSame(const TLogParser& a, const TLogParser& b) {
    Expect(a.State() == b.State(), "state");
    Expect(a.Format() == b.Format(), "format");
    Expect(a.Lines() == b.Lines(), "line count");
    Expect(a.Malformed() == b.Malformed(), "malformed count");
    Expect(a.LinePending() == b.LinePending(), "pending line");
    Expect(a.Date() == b.Date(), "date");
    Expect(a.Gap() == b.Gap(), "gap");
    Expect(a.WarmUpRecords() == b.WarmUpRecords(), "warm-up records");
    Expect(a.WarmUp().size() == b.WarmUp().size(), "warm-up spans");
    for (std::size_t k = 0; k < a.WarmUp().size(); ++k)
        Expect(a.WarmUp()[k].From == b.WarmUp()[k].From && a.WarmUp()[k].To == b.WarmUp()[k].To,
               "warm-up span");
    const TLogSeries& x = a.Series();
    const TLogSeries& y = b.Series();
    Expect(x.Size() == y.Size(), "record count");
    for (std::size_t i = 0; i < x.Size(); ++i) {
        Expect(x.Tick(i) == y.Tick(i) && x.Time(i) == y.Time(i), "time");
        for (int n = 0; n < ChartChannels; ++n)
            Expect(SameFloat(x.Value(n, i), y.Value(n, i)), "value");
    }
    if (x.Size() > 1) {
        // The pyramid's extremes over the whole series against the records one by one.
        for (int n = 0; n < ChartChannels; ++n) {
            const TExtremes at = x.Pyramid().Extremes(x, n, 0, x.Size());
            float low = x.Value(n, 0), high = low;
            for (std::size_t i = 1; i < x.Size(); ++i) {
                low = std::min(low, x.Value(n, i));
                high = std::max(high, x.Value(n, i));
            }
            Expect(x.Value(n, at.MinAt) == low && x.Value(n, at.MaxAt) == high, "extremes");
        }
    }
}

void Write(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put <= 0)
            std::abort();
        bytes.remove_prefix(std::size_t(put));
    }
}

QTemporaryDir* folder = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = new QTemporaryDir;
    return 0;
}

// The first byte chooses the header, the piece size, whether the bytes are made into a
// large block (with the last byte), and whether they are read from a growing file that
// is cut short.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t options = data[0];
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string bytes;
    switch (options & 3) {
    case 0:
        bytes = "VORLANX Log V1.0  24.12.2024\r\n" + std::string(LogColumnLine) + "\r\n";
        break;
    case 1:
        bytes = std::string(PreciseHeaderLine) + "\r\n";
        break;
    case 2:
        bytes = std::string(PreciseHeaderLine) + "\n";
        break;
    default:
        break;
    }
    bytes += body;
    // One input in sixteen or so is made into a large block: it takes long to read.
    if ((options & 0x80) && !body.empty() && (body.back() & 7) == 0) {
        while (bytes.size() < LargeBlock)
            bytes += body;
    }
    // A large block is cut in pieces a hundred times larger, to keep each run short.
    static constexpr std::size_t Pieces[] = {1, 2, 3, 7, 64, 777, 4096, 1 << 20};
    const std::size_t piece = Pieces[(options >> 2) & 7] * (bytes.size() >= LargeBlock ? 100 : 1);

    TLogParser whole;
    whole.Feed(bytes);
    TLogParser inPieces;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        inPieces.Feed(std::string_view(bytes).substr(at, piece));
    ExpectSame(whole, inPieces);

    if (!(options & 0x20))
        return 0;
    // Followed: the file grows a piece at a time and is read in steps of the piece's size;
    // cut short, it is read again from its start.
    const QString path = folder->filePath(QStringLiteral("followed.csv"));
    const QByteArray name = path.toLocal8Bit();
    int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    const std::size_t step = std::max(piece, bytes.size() / 64);
    const std::size_t first = std::min(bytes.size(), step);
    Write(fd, std::string_view(bytes).substr(0, first));
    TLogFollower follower;
    follower.Start(path, step);
    std::string written = bytes.substr(0, first);
    for (std::size_t at = first; at < bytes.size(); at += step) {
        const std::string_view more = std::string_view(bytes).substr(at, step);
        Write(fd, more);
        written += more;
        follower.Continue(step);
    }
    while (follower.Offset() < follower.Size())
        follower.Continue(step);
    if (options & 0x40) {
        const std::size_t cut = written.size() / 2;
        if (::ftruncate(fd, off_t(cut)) != 0 || ::lseek(fd, 0, SEEK_END) < 0)
            std::abort();
        written.resize(cut);
        follower.Poll(); // shorter than what was read: read again from the start
        const std::string_view tail = body.substr(0, std::min<std::size_t>(body.size(), 100));
        Write(fd, tail);
        written += tail;
        follower.Poll();
    }
    ::close(fd);
    follower.Poll();
    Expect(follower.Offset() == written.size(), "offset");
    TLogParser final;
    final.Feed(written);
    ExpectSame(final, follower.Parser());
    return 0;
}
