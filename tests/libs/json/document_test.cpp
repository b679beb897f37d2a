#include "libs/json/document.hpp"
#include "libs/json/exceptions.hpp"
#include "libs/string/exceptions.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Delivers text in pieces of at most piece bytes, as a file read would.
Streaming::Reader pieces(const std::string& text, std::size_t piece, std::size_t& calls)
{
    auto position = std::make_shared<std::size_t>(0);
    return [text, piece, position, &calls](char* buffer, std::size_t capacity, bool& end) {
        ++calls;
        const std::size_t count = std::min({piece, capacity, text.size() - *position});
        std::memcpy(buffer, text.data() + *position, count);
        *position += count;
        end = *position == text.size();
        return count;
    };
}

void expectInvalidJson(const std::string& text, rapidjson::ParseErrorCode code, unsigned int position)
{
    try {
        Json::Document document(text);
        ADD_FAILURE() << "parsed: " << text;
    } catch (const Json::Exceptions::InvalidJson& error) {
        const auto* parseError = boost::get_error_info<Json::Exceptions::ParseError_>(error);
        const auto* errorPosition = boost::get_error_info<Json::Exceptions::ErrorPosition_>(error);
        ASSERT_NE(parseError, nullptr);
        ASSERT_NE(errorPosition, nullptr);
        EXPECT_EQ(*parseError, code) << text;
        EXPECT_EQ(*errorPosition, position) << text;
    }
}

TEST(JsonDocument, ReadsTheWholeInputInChunks)
{
    std::string text = "[";
    for (int i = 0; i < 20000; ++i)
        text += (i ? ",\"" : "\"") + std::to_string(i) + "\"";
    text += "]";
    ASSERT_GT(text.size(), 3 * 16384u);
    std::size_t calls = 0;
    Json::Document document(pieces(text, 1000, calls));
    ASSERT_TRUE(document.root().IsArray());
    ASSERT_EQ(document.root().Size(), 20000u);
    EXPECT_STREQ(document.root()[19999].GetString(), "19999");
    EXPECT_GT(calls, 3u);
}

TEST(JsonDocument, EmptyTextIsAnEmptyObjectAndBlanksMayFollowTheValue)
{
    std::size_t calls = 0;
    Json::Document empty(pieces("", 10, calls));
    ASSERT_TRUE(empty.root().IsObject());
    EXPECT_EQ(empty.root().MemberCount(), 0u);

    Json::Document blanks(std::string("{\"a\":1} \t\r\n"));
    EXPECT_EQ(blanks.root()["a"].GetInt(), 1);
}

TEST(JsonDocument, MalformedUtf8IsRejectedBeforeParsing)
{
    EXPECT_THROW(Json::Document(std::string("{\"a\":\"\xC3\x28\"}")), String::Exceptions::InvalidUtf8String);
    EXPECT_THROW(Json::Document(std::string("\xFF")), String::Exceptions::InvalidUtf8String);
    try {
        Json::Document(std::string("{\"a\":\"\xE2\x82"));
        ADD_FAILURE() << "a cut-off sequence accepted";
    } catch (const String::Exceptions::InvalidUtf8String& e) {
        EXPECT_EQ(*boost::get_error_info<String::Exceptions::ErrorPosition_>(e), 6u);
    }
}

TEST(JsonDocument, MalformedJsonReportsCodeAndOffset)
{
    expectInvalidJson("{\"a\":1,}", rapidjson::kParseErrorObjectMissName, 7);
    expectInvalidJson("{} x", rapidjson::kParseErrorDocumentRootNotSingular, 3);
    expectInvalidJson("// c\n{}", rapidjson::kParseErrorValueInvalid, 0);
    expectInvalidJson("[1,2", rapidjson::kParseErrorArrayMissCommaOrSquareBracket, 4);
    expectInvalidJson("   ", rapidjson::kParseErrorDocumentEmpty, 3);
}

TEST(JsonDocument, ZeroBytesAreInvalidEvenAfterAValue)
{
    expectInvalidJson(std::string("{}\0{", 4), rapidjson::kParseErrorDocumentRootNotSingular, 2);
    EXPECT_THROW(Json::Document(std::string("{\"a\":\"x\0y\"}", 11)), Json::Exceptions::InvalidJson);
}

} // namespace

TEST(JsonDocument, EscapedLoneLowSurrogateIsRejectedWhereverTheStringStands)
{
    expectInvalidJson(R"({"a":"x\udc00"})", rapidjson::kParseErrorStringUnicodeSurrogateInvalid, 6);
    expectInvalidJson(R"([1,{"\ude47":2}])", rapidjson::kParseErrorStringUnicodeSurrogateInvalid, 5);
    const Json::Document pair(R"(["\ud83d\ude00"])");
    EXPECT_STREQ(pair.root()[0].GetString(), "\xF0\x9F\x98\x80");
}

TEST(JsonDocument, DeepNestingLoadsWithoutExhaustingTheStack)
{
    const std::size_t depth = 200000;
    const Json::Document nested(std::string(depth, '[') + std::string(depth, ']'));
    EXPECT_TRUE(nested.root().IsArray());
    expectInvalidJson(std::string(depth, '['), rapidjson::kParseErrorValueInvalid, static_cast<unsigned int>(depth));
}
