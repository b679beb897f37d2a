#include "libs/string/integer.hpp"

#include "libs/string/exceptions.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

namespace Ex = String::Exceptions;

// Every failing text must also make the try form return false and keep its output.
template <typename Integer, typename Failure>
void expectFailure(const std::string& text, bool strict)
{
    SCOPED_TRACE("text \"" + text + "\", strict " + std::to_string(strict));
    EXPECT_THROW(String::integerFromDec<Integer>(text, strict), Failure);
    Integer output = 77;
    EXPECT_FALSE(String::tryIntegerFromDec(text, output, strict));
    EXPECT_EQ(output, Integer(77));
}

template <typename Integer>
void expectValue(const std::string& text, bool strict, Integer expected)
{
    SCOPED_TRACE("text \"" + text + "\", strict " + std::to_string(strict));
    EXPECT_EQ(String::integerFromDec<Integer>(text, strict), expected);
    Integer output = 77;
    EXPECT_TRUE(String::tryIntegerFromDec(text, output, strict));
    EXPECT_EQ(output, expected);
}

TEST(DecimalDigits, ConvertOnlyDigitsAndRejectTheRest)
{
    for (char c = '0'; c <= '9'; ++c)
        EXPECT_EQ(String::fromDecDigitChar(c), static_cast<unsigned>(c - '0'));
    for (char c : std::string("/:aA -+\0\xff", 10))
        EXPECT_THROW(String::fromDecDigitChar(c), Ex::NotDecadicDigit);

    EXPECT_EQ(String::toDecDigitChar(0), '0');
    EXPECT_EQ(String::toDecDigitChar(9), '9');
    EXPECT_THROW(String::toDecDigitChar(10), Ex::NotDecadicDigit);
    EXPECT_THROW(String::toDecDigitChar(std::numeric_limits<unsigned>::max()), Ex::NotDecadicDigit);

    EXPECT_EQ(String::toHexDigitChar(9, true), '9');
    EXPECT_EQ(String::toHexDigitChar(10, true), 'A');
    EXPECT_EQ(String::toHexDigitChar(15, true), 'F');
    EXPECT_EQ(String::toHexDigitChar(10, false), 'a');
    EXPECT_EQ(String::toHexDigitChar(15, false), 'f');
    EXPECT_THROW(String::toHexDigitChar(16, false), Ex::NotHexadecimalDigit);
    EXPECT_THROW(String::toHexDigitChar(16, true), Ex::NotHexadecimalDigit);
}

TEST(IntegerFromDec, StrictFormRejectsAnythingButSignAndDigits)
{
    expectValue<unsigned>("0", true, 0);
    expectValue<unsigned>("007", true, 7);
    expectValue<int>("-0", true, 0);
    expectFailure<unsigned, Ex::NoDecadicDigits>("", true);
    expectFailure<unsigned, Ex::NoDecadicDigits>("-", true);
    expectFailure<int, Ex::NoDecadicDigits>("-", true);
    for (const char* text : {"+5", " 5", "5 ", "5-3", "--5", "12a", "-a", "\t1", "1\n", "0x1"}) {
        expectFailure<int, Ex::NotDecadicDigit>(text, true);
        expectFailure<std::uint64_t, Ex::NotDecadicDigit>(text, true);
    }
    expectFailure<int, Ex::NotDecadicDigit>(std::string("1\0" "2", 3), true);
    expectFailure<unsigned, Ex::SignInUnsignedInteger>("-5", true);
    expectFailure<unsigned, Ex::SignInUnsignedInteger>("-0", true);
    expectFailure<std::uint64_t, Ex::SignInUnsignedInteger>("-0", true);
}

TEST(IntegerFromDec, NonStrictFormStopsAtTheFirstNonDigit)
{
    expectValue<unsigned>("12abc", false, 12);
    expectValue<int>("-12 3", false, -12);
    expectValue<std::uint64_t>("5-3", false, 5);
    expectFailure<unsigned, Ex::NoDecadicDigits>("abc", false);
    expectFailure<int, Ex::NoDecadicDigits>("--5", false);
    expectFailure<int, Ex::NoDecadicDigits>("+5", false);
    expectFailure<int, Ex::NoDecadicDigits>(" 5", false);
    expectFailure<int, Ex::NoDecadicDigits>("", false);
    expectFailure<unsigned, Ex::SignInUnsignedInteger>("-7x", false);
    // The digits read are still range-checked.
    expectFailure<unsigned, Ex::IntegerTooBig>("4294967296abc", false);
}

