// The POSIX error texts: the XSI strerror_r, whose status tells an unknown number apart.

#include "libs/exceptions/errnotext.hpp"

#include <string.h>

#ifdef __GLIBC__
// glibc's strerror_r is the GNU variant, which reports no status; this is its XSI entry point.
extern "C" int __xpg_strerror_r(int number, char* buffer, size_t size);
#endif

namespace Exceptions {

int errnoText(int number, char* buffer, std::size_t size) noexcept
{
#ifdef __GLIBC__
    return __xpg_strerror_r(number, buffer, size);
#else
    return strerror_r(number, buffer, size);
#endif
}

} // namespace Exceptions
