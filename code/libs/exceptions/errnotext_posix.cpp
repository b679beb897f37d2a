// The POSIX error texts: the XSI strerror_r, whose status tells an unknown number apart.

#include "libs/exceptions/errnodescription.hpp"

#include <cerrno>
#include <string.h>

#ifdef __GLIBC__
// The XSI variant reports failures by status, which the fallback texts below need.
extern "C" int __xpg_strerror_r(int number, char* buffer, size_t size);
#endif

namespace Exceptions {

std::string errnoDescription(int number)
{
    try {
        char buffer[1024] = {};
#ifdef __GLIBC__
        const int status = __xpg_strerror_r(number, buffer, sizeof buffer);
#else
        const int status = strerror_r(number, buffer, sizeof buffer);
#endif
        const std::string n = std::to_string(number);
        switch (status) {
        case 0:
            return buffer;
        case EINVAL:
            return "The value " + n + " is not a valid error number";
        case ERANGE:
            return "Buffer too small for error " + n + " description";
        default:
            return "Failed to get error " + n + " description, result " + std::to_string(status);
        }
    } catch (...) {
        return std::string();
    }
}

} // namespace Exceptions
