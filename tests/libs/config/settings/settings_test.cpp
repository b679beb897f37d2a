#include "libs/config/settings/settings.hpp"

#include "libs/config/settings/exceptions.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

namespace Ex = Config::Exceptions;
using Config::SettingMap;

std::vector<std::string> keysOf(const SettingMap& settings)
{
    std::vector<std::string> keys;
    for (const auto& entry : settings)
        keys.push_back(entry.first);
    return keys;
}

std::string valueOf(const SettingMap& settings, const std::string& key)
{
    std::string value = "<missing>";
    settings.tryGet(key, value);
    return value;
}

TEST(SettingMap, KeysAreFoldedToLowerCaseAndOrderedByBytes)
{
    SettingMap settings;
    EXPECT_TRUE(settings.empty());
    settings.set("Server.Address", "a");
    EXPECT_EQ(settings.get("SERVER.ADDRESS"), "a");
    EXPECT_EQ(keysOf(settings), std::vector<std::string>{"server.address"});

    settings.set("server.ADDRESS", "b");
    EXPECT_EQ(settings.size(), 1u);
    EXPECT_EQ(settings.get("server.address"), "b");

    settings.set("Z", "");
    settings.set("_x", "1");
    settings.set("\xC3\x84", "2");
    settings.set("a.b", "3");
    // "_" (5F) lies below "a" once "Z" is folded to "z" (7A); byte C3 sorts last unsigned.
    EXPECT_EQ(keysOf(settings), (std::vector<std::string>{"_x", "a.b", "server.address", "z", "\xC3\x84"}));
    EXPECT_EQ(settings.get("z"), "");
    // Only ASCII letters fold.
    EXPECT_EQ(valueOf(settings, "\xC3\xA4"), "<missing>");

    const SettingMap copy = settings;
    settings.remove("A.B");
    settings.remove("not.there");
    EXPECT_EQ(copy.size(), 5u);
    EXPECT_EQ(settings.size(), 4u);
    EXPECT_NE(copy, settings);
}

TEST(SettingMap, MissingSettingsAndSetOrRemove)
{
    SettingMap settings;
    try {
        settings.get("Foo.Bar");
        ADD_FAILURE() << "missing key found";
    }
    catch (const Ex::SettingNotFound& e) {
        ASSERT_NE(boost::get_error_info<Ex::Key_>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<Ex::Key_>(e), "Foo.Bar");
    }

    std::string output = "kept";
    EXPECT_FALSE(settings.tryGet("foo.bar", output));
    EXPECT_EQ(output, "kept");

    settings.setOrRemove("Foo.Bar", "1");
    EXPECT_TRUE(settings.tryGet("FOO.bar", output));
    EXPECT_EQ(output, "1");
    settings.setOrRemove("foo.BAR", "");
    EXPECT_TRUE(settings.empty());
}

TEST(TryConvert, NumbersAreStrictAndLeaveTheOutputOnFailure)
{
    unsigned number = 99;
    EXPECT_TRUE(Config::tryConvert("42", number));
    EXPECT_EQ(number, 42u);
    EXPECT_TRUE(Config::tryConvert("4294967295", number));
    EXPECT_EQ(number, 4294967295u);
    for (const char* text : {"", "-1", "-0", "4294967296", "12a", "+5", " 5", "5 ", "0x10"}) {
        number = 99;
        EXPECT_FALSE(Config::tryConvert(text, number)) << text;
        EXPECT_EQ(number, 99u) << text;
    }

    int signedNumber = 99;
    EXPECT_TRUE(Config::tryConvert("-5", signedNumber));
    EXPECT_EQ(signedNumber, -5);
    EXPECT_TRUE(Config::tryConvert("-2147483648", signedNumber));
    EXPECT_EQ(signedNumber, std::numeric_limits<int>::min());
    for (const char* text : {"2147483648", "-2147483649", "--1", "-", ""}) {
        signedNumber = 99;
        EXPECT_FALSE(Config::tryConvert(text, signedNumber)) << text;
        EXPECT_EQ(signedNumber, 99) << text;
    }

    std::uint64_t big = 99;
    EXPECT_TRUE(Config::tryConvert("18446744073709551615", big));
    EXPECT_EQ(big, std::numeric_limits<std::uint64_t>::max());
    big = 99;
    EXPECT_FALSE(Config::tryConvert("18446744073709551616", big));
    EXPECT_FALSE(Config::tryConvert("-1", big));
    EXPECT_EQ(big, 99u);
}

