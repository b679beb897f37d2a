#pragma once
// A runtime error number (errno) captured at a failure, attachable to any exception of the system.

#include "libs/exceptions/exception.hpp"

#include <cerrno>
#include <type_traits>

namespace Exceptions {

struct SystemErrorNumber {
    // Captures the current errno unless a number is given.
    SystemErrorNumber() : number(errno) {}
    explicit SystemErrorNumber(int value) : number(value) {}

    int number;
};

// Adds SystemErrorCode_ when the number is not 0, then SystemErrorDescription_ when the runtime
// library's text for it is not empty.
void attachSystemErrorNumber(const boost::exception& e, const SystemErrorNumber& n);

template <class E, class = std::enable_if_t<std::is_base_of_v<boost::exception, E>>>
const E& operator<<(const E& e, const SystemErrorNumber& n)
{
    attachSystemErrorNumber(e, n);
    return e;
}

} // namespace Exceptions
