#pragma once
// Powers of ten as unsigned 64-bit numbers, for scaling decimal fractions.

#include <cstdint>

namespace Number {

// 10 to the power of `exponent` for exponents 0 to 19; 20 or more throws
// Exceptions::Pow10ExponentOutOfRange with Exceptions::Value_ = the exponent.
std::uint64_t pow10(unsigned exponent);

} // namespace Number
