#include "core/InOutError.h"

#include "core/PosixFiles.h"

#include <cerrno>

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