TEST(TryConvert, BooleanWords)
{
    for (const char* text : {"y", "Y", "yes", "YES", "On", "1", "TRUE", "tRuE"}) {
        bool flag = false;
        EXPECT_TRUE(Config::tryConvert(text, flag)) << text;
        EXPECT_TRUE(flag) << text;
    }
    for (const char* text : {"n", "N", "No", "off", "OFF", "0", "false", "False"}) {
        bool flag = true;
        EXPECT_TRUE(Config::tryConvert(text, flag)) << text;
        EXPECT_FALSE(flag) << text;
    }
    for (const char* text : {"", "t", "2", " yes", "yes ", "yess", "enabled", "00", "o"}) {
        bool flag = true;
        EXPECT_FALSE(Config::tryConvert(text, flag)) << text;
        EXPECT_TRUE(flag) << text;
        flag = false;
        EXPECT_FALSE(Config::tryConvert(text, flag)) << text;
        EXPECT_FALSE(flag) << text;
    }
    bool flag = true;
    EXPECT_FALSE(Config::tryConvert(std::string("no\0x", 4), flag));
    EXPECT_TRUE(flag);
}

TEST(Convert, ThrowingFormsNameTheValueAndType)
{
    bool flag = false;
    Config::convert("On", flag);
    EXPECT_TRUE(flag);
    try {
        Config::convert("maybe", flag);
        ADD_FAILURE() << "maybe accepted";
    }
    catch (const Ex::InvalidValue& e) {
        EXPECT_EQ(*boost::get_error_info<Ex::Value_>(e), "maybe");
        EXPECT_EQ(*boost::get_error_info<Ex::ExpectedType_>(e), "bool");
    }
    EXPECT_TRUE(flag);
}

TEST(Convert, ListsSplitAtCommasTrimAndDropEmptyItems)
{
    using List = std::vector<std::string>;
    auto listOf = [](const std::string& text) {
        List items;
        Config::convert(text, items);
        return items;
    };
    EXPECT_EQ(listOf("a, ,b ,"), (List{"a", "b"}));
    EXPECT_EQ(listOf("x"), List{"x"});
    EXPECT_EQ(listOf(""), List());
    EXPECT_EQ(listOf(",,,"), List());
    EXPECT_EQ(listOf("\t one two \r\n,three"), (List{"one two", "three"}));

    List items{"kept"};
    Config::convert("new", items);
    EXPECT_EQ(items, (List{"kept", "new"}));
}

TEST(Convert, ValuesToText)
{
    std::string text = "old";
    Config::convert(-42, text);
    EXPECT_EQ(text, "-42");
    Config::convert(0u, text);
    EXPECT_EQ(text, "0");
    Config::convert(std::numeric_limits<std::uint64_t>::max(), text);
    EXPECT_EQ(text, "18446744073709551615");
    Config::convert(true, text);
    EXPECT_EQ(text, "yes");
    Config::convert(false, text);
    EXPECT_EQ(text, "no");
    Config::convert(Compress::Type::bzip2, text);
    EXPECT_EQ(text, "bzip2");
    Config::convert(static_cast<Compress::Type::Enum>(7), text);
    EXPECT_EQ(text, "invalid");
}

TEST(ReadSetting, BadTextsTakeTheDefault)
{
    SettingMap settings;
    settings.set("a", "abc");
    settings.set("b", "-3");
    settings.set("c", "0");
    settings.set("d", "45");
    settings.set("flag.bad", "sure");
    settings.set("flag.off", "OFF");

    unsigned number = 1;
    Config::readSetting(settings, "missing", number, 300);
    EXPECT_EQ(number, 300u);
    Config::readSetting(settings, "A", number, 300);
    EXPECT_EQ(number, 300u);
    Config::readSetting(settings, "b", number, 300);
    EXPECT_EQ(number, 300u);
    Config::readSetting(settings, "c", number, 300);
    EXPECT_EQ(number, 0u);
    Config::readSetting(settings, "D", number, 300);
    EXPECT_EQ(number, 45u);

    bool flag = false;
    Config::readSetting(settings, "flag.bad", flag, true);
    EXPECT_TRUE(flag);
    Config::readSetting(settings, "flag.off", flag, true);
    EXPECT_FALSE(flag);
    Config::readSetting(settings, "flag.missing", flag, true);
    EXPECT_TRUE(flag);

    std::optional<unsigned> optional = 8u;
    EXPECT_FALSE(Config::readOptionalSetting(settings, "a", optional));
    EXPECT_EQ(optional, 8u);
    EXPECT_FALSE(Config::readOptionalSetting(settings, "missing", optional));
    EXPECT_EQ(optional, 8u);
    std::optional<unsigned> absent;
    EXPECT_FALSE(Config::readOptionalSetting(settings, "b", absent));
    EXPECT_FALSE(absent.has_value());
    EXPECT_TRUE(Config::readOptionalSetting(settings, "c", absent));
    EXPECT_EQ(absent, 0u);
}

