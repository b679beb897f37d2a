#include "libs/string/unicode.hpp"

#include "libs/string/exceptions.hpp"

#include <gtest/gtest.h>

#include <utf8.h>

#include <boost/exception/get_error_info.hpp>

#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace Ex = String::Exceptions;

const std::string replacement = "\xEF\xBF\xBD";

// One event of a decoder walk: a code point, or the length of an invalid run (as a negative number).
using Events = std::vector<long>;

Events decodeUtf8Events(const std::string& bytes)
{
    Events events;
    String::decodeUtf8(
        bytes.data(), bytes.data() + bytes.size(), [&](char32_t c) { events.push_back(long(c)); },
        [&](std::size_t count) { events.push_back(-long(count)); });
    return events;
}

Events decodeUtf16Events(const std::u16string& units)
{
    Events events;
    String::decodeUtf16(
        units.data(), units.data() + units.size(), [&](char32_t c) { events.push_back(long(c)); },
        [&](std::size_t count) { events.push_back(-long(count)); });
    return events;
}

TEST(UnicodeChecks, RangesAndTags)
{
    EXPECT_NO_THROW(String::checkUtf32Code(0));
    EXPECT_NO_THROW(String::checkUtf32Code(0x10FFFF));
    try {
        String::checkUtf32Code(0x110000);
        ADD_FAILURE() << "0x110000 accepted";
    }
    catch (const Ex::InvalidUtf32Code& e) {
        ASSERT_NE(boost::get_error_info<Ex::Utf32Code_>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<Ex::Utf32Code_>(e), 0x110000u);
    }
    EXPECT_THROW(String::checkUtf32Code(0xFFFFFFFF), Ex::InvalidUtf32String);

    EXPECT_NO_THROW(String::checkUtf16FirstSurrogate(0xD800));
    EXPECT_NO_THROW(String::checkUtf16FirstSurrogate(0xDBFF));
    EXPECT_THROW(String::checkUtf16FirstSurrogate(0xD7FF), Ex::InvalidUtf16FirstSurrogate);
    EXPECT_THROW(String::checkUtf16FirstSurrogate(0xDC00), Ex::InvalidUtf16FirstSurrogate);
    EXPECT_NO_THROW(String::checkUtf16SecondSurrogate(0xDC00));
    EXPECT_NO_THROW(String::checkUtf16SecondSurrogate(0xDFFF));
    EXPECT_THROW(String::checkUtf16SecondSurrogate(0xDBFF), Ex::InvalidUtf16SecondSurrogate);
    try {
        String::checkUtf16SecondSurrogate(0xE000);
        ADD_FAILURE() << "0xE000 accepted";
    }
    catch (const Ex::InvalidUtf16String& e) {
        ASSERT_NE(boost::get_error_info<Ex::Utf16Code_>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<Ex::Utf16Code_>(e), 0xE000);
    }
}