TEST(IntegerFromDec, RangeLimitsOfEachType)
{
    expectValue<unsigned>("4294967295", true, 4294967295u);
    expectFailure<unsigned, Ex::IntegerTooBig>("4294967296", true);
    expectFailure<unsigned, Ex::IntegerTooBig>("4294967300", true);
    expectFailure<unsigned, Ex::IntegerTooBig>("10000000000", true);
    expectFailure<unsigned, Ex::OutOfRange>("99999999999999999999999", true);
    expectValue<unsigned>("0000000000004294967295", true, 4294967295u);

    expectValue<std::uint64_t>("18446744073709551615", true, std::numeric_limits<std::uint64_t>::max());
    expectFailure<std::uint64_t, Ex::IntegerTooBig>("18446744073709551616", true);
    expectFailure<std::uint64_t, Ex::IntegerTooBig>("18446744073709551620", true);
    expectFailure<std::uint64_t, Ex::IntegerTooBig>("100000000000000000000", true);
    expectValue<std::uint64_t>("4294967296", true, 4294967296u);

    expectValue<int>("2147483647", true, std::numeric_limits<int>::max());
    expectValue<int>("-2147483647", true, -std::numeric_limits<int>::max());
    expectValue<int>("-2147483648", true, std::numeric_limits<int>::min());
    expectFailure<int, Ex::IntegerTooBig>("2147483648", true);
    expectFailure<int, Ex::IntegerTooBig>("-2147483649", true);
    expectFailure<int, Ex::IntegerTooBig>("4294967295", true);
    expectFailure<int, Ex::IntegerTooBig>("-4294967296", true);
}

TEST(IntegerFromDec, OverflowWinsOverSignForUnsigned)
{
    expectFailure<unsigned, Ex::IntegerTooBig>("-4294967296", true);
    expectFailure<std::uint64_t, Ex::IntegerTooBig>("-18446744073709551616", true);
}

TEST(IntegerToDec, DigitsSignAndPadding)
{
    EXPECT_EQ(String::integerToDec(0u), "0");
    EXPECT_EQ(String::integerToDec(0), "0");
    EXPECT_EQ(String::integerToDec(std::uint64_t(0)), "0");
    EXPECT_EQ(String::integerToDec(-42), "-42");
    EXPECT_EQ(String::integerToDec(std::numeric_limits<int>::min()), "-2147483648");
    EXPECT_EQ(String::integerToDec(std::numeric_limits<int>::max()), "2147483647");
    EXPECT_EQ(String::integerToDec(std::numeric_limits<unsigned>::max()), "4294967295");
    EXPECT_EQ(String::integerToDec(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");

    String::IntegerFormat format;
    format.minWidth = 5;
    EXPECT_EQ(String::integerToDec(42u, format), "   42");
    format.fill = '0';
    EXPECT_EQ(String::integerToDec(-42, format), "00-42");
    EXPECT_EQ(String::integerToDec(std::uint64_t(123456), format), "123456");
    format.minWidth = 0;
    EXPECT_EQ(String::integerToDec(7u, format), "7");
}

TEST(IntegerToDec, RoundTripsThroughTheStrictParser)
{
    for (int value : {std::numeric_limits<int>::min(), -1000000, -1, 0, 1, 99, std::numeric_limits<int>::max()})
        EXPECT_EQ(String::integerFromDec<int>(String::integerToDec(value), true), value);
    for (std::uint64_t value : {std::uint64_t(1) << 32, std::uint64_t(9999999999999999999u)})
        EXPECT_EQ(String::integerFromDec<std::uint64_t>(String::integerToDec(value), true), value);
}

TEST(BoolToText, OneAndZero)
{
    EXPECT_EQ(String::boolToText(true), "1");
    EXPECT_EQ(String::boolToText(false), "0");
}

} // namespace
