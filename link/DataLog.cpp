#include "link/DataLog.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