TEST(DecodeUtf8, ReportsEachInvalidRunOnceBeforeTheNextCodePoint)
{
    EXPECT_EQ(decodeUtf8Events(""), Events());
    EXPECT_EQ(decodeUtf8Events("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), (Events{0x41, 0xE9, 0x20AC, 0x1F600}));
    EXPECT_EQ(decodeUtf8Events("\x80\x80" "A\xFF"), (Events{-2, 0x41, -1}));
    // A cut-off sequence counts each of its bytes; the run ends at the next valid code point.
    EXPECT_EQ(decodeUtf8Events("\xF0\x9F\x98" "B"), (Events{-3, 0x42}));
}

TEST(FixUtf8, ReplacesEveryMalformedRunWithOneReplacementCharacter)
{
    EXPECT_EQ(String::fixUtf8(""), "");
    const std::string valid = "plain \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
    EXPECT_EQ(String::fixUtf8(valid), valid);
    EXPECT_EQ(String::fixUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));

    EXPECT_EQ(String::fixUtf8("A\xC3(") , "A" + replacement + "(");
    EXPECT_EQ(String::fixUtf8("x\xE2\x82"), "x" + replacement);
    EXPECT_EQ(String::fixUtf8("\xE2"), replacement);
    EXPECT_EQ(String::fixUtf8("\xF0\x9F\x98"), replacement);
    EXPECT_EQ(String::fixUtf8("\x80"), replacement);
    EXPECT_EQ(String::fixUtf8("a\x80\xBF\x80z"), "a" + replacement + "z");
    EXPECT_EQ(String::fixUtf8("\xC0\xAF"), replacement);                   // overlong "/"
    EXPECT_EQ(String::fixUtf8("\xE0\x80\xAF"), replacement);               // overlong "/"
    EXPECT_EQ(String::fixUtf8("\xF0\x82\x82\xAC"), replacement);           // overlong euro sign
    EXPECT_EQ(String::fixUtf8("\xED\xA0\x80"), replacement);               // high surrogate
    EXPECT_EQ(String::fixUtf8("\xED\xBF\xBF" "ok"), replacement + "ok");   // low surrogate
    EXPECT_EQ(String::fixUtf8("\xF4\x90\x80\x80"), replacement);           // above 10FFFF
    EXPECT_EQ(String::fixUtf8("\xF8\x88\x80\x80\x80"), replacement);       // five-byte form
    EXPECT_EQ(String::fixUtf8("\xFE\xFF"), replacement);
    EXPECT_EQ(String::fixUtf8("\x80" "a\x80"), replacement + "a" + replacement);
    EXPECT_EQ(String::fixUtf8("\xC3\xA9\xC3"), "\xC3\xA9" + replacement);

    for (const std::string& broken : {std::string("\xC3("), std::string("\xED\xA0\x80\xED\xB0\x80"),
                                      std::string(100, '\x80'), std::string("\xF0\x9F")})
        EXPECT_NO_THROW(String::checkUtf8(String::fixUtf8(broken))) << broken;
}

TEST(DecodeUtf16, PairsSurrogatesAndCountsUnpairedOnes)
{
    EXPECT_EQ(decodeUtf16Events(u""), Events());
    EXPECT_EQ(decodeUtf16Events(u"A\u00E9\uFFFF"), (Events{0x41, 0xE9, 0xFFFF}));
    EXPECT_EQ(decodeUtf16Events(std::u16string{0xD83D, 0xDE00}), (Events{0x1F600}));
    EXPECT_EQ(decodeUtf16Events(std::u16string{0xDBFF, 0xDFFF}), (Events{0x10FFFF}));
    EXPECT_EQ(decodeUtf16Events(std::u16string{0xD800, 0xD800, 0xDC00}), (Events{-1, 0x10000}));
    EXPECT_EQ(decodeUtf16Events(std::u16string{0xDC00, 0xD800, 0x41}), (Events{-2, 0x41}));
    EXPECT_EQ(decodeUtf16Events(std::u16string{0x41, 0xD800}), (Events{0x41, -1}));
    EXPECT_EQ(decodeUtf16Events(std::u16string{0xDC00, 0xDC00}), (Events{-2}));
}

TEST(FixUtf16, ReplacesEveryUnpairedRunWithOneReplacementUnit)
{
    EXPECT_EQ(String::fixUtf16(u""), u"");
    EXPECT_EQ(String::fixUtf16(std::u16string{0xD800, 0x41}), (std::u16string{0xFFFD, 0x41}));
    EXPECT_EQ(String::fixUtf16(std::u16string{0xDC00, 0xD800, 0x41}), (std::u16string{0xFFFD, 0x41}));
    EXPECT_EQ(String::fixUtf16(std::u16string{0xD83D, 0xDE00}), (std::u16string{0xD83D, 0xDE00}));
    EXPECT_EQ(String::fixUtf16(std::u16string{0x41, 0xDBFF}), (std::u16string{0x41, 0xFFFD}));
    EXPECT_EQ(String::fixUtf16(std::u16string{0xD800, 0xD83D, 0xDE00, 0xDC00}),
              (std::u16string{0xFFFD, 0xD83D, 0xDE00, 0xFFFD}));
    EXPECT_EQ(String::fixUtf16(std::u16string{0x41, 0, 0x42}), (std::u16string{0x41, 0, 0x42}));
}

TEST(StrictConversions, FailWithWhereTheTextGoesWrong)
{
    EXPECT_EQ(String::utf8ToUtf16("A\xC3\xA9\xF0\x9F\x98\x80"), (std::u16string{0x41, 0xE9, 0xD83D, 0xDE00}));
    EXPECT_EQ(String::utf16ToUtf8(std::u16string{0x41, 0xE9, 0xD83D, 0xDE00}), "A\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(String::utf8ToUtf16(""), u"");
    EXPECT_EQ(String::utf16ToUtf8(u""), "");

    // Every kind of fault, in checkUtf8 and in the conversion: the byte offset where it starts.
    const std::vector<std::pair<std::string, std::size_t>> broken{
        {"ok\xFF", 2},          {"\xC3(", 0},          {"\x80", 0},
        {"\xC0\xAF", 0},        {"a\xE0\x80\xAF", 1},  {"\xED\xA0\x80", 0},
        {"\xF4\x90\x80\x80", 0}, {"ab\xE2\x82", 2},     {"caf\xC3\xA9 caf\xE9", 9},
    };
    for (const auto& [text, position] : broken) {
        for (const auto& check : {std::function<void()>([&] { String::checkUtf8(text); }),
                                  std::function<void()>([&] { String::utf8ToUtf16(text); })}) {
            try {
                check();
                ADD_FAILURE() << "accepted: " << text;
            } catch (const Ex::InvalidUtf8String& e) {
                EXPECT_EQ(*boost::get_error_info<Ex::ErrorPosition_>(e), position) << text;
            }
        }
    }
    EXPECT_NO_THROW(String::checkUtf8("plain \xE2\x82\xAC"));

    // Unpaired surrogates: the unit offset where a surrogate was expected and the unit found.
    const auto expectUnpaired = [](const std::u16string& units, auto expected, std::size_t position,
                                   const std::uint16_t* found) {
        try {
            String::utf16ToUtf8(units);
            ADD_FAILURE() << "accepted unit " << position;
        } catch (const decltype(expected)& e) {
            EXPECT_EQ(*boost::get_error_info<Ex::ErrorPosition_>(e), position);
            const std::uint16_t* unit = boost::get_error_info<Ex::Utf16Code_>(e);
            EXPECT_EQ(unit == nullptr, found == nullptr);
            if (unit != nullptr && found != nullptr) {
                EXPECT_EQ(*unit, *found);
            }
        }
    };
    const std::uint16_t low = 0xDC00, letter = 0x41;
    expectUnpaired(std::u16string{0x41, 0xD800}, Ex::InvalidUtf16SecondSurrogate(), 2, nullptr);
    expectUnpaired(std::u16string{0x41, 0xDC00}, Ex::InvalidUtf16FirstSurrogate(), 1, &low);
    expectUnpaired(std::u16string{0xD800, 0x41}, Ex::InvalidUtf16SecondSurrogate(), 1, &letter);
}

TEST(LenientConversions, RepairInsteadOfFailing)
{
    EXPECT_EQ(String::utf8ToUtf16Lenient("A\xC3("), (std::u16string{0x41, 0xFFFD, 0x28}));
    EXPECT_EQ(String::utf8ToUtf16Lenient("\xE2\x82"), (std::u16string{0xFFFD}));
    EXPECT_EQ(String::utf16ToUtf8Lenient(std::u16string{0xDC00, 0xD800, 0x41}), replacement + "A");
    EXPECT_EQ(String::utf16ToUtf8Lenient(std::u16string{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");

    const char16_t zeroTerminated[] = {0x41, 0xD800, 0x42, 0, 0x43};
    EXPECT_EQ(String::utf16ToUtf8Lenient(zeroTerminated), "A" + replacement + "B");
    EXPECT_EQ(String::utf16ToUtf8Lenient(static_cast<const char16_t*>(nullptr)), "");

    // No unpaired surrogate survives: the output always converts strictly.
    for (const std::u16string& units : {std::u16string{0xD800}, std::u16string{0xDFFF, 0xDBFF},
                                        std::u16string{0xD800, 0xD800, 0xDC00, 0xDC00}})
        EXPECT_NO_THROW(String::checkUtf8(String::utf16ToUtf8Lenient(units)));
}

TEST(Repair, AnyInputGivesWellFormedTextAndRepairIsIdempotent)
{
    std::mt19937 random(20261209);
    // Bytes biased towards lead and continuation bytes, so that broken sequences are frequent.
    const std::string alphabet = "a\x80\xBF\xC2\xC3\xDF\xE0\xE2\xED\xEF\xF0\xF4\xF5\xFF";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<std::size_t> length(0, 12);
    std::uniform_int_distribution<unsigned> unit(0xD7F0, 0xE010);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes;
        std::u16string units;
        for (std::size_t i = length(random); i > 0; --i) {
            bytes.push_back(alphabet[pick(random)]);
            units.push_back(static_cast<char16_t>(unit(random)));
        }
        const std::string fixed = String::fixUtf8(bytes);
        ASSERT_NO_THROW(String::checkUtf8(fixed));
        ASSERT_EQ(String::fixUtf8(fixed), fixed);
        const std::u16string fixedUnits = String::fixUtf16(units);
        ASSERT_NO_THROW(String::utf16ToUtf8(fixedUnits));
        ASSERT_EQ(String::fixUtf16(fixedUnits), fixedUnits);
        ASSERT_EQ(String::utf8ToUtf16(String::utf16ToUtf8(fixedUnits)), fixedUnits);
    }
}

} // namespace
