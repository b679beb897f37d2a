// POSIX: the system calls set errno themselves.

#include "libs/files/lasterror.hpp"

#include <cerrno>

namespace Files {

int lastErrorNumber()
{
    return errno;
}

} // namespace Files
