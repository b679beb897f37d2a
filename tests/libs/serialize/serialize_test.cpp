#include "libs/serialize/enum.hpp"
#include "libs/serialize/exceptions.hpp"
#include "libs/serialize/labeled.hpp"
#include "libs/serialize/labels.hpp"
#include "libs/serialize/unlabeled.hpp"

#include "libs/json/jsontesting.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

namespace {

using JsonTesting::expectKeyed;
using JsonTesting::fromJson;
using JsonTesting::toJson;

struct Thing {
    std::int32_t size = 0;
    std::string name = "fresh";
};

void readJson(Json::Reader& reader, Thing& value)
{
    if (reader.isNull())
        return;
    reader.loadNode(value.size, "size");
    reader.loadNode(value.name, "name", std::string());
}

void writeJson(Json::Writer& writer, const Thing& value)
{
    writer.chain()(value.size, "size")(value.name, "name");
}

const Serialize::Labels& referenceLabels()
{
    static const Serialize::Labels labels{"id", "thing"};
    return labels;
}
const Serialize::Labels& shortLabels()
{
    static const Serialize::Labels labels{"id"};
    return labels;
}

using Reference = Serialize::Labeled<&referenceLabels, std::uint32_t, std::shared_ptr<const Thing>>;
using ShortReference = Serialize::Labeled<&shortLabels, std::uint32_t, std::string>;

enum Colour { Red = 0, Green = 1, Blue = 2 };
const Serialize::Enum::Table<Colour>& colours()
{
    static const Serialize::Enum::Table<Colour> table("Colour", {{Red, "<red>"}, {Green, "<green>"}});
    return table;
}
void readJson(Json::Reader& reader, Colour& value)
{
    Serialize::Enum::load(reader, value, colours());
}
void writeJson(Json::Writer& writer, Colour value)
{
    Serialize::Enum::save(writer, value, colours());
}

using ColourOrText = Serialize::Unlabeled<Colour, std::string>;

struct Pair {
    Reference first;
    Reference second;
};

void readJson(Json::Reader& reader, Pair& value)
{
    reader.loadNode(value.first, "first");
    reader.loadNode(value.second, "second");
}

void writeJson(Json::Writer& writer, const Pair& value)
{
    writer.chain()(value.first, "first")(value.second, "second");
}

TEST(SerializeLabels, IndexBeyondTheTableIsMissingLabel)
{
    EXPECT_EQ(referenceLabels().get(1), "thing");
    try {
        referenceLabels().get(2);
        ADD_FAILURE();
    } catch (const Serialize::Exceptions::MissingLabel& error) {
        ASSERT_NE(boost::get_error_info<Serialize::Exceptions::At_>(error), nullptr);
        EXPECT_EQ(*boost::get_error_info<Serialize::Exceptions::At_>(error), 2u);
    }
    EXPECT_THROW(toJson(ShortReference(std::string("x"))), Serialize::Exceptions::MissingLabel);
}

TEST(SerializeLabeled, ReadsTheFirstMemberByItsLabel)
{
    const Reference byId = fromJson<Reference>(R"({"id":42,"thing":{"size":1}})");
    ASSERT_EQ(byId.which(), 0);
    EXPECT_EQ(boost::get<std::uint32_t>(byId), 42u);
    const Reference nullId = fromJson<Reference>(R"({"id":null})");
    EXPECT_EQ(boost::get<std::uint32_t>(nullId), 0u);
    const Reference byThing = fromJson<Reference>(R"({"thing":{"size":3,"name":"n"},"id":1})");
    ASSERT_EQ(byThing.which(), 1);
    EXPECT_EQ(boost::get<std::shared_ptr<const Thing>>(byThing)->size, 3);
    EXPECT_EQ(boost::get<std::shared_ptr<const Thing>>(byThing)->name, "n");
    const Reference nullThing = fromJson<Reference>(R"({"thing":null})");
    EXPECT_EQ(boost::get<std::shared_ptr<const Thing>>(nullThing)->name, "fresh");

    Reference unchanged = 5u;
    Json::Reader reader(std::string(R"({"r":null})"));
    reader.loadNode(unchanged, "r");
    EXPECT_EQ(boost::get<std::uint32_t>(unchanged), 5u);
    expectKeyed<Json::Exceptions::MissingKey>([&] { reader.loadNode(unchanged, "s"); }, "s");
}

TEST(SerializeLabeled, RejectsUnknownLabelsEmptyObjectsAndNonObjects)
{
    auto expectInvalidLabel = [](const std::string& json, const std::string& label) {
        try {
            fromJson<std::map<unsigned int, Pair>>(R"({"4":{"first":{"id":1},"second":)" + json + "}}");
            ADD_FAILURE() << json;
        } catch (const Json::Exceptions::InvalidLabel& error) {
            ASSERT_NE(boost::get_error_info<Json::Exceptions::Label_>(error), nullptr);
            EXPECT_EQ(*boost::get_error_info<Json::Exceptions::Label_>(error), label);
            EXPECT_EQ(*boost::get_error_info<Json::Exceptions::Key_>(error), "4.second");
        }
    };
    expectInvalidLabel(R"({"Thing":{}})", "Thing");
    expectInvalidLabel(R"({"ids":1})", "ids");
    expectInvalidLabel("{}", "");
    expectKeyed<Json::Exceptions::ObjectExpected>(
        [] { fromJson<std::map<unsigned int, Pair>>(R"({"4":{"first":[],"second":{"id":1}}})"); }, "4.first");
    expectKeyed<Json::Exceptions::Int32Expected>(
        [] { fromJson<std::map<unsigned int, Pair>>(R"({"4":{"first":{"thing":{"size":"x"}},"second":{"id":1}}})"); },
        "4.first.thing.size");
}

TEST(SerializeLabeled, WritesOneMemberNamedByTheLabel)
{
    EXPECT_EQ(toJson(Reference(7u)), R"({"id":7})");
    EXPECT_EQ(toJson(Reference(std::make_shared<const Thing>())), R"({"thing":{"size":0,"name":"fresh"}})");
    EXPECT_EQ(toJson(Reference(std::shared_ptr<const Thing>())), R"({"thing":null})");
}

TEST(SerializeEnum, TextsCompareExactly)
{
    EXPECT_EQ(fromJson<Colour>("\"<green>\""), Green);
    EXPECT_EQ(toJson(Red), "\"<red>\"");
    try {
        fromJson<Colour>("\"<GREEN>\"");
        ADD_FAILURE();
    } catch (const Serialize::Enum::Exceptions::InvalidEnumString& error) {
        EXPECT_EQ(*boost::get_error_info<Serialize::Enum::Exceptions::Name_>(error), "Colour");
        EXPECT_EQ(*boost::get_error_info<Serialize::Enum::Exceptions::String_>(error), "<GREEN>");
    }
    EXPECT_THROW(fromJson<Colour>("1"), Json::Exceptions::StringExpected);
    try {
        toJson(Blue);
        ADD_FAILURE();
    } catch (const Serialize::Enum::Exceptions::InvalidEnumValue& error) {
        EXPECT_EQ(*boost::get_error_info<Serialize::Enum::Exceptions::Name_>(error), "Colour");
    }
}

TEST(SerializeUnlabeled, TriesTheAlternativesInOrder)
{
    EXPECT_EQ(fromJson<ColourOrText>("\"<green>\""), ColourOrText(Green));
    EXPECT_EQ(fromJson<ColourOrText>("\"<GREEN>\""), ColourOrText(std::string("<GREEN>")));
    EXPECT_EQ(fromJson<ColourOrText>("\"\""), ColourOrText(std::string()));
    for (const char* bad : {"1", "true", "[]", "{}"})
        expectKeyed<Json::Exceptions::BadVariant>(
            [&] { fromJson<std::map<unsigned int, ColourOrText>>(std::string(R"({"3":)") + bad + "}"); }, "3");
    ColourOrText unchanged = std::string("kept");
    Json::Reader reader(std::string("null"));
    reader.load(unchanged);
    EXPECT_EQ(unchanged, ColourOrText(std::string("kept")));

    EXPECT_EQ(toJson(ColourOrText(Red)), "\"<red>\"");
    const std::string written = toJson(ColourOrText(std::string("<red>")));
    EXPECT_EQ(written, "\"<red>\"");
    EXPECT_EQ(fromJson<ColourOrText>(written), ColourOrText(Red));
}

TEST(SerializeShared, WithoutAnchorsEveryOccurrenceIsWrittenAndReadInFull)
{
    auto thing = std::make_shared<const Thing>(Thing{9, "t"});
    Pair pair{thing, thing};
    const std::string text = toJson(pair);
    EXPECT_EQ(text, R"({"first":{"thing":{"size":9,"name":"t"}},"second":{"thing":{"size":9,"name":"t"}}})");
    const Pair read = fromJson<Pair>(text);
    const auto& first = boost::get<std::shared_ptr<const Thing>>(read.first);
    const auto& second = boost::get<std::shared_ptr<const Thing>>(read.second);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->size, 9);
    EXPECT_EQ(second->name, "t");
}

