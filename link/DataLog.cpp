#include "link/DataLog.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char* const LogColumnLine = "Time, CH1, CH2, CH3, CH4";

EInOutError EInOutError::FromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return EInOutError(error, "File access denied");
    case ENOSPC:
    case EDQUOT:
        return EInOutError(error, "Disk full");
    case ENOENT:
    case ENOTDIR:
        return EInOutError(error, "File not found");
    default:
        return EInOutError(error, "I/O error " + std::to_string(error));
    }
}

TDataLog::~TDataLog() {
    if (FFile >= 0)
        ::close(FFile);
}

namespace {
EInOutError NotARegularFile() {
    return EInOutError(EINVAL, "Not a regular file");
}

// Only a regular file is a log: a pipe would block the program until a reader came, and
// a device or directory is not a place to keep records.
void RefuseAnythingButARegularFile(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        throw NotARegularFile();
}
} // namespace

void TDataLog::Create(const QString& path) {
    const QByteArray name = path.toLocal8Bit();
    RefuseAnythingButARegularFile(name);
    // Not blocking either should a pipe take the name between the check and the open.
    const int fd =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        throw errno == ENXIO ? NotARegularFile() : EInOutError::FromErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw NotARegularFile();
    }
    if (FFile >= 0)
        ::close(FFile);
    FFile = fd;
}

void TDataLog::Adopt(int fd) {
    if (FFile >= 0)
        ::close(FFile);
    FFile = fd;
}

void TDataLog::WriteLine(const QString& text) {
    if (FFile < 0)
        throw EInOutError::FromErrno(EBADF);
    const QByteArray line = ToCodePage(text) + "\r\n";
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(FFile, line.constData() + written, size_t(line.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            CutPartialLine(written);
            throw EInOutError::FromErrno(error);
        }
        written += n;
    }
}

// A line the disk took only in part is taken back, so the file always ends on a whole
// line. A pipe or terminal cannot take bytes back; there the part stays.
void TDataLog::CutPartialLine(qsizetype written) {
    const off_t end = ::lseek(FFile, 0, SEEK_CUR);
    if (written == 0 || end < written)
        return;
    if (::ftruncate(FFile, end - written) == 0)
        ::lseek(FFile, end - written, SEEK_SET);
}

void TDataLog::Close() {
    const int fd = FFile;
    FFile = -1;
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
        throw EInOutError::FromErrno(errno);
}

QByteArray ToCodePage(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (char32_t c : text.toUcs4())
        bytes.append(c <= 0xFF ? char(c) : '?');
    return bytes;
}

QString LogValue(double value) {
    char text[64];
    // Three significant digits first (decimal rounding of the exact value), then three decimals.
    const auto significant =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 2);
    double rounded = value;
    std::from_chars(text, significant.ptr, rounded);
    const auto fixed =
        std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, 3);
    QString result = QString::fromLatin1(text, fixed.ptr - text);
    return result.replace(QLatin1Char('.'), DecimalSeparator());
}

QString LogHeaderLine(TDateTime when) {
    return QStringLiteral("VORLANX Log V1.0  ") + FormatLocaleDate(when);
}

QString LogRecordLine(TDateTime when, const std::array<float, 4>& lambda) {
    QString line = FormatLocaleTime(when);
    for (float value : lambda)
        line += QStringLiteral(", ") + LogValue(value);
    return line;
}
