#pragma once
// Failures of decimal conversions and of UTF-8/UTF-16/UTF-32 checks.

#include "libs/exceptions/exception.hpp"

#include <cstddef>
#include <cstdint>

namespace String::Exceptions {

struct Exception : ::Exceptions::Exception {};

struct NoDecadicDigits : Exception {};
struct NotDecadicDigit : Exception {};
struct NotHexadecimalDigit : Exception {};
struct SignInUnsignedInteger : Exception {};
struct OutOfRange : Exception {};
struct IntegerTooBig : OutOfRange {};
struct InvalidUtf8String : Exception {};
struct InvalidUtf16String : Exception {};
struct InvalidUtf16FirstSurrogate : InvalidUtf16String {};
struct InvalidUtf16SecondSurrogate : InvalidUtf16String {};
struct InvalidUtf32String : Exception {};
struct InvalidUtf32Code : InvalidUtf32String {};

// Where a text stops being well formed: a byte offset in UTF-8, a unit offset in UTF-16.
using ErrorPosition_ = boost::error_info<struct ErrorPosition_Tag, std::size_t>;
using Utf16Code_ = boost::error_info<struct Utf16Code_Tag, std::uint16_t>;
using Utf32Code_ = boost::error_info<struct Utf32Code_Tag, unsigned int>;

} // namespace String::Exceptions