TEST(SerializeShared, WithAnchorsAnObjectIsWrittenOnceAndReadBackShared)
{
    auto thing = std::make_shared<const Thing>(Thing{9, "t"});
    std::map<unsigned int, Pair> pairs{{1, Pair{thing, 3u}}, {2, Pair{thing, thing}}};
    Json::Writer::Options writeAnchors;
    writeAnchors.anchors = true;
    const std::string text = toJson(pairs, writeAnchors);
    EXPECT_EQ(text, R"({"1":{"first":{"thing":{"1.first.thing":{"size":9,"name":"t"}}},"second":{"id":3}},)"
                    R"("2":{"first":{"thing":"1.first.thing"},"second":{"thing":"1.first.thing"}}})");

    Json::Reader::Options readAnchors;
    readAnchors.anchors = true;
    const auto read = fromJson<std::map<unsigned int, Pair>>(text, readAnchors);
    const auto& defined = boost::get<std::shared_ptr<const Thing>>(read.at(1).first);
    EXPECT_EQ(defined->size, 9);
    EXPECT_EQ(boost::get<std::shared_ptr<const Thing>>(read.at(2).first), defined);
    EXPECT_EQ(boost::get<std::shared_ptr<const Thing>>(read.at(2).second), defined);
    EXPECT_EQ(toJson(read, writeAnchors), text);
}

