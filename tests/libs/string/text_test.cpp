#include "libs/string/text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ToLower, FoldsOnlyAsciiCapitals)
{
    EXPECT_EQ(String::toLower("Server.Address@[Z]"), "server.address@[z]");
    const std::string nonAscii = "\xC3\x84\xC3\xA4 \x80\xFF";
    EXPECT_EQ(String::toLower(nonAscii), nonAscii);
    EXPECT_EQ(String::toLower(std::string("A\0B", 3)), std::string("a\0b", 3));
    EXPECT_EQ(String::toLower(""), "");
}

TEST(CompareNoCase, OrdersFoldedBytesAsSignedNumbers)
{
    EXPECT_EQ(String::compareNoCase("Yes", "yes"), 0);
    EXPECT_EQ(String::compareNoCase(std::string("YES"), "yes"), 0);
    EXPECT_EQ(String::compareNoCase("ye", std::string("yes")), -1);
    EXPECT_EQ(String::compareNoCase("yes", "ye"), 1);
    EXPECT_EQ(String::compareNoCase("", ""), 0);
    EXPECT_EQ(String::compareNoCase("", "a"), -1);
    EXPECT_EQ(String::compareNoCase("abc", "ABD"), -1);
    // Folding happens before the comparison: "_" (0x5F) lies between "Z" and "a".
    EXPECT_EQ(String::compareNoCase("Z", "_"), 1);
    EXPECT_EQ(String::compareNoCase("_", "z"), -1);
    // Bytes from 0x80 up are negative and sort before every ASCII character.
    EXPECT_EQ(String::compareNoCase("\xC3", "a"), -1);
    EXPECT_EQ(String::compareNoCase("a", "\xFF"), 1);
    EXPECT_EQ(String::compareNoCase("\x80", "\xFF"), -1);
    EXPECT_EQ(String::compareNoCase("\xC3\x84", "\xC3\xA4"), -1);
}

TEST(IsAlphanumeric, AsciiLettersAndDigitsOnly)
{
    int count = 0;
    for (int c = -128; c < 128; ++c)
        count += String::isAlphanumeric(static_cast<char>(c)) ? 1 : 0;
    EXPECT_EQ(count, 62);
    for (char c : std::string("09AZaz"))
        EXPECT_TRUE(String::isAlphanumeric(c));
    for (char c : std::string("/:@[`{ _-#\xC3"))
        EXPECT_FALSE(String::isAlphanumeric(c));
}

TEST(Trim, RemovesSetCharactersAtBothEndsOnly)
{
    EXPECT_EQ(String::whitespace, std::string_view(" \f\n\r\t\v"));
    EXPECT_EQ(String::trim("  a b \r\n"), "a b");
    EXPECT_EQ(String::trim(" \t "), "");
    EXPECT_EQ(String::trim(""), "");
    EXPECT_EQ(String::trim("\f\vx\v\f"), "x");
    EXPECT_EQ(String::trim("x"), "x");
    EXPECT_EQ(String::trim(std::string("\0a\0", 3)), std::string("\0a\0", 3));
    EXPECT_EQ(String::trim("--a-b--", "-"), "a-b");
    EXPECT_EQ(String::trim("abc", ""), "abc");
    EXPECT_EQ(String::trim("xyx", "xy"), "");
}

} // namespace
