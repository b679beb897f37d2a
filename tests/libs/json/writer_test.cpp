#include "libs/json/writer.hpp"

#include "libs/json/jsontesting.hpp"

#include <gtest/gtest.h>

namespace {

using JsonTesting::toJson;

struct Entry {
    std::string name;
    std::int32_t count = 0;
    boost::optional<std::uint32_t> limit;
    std::set<std::string> tags;
    std::vector<std::uint8_t> bytes;
    bool active = true;
};

void writeJson(Json::Writer& writer, const Entry& value)
{
    writer.chain()(value.name, "name")(value.count, "count", 0)(value.limit, "limit")(value.tags, "tags")(
        value.bytes, "bytes")(value.active, "active", true);
}

struct Holder {
    Entry entry;
    std::map<unsigned int, Entry> entries;
};

void writeJson(Json::Writer& writer, const Holder& value)
{
    writer.chain()(value.entry, "entry")(value.entries, "entries");
}

TEST(JsonWriter, ObjectsOpenOnTheirFirstMemberAndEmptyValuesAreNull)
{
    EXPECT_EQ(toJson(Holder()), R"({"entry":null})");
    Holder holder;
    holder.entry.limit = 0u;
    holder.entries[20].name = "b";
    holder.entries[3];
    holder.entries[100].active = false;
    EXPECT_EQ(toJson(holder), R"({"entry":{"limit":0},"entries":{"3":null,"20":{"name":"b"},"100":{"active":false}}})");
}

TEST(JsonWriter, MembersAreLeftOutWhenEmptyOrDefault)
{
    Entry entry;
    entry.name = "n";
    entry.count = -5;
    entry.limit = 4294967295u;
    entry.tags = {"z", "a"};
    entry.bytes = {0, 255};
    entry.active = false;
    EXPECT_EQ(toJson(entry), R"({"name":"n","count":-5,"limit":4294967295,"tags":["a","z"],"bytes":[0,255],"active":false})");
    EXPECT_EQ(toJson(Entry()), "");
    EXPECT_EQ(toJson(std::map<unsigned int, Entry>()), "");
}

TEST(JsonWriter, StringsAreEscapedAsRapidJsonDoes)
{
    const std::string text("q\" b\\ s/ \b\t\n\f\r \x01\x1f\x7f \xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(toJson(text), "\"q\\\" b\\\\ s/ \\b\\t\\n\\f\\r \\u0001\\u001F\x7f \xC3\xA9 \xF0\x9F\x98\x80\"");
    EXPECT_EQ(toJson(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

TEST(JsonWriter, OutputReachesTheWriteFunctionInPiecesWithTheLastFlagOnlyAtTheEnd)
{
    std::map<unsigned int, Entry> entries;
    for (unsigned int i = 0; i < 20000; ++i)
        entries[i].name = "entry number " + std::to_string(i);
    std::string expected;
    {
        Json::Writer writer(Streaming::appendToString(expected));
        writer.save(entries);
        writer.finish();
    }
    std::string collected;
    std::size_t pieces = 0;
    std::size_t lastFlags = 0;
    Json::Writer writer([&](const char* bytes, std::size_t count, bool last) {
        EXPECT_EQ(lastFlags, 0u) << "output after the last piece";
        collected.append(bytes, count);
        ++pieces;
        lastFlags += last ? 1 : 0;
    });
    writer.save(entries);
    EXPECT_GT(pieces, 1u);
    EXPECT_EQ(lastFlags, 0u);
    writer.finish();
    EXPECT_EQ(lastFlags, 1u);
    EXPECT_EQ(collected, expected);
    EXPECT_EQ(collected.rfind(R"({"0":{"name":"entry number 0"},"1":{)", 0), 0u);
    EXPECT_EQ(collected.back(), '}');
}

TEST(JsonWriter, PathAndCounterFollowTheScopes)
{
    std::string text;
    Json::Writer writer(Streaming::appendToString(text));
    std::vector<std::string> paths;
    writer.member("a", [&] {
        writer.member("b", [&] { paths.push_back(writer.path()); });
        paths.push_back(writer.path());
    });
    const std::uint64_t before = writer.written();
    writer.member("c", [] {});
    EXPECT_EQ(writer.written(), before + 2);
    writer.finish();
    EXPECT_EQ(paths, (std::vector<std::string>{"a.b", "a"}));
    EXPECT_EQ(text, R"({"a":{"b":null},"c":null})");
}

} // namespace
