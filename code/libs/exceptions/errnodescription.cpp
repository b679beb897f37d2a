#include "libs/exceptions/errnodescription.hpp"

#include "libs/exceptions/errnotext.hpp"

#include <cerrno>

namespace Exceptions {

std::string errnoDescription(int number)
{
    try {
        char buffer[1024] = {};
        const int status = errnoText(number, buffer, sizeof buffer);
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
