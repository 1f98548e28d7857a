#include "core/PosixFiles.h"

#include <cstdint>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

HANDLE OsHandle(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_FUNCTION:
        return EINVAL; // a console or a pipe: nothing kept to flush
    case ERROR_HANDLE_EOF:
        return 0;
    default:
        return EIO;
    }
}

} // namespace

ssize_t pread(int fd, void* buf, std::size_t count, off_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset) & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD read = 0;
    if (!::ReadFile(OsHandle(fd), buf, static_cast<DWORD>(count), &read, &at)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF)
            return 0;
        errno = ErrnoOf(error);
        return -1;
    }
    return static_cast<ssize_t>(read);
}

int fdatasync(int fd) {
    if (::FlushFileBuffers(OsHandle(fd)))
        return 0;
    errno = ErrnoOf(::GetLastError());
    return -1;
}

int fsync(int fd) {
    return fdatasync(fd);
}

// Windows keeps no mode bits but read-only, which a file written here never has.
int fchmod(int, mode_t) {
    return 0;
}

int RenameReplacing(const char* from, const char* to) {
    if (::MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return ErrnoOf(::GetLastError());
}
