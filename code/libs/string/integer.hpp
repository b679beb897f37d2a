#pragma once
// Decimal digits and integers: strict parsing with a precise failure reason, and formatting.

#include <cstdint>
#include <string>
#include <string_view>

namespace String {

// Layout of a formatted integer: padded on the left with `fill` up to `minWidth` characters.
struct IntegerFormat {
    unsigned minWidth = 1;
    char fill = ' ';
};

// 0 to 9 for "0" to "9"; any other character throws Exceptions::NotDecadicDigit.
unsigned fromDecDigitChar(char c);

// "0" to "9" for 0 to 9; a larger value throws Exceptions::NotDecadicDigit.
char toDecDigitChar(unsigned value);

// "0" to "9" for 0 to 9, "A" to "F" (upper case) or "a" to "f" for 10 to 15; a larger value
// throws Exceptions::NotHexadecimalDigit.
char toHexDigitChar(unsigned value, bool upperCase);

// Parses a decimal integer: an optional "-" as the very first byte, then digits; nothing else,
// no blanks. Defined for int, unsigned int and std::uint64_t.
// Strict: any non-digit throws Exceptions::NotDecadicDigit. Non-strict: the digits before the
// first non-digit are used. No digit throws Exceptions::NoDecadicDigits; a value outside the
// type throws Exceptions::IntegerTooBig; a "-" before an unsigned type (also "-0") throws
// Exceptions::SignInUnsignedInteger.
template <typename Integer>
Integer integerFromDec(std::string_view text, bool strict = true);

template <>
int integerFromDec<int>(std::string_view text, bool strict);
template <>
unsigned integerFromDec<unsigned>(std::string_view text, bool strict);
template <>
std::uint64_t integerFromDec<std::uint64_t>(std::string_view text, bool strict);

// integerFromDec that reports failure by false instead of an exception. On false the output
// is left untouched; on true it holds the value.
bool tryIntegerFromDec(std::string_view text, int& output, bool strict = true);
bool tryIntegerFromDec(std::string_view text, unsigned& output, bool strict = true);
bool tryIntegerFromDec(std::string_view text, std::uint64_t& output, bool strict = true);

// The decimal text of the value, "-" before a negative int, padded on the left (before the
// sign) with the format's fill character up to its minimum width.
std::string integerToDec(unsigned value, const IntegerFormat& format = IntegerFormat());
std::string integerToDec(int value, const IntegerFormat& format = IntegerFormat());
std::string integerToDec(std::uint64_t value, const IntegerFormat& format = IntegerFormat());

// "1" for true, "0" for false.
std::string boolToText(bool value);

} // namespace String
