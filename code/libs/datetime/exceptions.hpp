#pragma once
// Failures of date and time computations.

#include "libs/exceptions/exception.hpp"

namespace Datetime::Exceptions {

struct Exception : ::Exceptions::Exception {};

struct InvalidDate : Exception {};

} // namespace Datetime::Exceptions
