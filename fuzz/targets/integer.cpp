// Decimal parsing of int, unsigned and 64-bit unsigned values against a straightforward
// reference, the agreement of the throwing and the reporting forms, and formatting round trips.
#include "targets/targets.hpp"

#include "libs/string/exceptions.hpp"
#include "libs/string/integer.hpp"

#include <limits>
#include <optional>
#include <string>

namespace Fuzz {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The value the text stands for, or none when it has no valid reading for the type.
template <typename Integer>
std::optional<Integer> referenceValue(std::string_view text, bool strict)
{
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view rest = negative ? text.substr(1) : text;
    std::size_t digits = 0;
    while (digits < rest.size() && isDigit(rest[digits]))
        ++digits;
    if (digits == 0 || (strict && digits != rest.size()))
        return std::nullopt;
    if (negative && !std::numeric_limits<Integer>::is_signed)
        return std::nullopt;
    // The magnitude, saturated once it exceeds every type's range.
    const unsigned __int128 cap = static_cast<unsigned __int128>(1) << 65;
    unsigned __int128 magnitude = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        magnitude = magnitude * 10 + static_cast<unsigned>(rest[i] - '0');
        if (magnitude > cap)
            magnitude = cap;
    }
    const __int128 value = negative ? -static_cast<__int128>(magnitude) : static_cast<__int128>(magnitude);
    if (value < static_cast<__int128>(std::numeric_limits<Integer>::min())
        || value > static_cast<__int128>(std::numeric_limits<Integer>::max()))
        return std::nullopt;
    return static_cast<Integer>(value);
}

template <typename Integer>
std::optional<Integer> parsed(std::string_view text, bool strict)
{
    try {
        return String::integerFromDec<Integer>(text, strict);
    } catch (const String::Exceptions::Exception&) {
        return std::nullopt;
    }
}

template <typename Integer>
void checkReading(std::string_view text, bool strict)
{
    const std::optional<Integer> expected = referenceValue<Integer>(text, strict);
    const std::optional<Integer> value = parsed<Integer>(text, strict);
    require(value == expected, "integerFromDec gives the value of the leading decimal text");

    const Integer untouched = static_cast<Integer>(42);
    Integer output = untouched;
    const bool read = String::tryIntegerFromDec(text, output, strict);
    require(read == value.has_value(), "tryIntegerFromDec succeeds exactly when integerFromDec does");
    require(read ? output == *value : output == untouched, "tryIntegerFromDec output is the value or untouched");

    if (value) {
        const std::string written = String::integerToDec(*value);
        require(parsed<Integer>(written, true) == value, "the decimal text of a value reads back as the value");
    }
}

template <typename Integer>
void checkFormat(Integer value, unsigned width, char fill)
{
    const std::string plain = String::integerToDec(value);
    const std::string padded = String::integerToDec(value, String::IntegerFormat{width, fill});
    const std::size_t expectedSize = plain.size() < width ? width : plain.size();
    require(padded.size() == expectedSize, "formatted text is as wide as asked or as the number");
    require(padded.compare(padded.size() - plain.size(), plain.size(), plain) == 0,
            "formatted text ends with the number");
    require(padded.find_first_not_of(fill) >= padded.size() - plain.size(), "padding is the fill character");
}

template <typename Integer>
Integer fromBytes(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < size && i < sizeof(Integer); ++i)
        bits |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    return static_cast<Integer>(bits);
}

} // namespace

int integer(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = asText(data, size);
    for (const bool strict : {true, false}) {
        checkReading<int>(text, strict);
        checkReading<unsigned>(text, strict);
        checkReading<std::uint64_t>(text, strict);
    }
    if (size >= 2) {
        const unsigned width = data[0] % 64;
        const char fill = static_cast<char>(data[1]);
        checkFormat(fromBytes<int>(data + 2, size - 2), width, fill);
        checkFormat(fromBytes<unsigned>(data + 2, size - 2), width, fill);
        checkFormat(fromBytes<std::uint64_t>(data + 2, size - 2), width, fill);
    }
    return 0;
}

} // namespace Fuzz
