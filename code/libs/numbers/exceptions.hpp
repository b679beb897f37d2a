#pragma once
// Failures of numeric helpers.

#include "libs/exceptions/exception.hpp"

#include <cstdint>

namespace Number::Exceptions {

struct Exception : ::Exceptions::Exception {};

struct Pow10ExponentOutOfRange : Exception {};

using Value_ = boost::error_info<struct Value_Tag, std::int64_t>;

} // namespace Number::Exceptions
