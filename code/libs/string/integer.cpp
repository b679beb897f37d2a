#include "libs/string/integer.hpp"

#include "libs/string/exceptions.hpp"

#include <limits>

namespace String {

unsigned fromDecDigitChar(char c)
{
    if (c < '0' || c > '9')
        BOOST_THROW_EXCEPTION(Exceptions::NotDecadicDigit());
    return static_cast<unsigned>(c - '0');
}

char toDecDigitChar(unsigned value)
{
    if (value > 9)
        BOOST_THROW_EXCEPTION(Exceptions::NotDecadicDigit());
    return static_cast<char>('0' + value);
}

char toHexDigitChar(unsigned value, bool upperCase)
{
    if (value > 15)
        BOOST_THROW_EXCEPTION(Exceptions::NotHexadecimalDigit());
    if (value < 10)
        return static_cast<char>('0' + value);
    return static_cast<char>((upperCase ? 'A' : 'a') + (value - 10));
}

namespace {

template <typename Accumulator>
struct ParsedDec {
    bool negative = false;
    Accumulator magnitude = 0;
};

// Reads the optional leading "-" and the digits into an unsigned accumulator, rejecting any
// value that the accumulator cannot hold.
template <typename Accumulator>
ParsedDec<Accumulator> parseDec(std::string_view text, bool strict)
{
    ParsedDec<Accumulator> parsed;
    std::size_t position = 0;
    if (!text.empty() && text[0] == '-') {
        parsed.negative = true;
        position = 1;
    }
    bool anyDigit = false;
    constexpr Accumulator largest = std::numeric_limits<Accumulator>::max();
    for (; position < text.size(); ++position) {
        const char c = text[position];
        if (!strict && (c < '0' || c > '9'))
            break;
        const Accumulator digit = fromDecDigitChar(c);
        if (parsed.magnitude > (largest - digit) / 10)
            BOOST_THROW_EXCEPTION(Exceptions::IntegerTooBig());
        parsed.magnitude = parsed.magnitude * 10 + digit;
        anyDigit = true;
    }
    if (!anyDigit)
        BOOST_THROW_EXCEPTION(Exceptions::NoDecadicDigits());
    return parsed;
}

template <typename Unsigned>
Unsigned unsignedFromDec(std::string_view text, bool strict)
{
    const ParsedDec<Unsigned> parsed = parseDec<Unsigned>(text, strict);
    if (parsed.negative)
        BOOST_THROW_EXCEPTION(Exceptions::SignInUnsignedInteger());
    return parsed.magnitude;
}

template <typename Integer>
bool tryFromDec(std::string_view text, Integer& output, bool strict)
{
    try {
        output = integerFromDec<Integer>(text, strict);
        return true;
    }
    catch (...) {
        return false;
    }
}

template <typename Unsigned>
std::string digitsOf(Unsigned magnitude)
{
    char buffer[24];
    char* begin = buffer + sizeof buffer;
    do {
        *--begin = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    return std::string(begin, buffer + sizeof buffer);
}

std::string padded(std::string text, const IntegerFormat& format)
{
    if (text.size() < format.minWidth)
        text.insert(0, format.minWidth - text.size(), format.fill);
    return text;
}

} // namespace

template <>
int integerFromDec<int>(std::string_view text, bool strict)
{
    const ParsedDec<std::uint32_t> parsed = parseDec<std::uint32_t>(text, strict);
    constexpr std::uint32_t largestPositive = std::numeric_limits<int>::max();
    if (parsed.negative) {
        if (parsed.magnitude > largestPositive + 1u)
            BOOST_THROW_EXCEPTION(Exceptions::IntegerTooBig());
        if (parsed.magnitude == largestPositive + 1u)
            return std::numeric_limits<int>::min();
        return -static_cast<int>(parsed.magnitude);
    }
    if (parsed.magnitude > largestPositive)
        BOOST_THROW_EXCEPTION(Exceptions::IntegerTooBig());
    return static_cast<int>(parsed.magnitude);
}

template <>
unsigned integerFromDec<unsigned>(std::string_view text, bool strict)
{
    static_assert(sizeof(unsigned) == sizeof(std::uint32_t), "unsigned int is 32 bits wide");
    return unsignedFromDec<unsigned>(text, strict);
}

template <>
std::uint64_t integerFromDec<std::uint64_t>(std::string_view text, bool strict)
{
    return unsignedFromDec<std::uint64_t>(text, strict);
}

bool tryIntegerFromDec(std::string_view text, int& output, bool strict)
{
    return tryFromDec(text, output, strict);
}

bool tryIntegerFromDec(std::string_view text, unsigned& output, bool strict)
{
    return tryFromDec(text, output, strict);
}

bool tryIntegerFromDec(std::string_view text, std::uint64_t& output, bool strict)
{
    return tryFromDec(text, output, strict);
}

std::string integerToDec(unsigned value, const IntegerFormat& format)
{
    return padded(digitsOf(value), format);
}

std::string integerToDec(int value, const IntegerFormat& format)
{
    if (value >= 0)
        return padded(digitsOf(static_cast<unsigned>(value)), format);
    const unsigned magnitude = 0u - static_cast<unsigned>(value);
    return padded("-" + digitsOf(magnitude), format);
}

std::string integerToDec(std::uint64_t value, const IntegerFormat& format)
{
    return padded(digitsOf(value), format);
}

std::string boolToText(bool value)
{
    return value ? "1" : "0";
}

} // namespace String
