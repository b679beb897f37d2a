#include "shared/institution/id.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Institution::Id;

Id strict(const std::string& text)
{
    Id id;
    EXPECT_TRUE(id.fromText(text)) << text;
    return id;
}

// A reading that fails must leave the empty identifier, whatever the identifier held before.
void expectStrictFailure(const std::string& text)
{
    Id id(0x0000004B53000005u);
    EXPECT_FALSE(id.fromText(text)) << text;
    EXPECT_TRUE(id.isEmpty()) << text;
    EXPECT_EQ(id, Id()) << text;
}

void expectLegacyFailure(const std::string& text)
{
    Id id(0x0000004B53000005u);
    EXPECT_FALSE(id.fromLegacyText(text)) << text;
    EXPECT_TRUE(id.isEmpty()) << text;
}

TEST(InstitutionId, EmptyValueAndHalves)
{
    const Id empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.value(), 0u);
    EXPECT_EQ(empty.toText(), "#0");

    const Id sk12 = strict("SK#12");
    EXPECT_FALSE(sk12.isEmpty());
    EXPECT_EQ(sk12.code(), "SK");
    EXPECT_EQ(sk12.number(), 12u);
    // The first code character is the least significant byte of the high half.
    EXPECT_EQ(sk12.codeHalf(), std::uint32_t('S') | (std::uint32_t('K') << 8));
    EXPECT_EQ(sk12.value(), (std::uint64_t(sk12.codeHalf()) << 32) + 12);
}

TEST(InstitutionId, StrictReadingAndTextForm)
{
    EXPECT_EQ(strict("SK#12").toText(), "SK#12");
    const Id plain = strict("12");
    EXPECT_EQ(plain.value(), 12u);
    EXPECT_EQ(plain.code(), "");
    EXPECT_EQ(plain.toText(), "#12");
    EXPECT_EQ(strict("#12"), plain);
    EXPECT_EQ(strict("ABCD#7").toText(), "ABCD#7");
    EXPECT_EQ(strict("a1#4294967295").toText(), "a1#4294967295");
    EXPECT_EQ(strict("#0"), Id());
    EXPECT_EQ(strict("0"), Id());
    EXPECT_EQ(strict("SK#007").toText(), "SK#7");
    EXPECT_EQ(strict("4294967295").toText(), "#4294967295");
    EXPECT_EQ(strict(std::string("S\0K#3", 5)).toText(), "S#3");

    for (const char* text : {"SK#12", "ABCD#4294967295", "z#0", "9#1"}) {
        const Id id = strict(text);
        EXPECT_EQ(strict(std::to_string(id.value())), id) << text;
    }
}

TEST(InstitutionId, PlainValueWithUnwritableCodeIsRejected)
{
    // Code bytes 01, then "S" after a zero byte, then a byte above 7F: none would survive toText.
    for (std::uint64_t value : {std::uint64_t(1) << 32, (std::uint64_t('S') << 40) | 5,
                                std::uint64_t(0xC3) << 32, UINT64_MAX})
        expectStrictFailure(std::to_string(value));
}

TEST(InstitutionId, StrictReadingFailures)
{
    for (const char* text : {"", "ABCDE#7", "S-K#7", "SK#", "SK#4294967296", "SK#-1", "SK#+1", "SK# 1",
                             "SK #1", " SK#1", "SK", "-12", "+12", "12 ", "18446744073709551616",
                             "SK#1#2", "SK#1:5", "\xC3\x84#1", "#", "##1"})
        expectStrictFailure(text);
}

TEST(InstitutionId, LegacyReadingDropsTheNumberAfterTheColon)
{
    Id id;
    EXPECT_TRUE(id.fromLegacyText("SK#12:5"));
    EXPECT_EQ(id.toText(), "SK#12");
    EXPECT_TRUE(id.fromLegacyText("SK#12:18446744073709551615"));
    EXPECT_EQ(id.toText(), "SK#12");
    EXPECT_TRUE(id.fromLegacyText("7:0"));
    EXPECT_EQ(id.value(), 7u);
    EXPECT_TRUE(id.fromLegacyText("SK#12"));
    EXPECT_EQ(id, strict("SK#12"));

    for (const char* text : {"SK#12:x", "XYZ12345:1", "SK#12:", ":5", "SK#12:-1", "SK#12:1:2",
                             "SK#12:18446744073709551616", "ABCDE#1:1", "", "SK#"})
        expectLegacyFailure(text);
}

TEST(InstitutionId, OrderIsCodeThenNumber)
{
    std::vector<Id> ids{strict("B#1"), strict("A#2"), strict("#99"), strict("A#10"), strict("AB#0"),
                        strict("#3"), strict("A#1")};
    std::sort(ids.begin(), ids.end());
    std::vector<std::string> texts;
    for (const Id& id : ids)
        texts.push_back(id.toText());
    // "AB" has "B" in its second byte, so it sorts after "B" alone by the 64-bit value.
    EXPECT_EQ(texts, (std::vector<std::string>{"#3", "#99", "A#1", "A#2", "A#10", "B#1", "AB#0"}));

    EXPECT_TRUE(strict("A#1") < strict("A#2"));
    EXPECT_FALSE(strict("A#2") < strict("A#2"));
    EXPECT_TRUE(strict("A#2") <= strict("A#2"));
    EXPECT_TRUE(strict("#4294967295") < strict("A#0"));
    EXPECT_NE(strict("A#1"), strict("a#1"));
}

} // namespace
