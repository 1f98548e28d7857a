#include "core/PosixFiles.h"

#include <cerrno>
#include <cstdio>

int RenameReplacing(const char* from, const char* to) {
    return std::rename(from, to) == 0 ? 0 : errno;
}
