#pragma once
// The POSIX file calls that the data log, the whole-file save, the chart's reader and
// the logger make. Windows' C runtime has most of them; the rest are made here from
// Win32 calls (PosixFilesWin32.cpp): files open in binary mode and are not inherited,
// pread reads at an offset, fdatasync is FlushFileBuffers, a rename replaces its target,
// and the heap has no malloc_trim.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#ifdef _WIN32
#include <cerrno>
#include <cstddef>
#include <io.h>

#define O_CLOEXEC (O_NOINHERIT | O_BINARY)
#define O_NONBLOCK 0
#ifndef EDQUOT
#define EDQUOT 122 // no Windows call reports it
#endif
#ifndef SIGPIPE
#define SIGPIPE 13 // Windows has no broken-pipe signal; a write fails with EPIPE
#endif

ssize_t pread(int fd, void* buf, std::size_t count, off_t offset);
int fdatasync(int fd);
int fsync(int fd);
int fchmod(int fd, mode_t mode);
inline int pipe2(int fds[2], int) {
    return ::_pipe(fds, 256, O_BINARY | O_NOINHERIT);
}
// The C library's heap on Windows keeps no pages to give back on request.
inline int malloc_trim(std::size_t) {
    return 0;
}
#endif

// Renames from to to, replacing a file there (Windows' rename does not); 0 or errno.
int RenameReplacing(const char* from, const char* to);
