// Windows: the thread's last error mapped once for every file call of the library.

#include "libs/files/lasterror.hpp"

#include <windows.h>

#include <cerrno>

namespace Files {

int lastErrorNumber()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_NO_UNICODE_TRANSLATION: return EILSEQ;
    default: return EIO;
    }
}

} // namespace Files
