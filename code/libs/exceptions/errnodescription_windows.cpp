// The Windows error texts of the runtime library: strerror_s.

#include "libs/exceptions/errnodescription.hpp"

#include <string.h>

namespace Exceptions {

std::string errnoDescription(int number)
{
    try {
        char buffer[1024] = {};
        const int status = strerror_s(buffer, sizeof buffer, number);
        if (status == 0)
            return buffer;
        return "Failed to get error " + std::to_string(number) + " description, result " +
               std::to_string(status);
    } catch (...) {
        return std::string();
    }
}

} // namespace Exceptions