TEST(WriteSetting, NumbersAndFlagsLeaveDefaultsOut)
{
    SettingMap settings;
    settings.set("n", "stale");
    Config::writeSetting(settings, "N", 300u, 300);
    EXPECT_EQ(valueOf(settings, "n"), "<missing>");
    Config::writeSetting(settings, "n", 0u, 300);
    EXPECT_EQ(valueOf(settings, "n"), "0");
    Config::writeSetting(settings, "n", 45u, 300);
    EXPECT_EQ(valueOf(settings, "n"), "45");

    Config::writeSetting(settings, "i", -1, 0);
    EXPECT_EQ(valueOf(settings, "i"), "-1");
    Config::writeSetting(settings, "i", 0, 5);
    EXPECT_EQ(valueOf(settings, "i"), "0");
    Config::writeSetting(settings, "i", 5, 5);
    EXPECT_EQ(valueOf(settings, "i"), "<missing>");

    Config::writeSetting(settings, "big", std::uint64_t(4294967296u), 0);
    EXPECT_EQ(valueOf(settings, "big"), "4294967296");
    Config::writeSetting(settings, "big", std::uint64_t(2048), 2048);
    EXPECT_EQ(valueOf(settings, "big"), "<missing>");

    Config::writeSetting(settings, "f", true, false);
    EXPECT_EQ(valueOf(settings, "f"), "yes");
    Config::writeSetting(settings, "f", false, true);
    EXPECT_EQ(valueOf(settings, "f"), "no");
    Config::writeSetting(settings, "f", true, true);
    EXPECT_EQ(valueOf(settings, "f"), "<missing>");

    Config::writeSetting(settings, "c", Compress::Type::bzip2, Compress::Type::gzip);
    EXPECT_EQ(valueOf(settings, "c"), "bzip2");
    Config::writeSetting(settings, "c", Compress::Type::none, Compress::Type::gzip);
    EXPECT_EQ(valueOf(settings, "c"), "none");
    Config::writeSetting(settings, "c", Compress::Type::gzip, Compress::Type::gzip);
    EXPECT_EQ(valueOf(settings, "c"), "<missing>");
}

TEST(WriteSetting, NumbersWithoutDefaultOptionalsTextsAndIdentifiers)
{
    SettingMap settings;
    settings.set("u", "9");
    Config::writeSetting(settings, "u", 0u);
    EXPECT_EQ(valueOf(settings, "u"), "9");
    Config::writeSetting(settings, "u", 12u);
    EXPECT_EQ(valueOf(settings, "u"), "12");

    Config::writeSetting(settings, "o", std::optional<unsigned>(0u), 4);
    EXPECT_EQ(valueOf(settings, "o"), "0");
    Config::writeSetting(settings, "o", std::optional<unsigned>(4u), 4);
    EXPECT_EQ(valueOf(settings, "o"), "<missing>");
    settings.set("o", "7");
    Config::writeSetting(settings, "o", std::optional<unsigned>(), 4);
    EXPECT_EQ(valueOf(settings, "o"), "<missing>");

    settings.set("t", "old");
    Config::writeSetting(settings, "t", "", "x");
    EXPECT_EQ(valueOf(settings, "t"), "<missing>");
    Config::writeSetting(settings, "t", "y", "x");
    EXPECT_EQ(valueOf(settings, "t"), "y");
    Config::writeSetting(settings, "t", std::string("X"), std::string("x"));
    EXPECT_EQ(valueOf(settings, "t"), "X");
    Config::writeSetting(settings, "t", std::string("x"), "x");
    EXPECT_EQ(valueOf(settings, "t"), "<missing>");
}

} // namespace