TEST(SerializeShared, AnchorFailures)
{
    Json::Reader::Options anchors;
    anchors.anchors = true;
    try {
        fromJson<Pair>(R"({"first":{"thing":"later"},"second":{"thing":{"later":{"size":1}}}})", anchors);
        ADD_FAILURE();
    } catch (const Json::Exceptions::BadAnchor& error) {
        EXPECT_EQ(*boost::get_error_info<Json::Exceptions::Anchor_>(error), "later");
        EXPECT_EQ(*boost::get_error_info<Json::Exceptions::Key_>(error), "first.thing");
    }
    expectKeyed<Json::Exceptions::InvalidLabel>(
        [&] { fromJson<Pair>(R"({"first":{"thing":{}},"second":{"id":1}})", anchors); }, "first.thing");
    expectKeyed<Json::Exceptions::ObjectExpected>(
        [&] { fromJson<Pair>(R"({"first":{"thing":5},"second":{"id":1}})", anchors); }, "first.thing");
    // A later definition under the same name replaces the earlier one.
    const Pair redefined = fromJson<Pair>(
        R"({"first":{"thing":{"a":{"size":1}}},"second":{"thing":{"a":{"size":2}}}})", anchors);
    EXPECT_EQ(boost::get<std::shared_ptr<const Thing>>(redefined.second)->size, 2);
}

} // namespace
