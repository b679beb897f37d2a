#include "libs/json/reader.hpp"

#include "libs/json/jsontesting.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/optional/optional_io.hpp>

namespace {

using JsonTesting::expectKeyed;
using JsonTesting::fromJson;

struct Point {
    std::int32_t x = -1;
    std::int32_t y = -1;
};

void readJson(Json::Reader& reader, Point& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.x, "x");
    reader.loadNode(value.y, "y", 7);
}

TEST(JsonReader, PathFollowsTheEnteredMembersAndSkipsElements)
{
    Json::Reader reader(std::string(R"({"a":{"b":[{"c":1}]}})"));
    EXPECT_EQ(reader.path(), "");
    std::vector<std::string> seen;
    reader.enterMember("a", [&] {
        reader.enterMember("b", [&] {
            reader.forEachElement([&] {
                reader.enterMember("c", [&] { seen.push_back(reader.path()); });
                EXPECT_FALSE(reader.enterMember("d", [] { ADD_FAILURE(); }));
            });
        });
    });
    EXPECT_EQ(seen, std::vector<std::string>{"a.b.c"});
    EXPECT_EQ(reader.path(), "");
}

TEST(JsonReader, TheNodeStackIsUnwoundWhenAReadFails)
{
    Json::Reader reader(std::string(R"({"a":{"b":"text"}})"));
    EXPECT_THROW(reader.enterMember("a", [&] { reader.enterMember("b", [&] { reader.readInt32(); }); }),
                 Json::Exceptions::Int32Expected);
    EXPECT_EQ(reader.path(), "");
    EXPECT_TRUE(reader.current().IsObject());
}

TEST(JsonReader, MembersMatchByteForByteAndTheFirstOfTwoWins)
{
    Json::Reader reader(std::string(R"({"Key":1,"key":2,"key":3})"));
    std::int32_t value = 0;
    reader.loadNode(value, "key");
    EXPECT_EQ(value, 2);
    expectKeyed<Json::Exceptions::MissingKey>([&] { reader.loadNode(value, "KEY"); }, "KEY");
}

TEST(JsonReader, TypedValuesAcceptTheirRangeAndReportThePathOtherwise)
{
    auto read = [](const std::string& json, auto&& operation) {
        Json::Reader reader("{\"v\":" + json + "}");
        return reader.enterMember("v", [&] { operation(reader); });
    };
    bool flag = false;
    read("true", [&](Json::Reader& r) { flag = r.readBool(); });
    EXPECT_TRUE(flag);
    read("0", [&](Json::Reader& r) { flag = r.readBool(); });
    EXPECT_FALSE(flag);
    read("1", [&](Json::Reader& r) { flag = r.readBool(); });
    EXPECT_TRUE(flag);
    for (const char* bad : {"2", "-1", "\"true\"", "null", "1.0"})
        expectKeyed<Json::Exceptions::BoolExpected>([&] { read(bad, [](Json::Reader& r) { r.readBool(); }); }, "v");

    std::int32_t signedValue = 0;
    read("-2147483648", [&](Json::Reader& r) { signedValue = r.readInt32(); });
    EXPECT_EQ(signedValue, INT32_MIN);
    read("2147483647", [&](Json::Reader& r) { signedValue = r.readInt32(); });
    EXPECT_EQ(signedValue, INT32_MAX);
    for (const char* bad : {"2147483648", "-2147483649", "1.5", "\"1\"", "true"})
        expectKeyed<Json::Exceptions::Int32Expected>([&] { read(bad, [](Json::Reader& r) { r.readInt32(); }); }, "v");

    std::uint32_t unsignedValue = 0;
    read("4294967295", [&](Json::Reader& r) { unsignedValue = r.readUint32(); });
    EXPECT_EQ(unsignedValue, UINT32_MAX);
    for (const char* bad : {"4294967296", "-1", "2.0", "\"1\""})
        expectKeyed<Json::Exceptions::Uint32Expected>([&] { read(bad, [](Json::Reader& r) { r.readUint32(); }); }, "v");

    std::uint8_t byte = 0;
    read("255", [&](Json::Reader& r) { byte = r.readUint8(); });
    EXPECT_EQ(byte, 255);
    for (const char* bad : {"-1", "\"1\"", "1.5"})
        expectKeyed<Json::Exceptions::Uint8Expected>([&] { read(bad, [](Json::Reader& r) { r.readUint8(); }); }, "v");
    try {
        read("256", [](Json::Reader& r) { r.readUint8(); });
        ADD_FAILURE();
    } catch (const Json::Exceptions::Uint8OutOfRange& error) {
        ASSERT_NE(boost::get_error_info<Json::Exceptions::UintValue_>(error), nullptr);
        EXPECT_EQ(*boost::get_error_info<Json::Exceptions::UintValue_>(error), 256u);
        EXPECT_EQ(*boost::get_error_info<Json::Exceptions::Key_>(error), "v");
    }

    std::string text;
    read(R"("a\u0000b")", [&](Json::Reader& r) { text = r.readString(); });
    EXPECT_EQ(text, std::string("a\0b", 3));
    expectKeyed<Json::Exceptions::StringExpected>([&] { read("5", [](Json::Reader& r) { r.readString(); }); }, "v");
}

