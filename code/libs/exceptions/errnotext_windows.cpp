// The Windows error texts of the runtime library: strerror_s.

#include "libs/exceptions/errnotext.hpp"

#include <string.h>

namespace Exceptions {

int errnoText(int number, char* buffer, std::size_t size) noexcept
{
    return strerror_s(buffer, size, number);
}

} // namespace Exceptions
