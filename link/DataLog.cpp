#include "link/DataLog.h"

#include "core/PosixFiles.h"

#include <cerrno>
#include <cmath>

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

// Not blocking either should a pipe take the name between the check and the open.
void TDataLog::OpenRegularFile(const QString& path, int flags) {
    const QByteArray name = path.toLocal8Bit();
    RefuseAnythingButARegularFile(name);
    const int fd = ::open(name.constData(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0 && errno == EEXIST)
        throw EInOutError(EEXIST, "File exists");
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

void TDataLog::Create(const QString& path) {
    OpenRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND);
}

void TDataLog::CreateNew(const QString& path) {
    OpenRegularFile(path, O_WRONLY | O_CREAT | O_EXCL | O_APPEND);
}

void TDataLog::Append(const QString& path) {
    OpenRegularFile(path, O_RDWR | O_CREAT | O_APPEND);
    const off_t size = ::lseek(FFile, 0, SEEK_END);
    char last = '\n';
    if (size < 0 || (size > 0 && ::pread(FFile, &last, 1, size - 1) != 1))
        throw EInOutError::FromErrno(errno);
    if (last != '\n')
        WriteBytes("\r\n");
}

QByteArray TDataLog::FirstLine() const {
    char head[4096];
    const ssize_t n = ::pread(FFile, head, sizeof head, 0);
    if (n < 0)
        throw EInOutError::FromErrno(errno);
    QByteArray line(head, n);
    line.truncate(line.indexOf('\n') < 0 ? line.size() : line.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// A pipe, a terminal or the null device keeps nothing to flush; that is no fault.
void TDataLog::Sync() {
    if (FFile >= 0 && ::fdatasync(FFile) != 0 && errno != EINVAL && errno != EROFS)
        throw EInOutError::FromErrno(errno);
}

void TDataLog::Adopt(int fd) {
    if (FFile >= 0)
        ::close(FFile);
    FFile = fd;
}

void TDataLog::SetHeader(std::function<QStringList()> header) {
    FHeader = std::move(header);
}

QByteArray TDataLog::HeaderBytes() const {
    QByteArray bytes;
    if (FHeader)
        for (const QString& line : FHeader())
            bytes += ToCodePage(line) + "\r\n";
    return bytes;
}

void TDataLog::WriteHeader() {
    WriteBytes(HeaderBytes());
}

// A pipe, a terminal or the null device is never a log begun anew.
bool TDataLog::FoundEmpty() const {
    struct stat st {};
    return FHeader && ::fstat(FFile, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

void TDataLog::WriteLine(const QString& text) {
    const QByteArray line = ToCodePage(text) + "\r\n";
    WriteBytes(FFile >= 0 && FoundEmpty() ? HeaderBytes() + line : line);
}

void TDataLog::WriteBytes(const QByteArray& line) {
    if (FFile < 0)
        throw EInOutError::FromErrno(EBADF);
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
