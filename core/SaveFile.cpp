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

TSaveFile::TSaveFile(const QString& path)
    : FTarget(QFile::encodeName(path)), FTemporary(FTarget + ".XXXXXX") {
    FFile = ::mkstemp(FTemporary.data());
    if (FFile < 0) {
        FError = errno;
        FTemporary.clear();
    }
}

TSaveFile::~TSaveFile() {
    if (FFile >= 0)
        ::close(FFile);
    if (!FCommitted && !FTemporary.isEmpty())
        ::unlink(FTemporary.constData());
}

int TSaveFile::Write(const QByteArray& bytes) {
    if (FError == 0)
        FError = WriteAll(FFile, bytes);
    return FError;
}

int TSaveFile::Commit() {
    if (FError == 0 && ::fchmod(FFile, ModeFor(FTarget)) != 0)
        FError = errno;
    if (FError == 0 && ::fsync(FFile) != 0)
        FError = errno;
    if (FFile >= 0 && ::close(FFile) != 0 && FError == 0)
        FError = errno;
    FFile = -1;
    if (FError == 0)
        FError = RenameReplacing(FTemporary.constData(), FTarget.constData());
    FCommitted = FError == 0;
    return FError;
}

int SaveFileWhole(const QString& path, const QByteArray& bytes) {
    TSaveFile file(path);
    file.Write(bytes);
    return file.Commit();
}