TEST(JsonReader, RequiredMembers)
{
    Point point = fromJson<Point>(R"({"x":3})");
    EXPECT_EQ(point.x, 3);
    EXPECT_EQ(point.y, 7);
    EXPECT_EQ(fromJson<Point>(R"({"x":null,"y":null})").x, 0);
    EXPECT_EQ(fromJson<Point>(R"({"x":null,"y":null})").y, 7);
    expectKeyed<Json::Exceptions::MissingKey>([] { fromJson<Point>(R"({"y":3})"); }, "x");
    expectKeyed<Json::Exceptions::MissingKey>([] { fromJson<Point>("5"); }, "x");
    // A null record is its default, whatever its required members.
    EXPECT_EQ(fromJson<Point>("null").x, -1);

    Json::Reader nullContainer(std::string(R"({"p":null})"));
    nullContainer.enterMember("p", [&] {
        std::int32_t value = 1;
        expectKeyed<Json::Exceptions::MissingKey>([&] { nullContainer.loadNode(value, "x"); }, "x");
    });

    Json::Reader deep(std::string(R"({"p":{"x":"one"}})"));
    Point nested;
    expectKeyed<Json::Exceptions::Int32Expected>([&] { deep.loadNode(nested, "p"); }, "p.x");
}

TEST(JsonReader, OptionalMembers)
{
    Json::Reader reader(std::string(R"({"a":5,"n":null})"));
    boost::optional<std::uint32_t> value = 9u;
    reader.loadNode(value, "absent");
    EXPECT_EQ(value, 9u);
    reader.loadNode(value, "a");
    EXPECT_EQ(value, 5u);
    reader.loadNode(value, "n");
    EXPECT_FALSE(value);

    std::uint32_t kept = 4;
    reader.loadIfPresent(kept, "absent");
    EXPECT_EQ(kept, 4u);
    reader.loadIfPresent(kept, "n");
    EXPECT_EQ(kept, 0u);
    reader.loadIfPresent(kept, "a");
    EXPECT_EQ(kept, 5u);

    std::uint32_t withDefault = 1;
    reader.loadNode(withDefault, "n", 8u);
    EXPECT_EQ(withDefault, 8u);
    reader.loadNode(withDefault, "absent", 9u);
    EXPECT_EQ(withDefault, 9u);
}

TEST(JsonReader, SetsAndByteVectors)
{
    Json::Reader reader(std::string(
        R"({"s":["b","a",null,"b"],"z":null,"t":[1,null,255],"o":[1,256],"w":[1,"x"]})"));
    std::set<std::string> strings;
    reader.loadNode(strings, "s");
    EXPECT_EQ(strings, (std::set<std::string>{"", "a", "b"}));

    std::set<std::string> untouched{"kept"};
    reader.loadNode(untouched, "absent");
    EXPECT_EQ(untouched, std::set<std::string>{"kept"});
    expectKeyed<Json::Exceptions::ArrayExpected>([&] { reader.loadNode(untouched, "z"); }, "z");

    std::vector<std::uint8_t> bytes;
    reader.loadNode(bytes, "t");
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 0, 255}));
    expectKeyed<Json::Exceptions::Uint8OutOfRange>([&] { reader.loadNode(bytes, "o"); }, "o");
    expectKeyed<Json::Exceptions::Uint8Expected>([&] { reader.loadNode(bytes, "w"); }, "w");
    expectKeyed<Json::Exceptions::ArrayExpected>([&] { reader.loadNode(bytes, "z"); }, "z");
    expectKeyed<Json::Exceptions::StringExpected>([&] { reader.loadNode(strings, "t"); }, "t");
}

TEST(JsonReader, MapsByUnsignedNumber)
{
    using Points = std::map<unsigned int, Point>;
    const Points points = fromJson<Points>(R"({"10":{"x":1},"2":null,"007":{"x":5},"7":{"x":6,"y":1}})");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points.at(10).x, 1);
    EXPECT_EQ(points.at(2).x, -1);
    EXPECT_EQ(points.at(7).x, 6);
    EXPECT_EQ(points.at(7).y, 1);
    for (const char* root : {"null", "[1,2]", "5", "\"x\"", "{}", ""})
        EXPECT_TRUE(fromJson<Points>(root).empty()) << root;
    for (const char* name : {"abc", "-1", "+1", " 1", "4294967296", ""})
        expectKeyed<Json::Exceptions::Uint32Expected>(
            [&] { fromJson<Points>("{\"1\":{\"x\":1},\"" + std::string(name) + "\":{\"x\":1}}"); }, name);
    expectKeyed<Json::Exceptions::MissingKey>([] { fromJson<Points>(R"({"1":{}})"); }, "x");

    Json::Reader nested(std::string(R"({"m":[1]})"));
    Points inner;
    expectKeyed<Json::Exceptions::ObjectExpected>([&] { nested.loadNode(inner, "m"); }, "m");
}

} // namespace
