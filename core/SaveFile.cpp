#include "core/SaveFile.h"

#include "core/PosixFiles.h"

#include <QFile>
#include <cerrno>
#include <cstdio>

namespace {
int WriteAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, std::size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        data += n;
        left -= n;
    }
    return 0;
}

// A new file gets the mode an ordinary create would give it; a replaced one keeps its own.
mode_t ModeFor(const QByteArray& target) {
    struct stat st {};
    if (::stat(target.constData(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}
} // namespace

int SaveFileWhole(const QString& path, const QByteArray& bytes) {
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return errno;
    int error = WriteAll(fd, bytes);
    if (error == 0 && ::fchmod(fd, ModeFor(target)) != 0)
        error = errno;
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0)
        error = RenameReplacing(temporary.constData(), target.constData());
    if (error != 0)
        ::unlink(temporary.constData());
    return error;
}
