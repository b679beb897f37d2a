#include "shared/institution/id.hpp"

#include "libs/config/settings/exceptions.hpp"
#include "libs/config/settings/settings.hpp"
#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

#include <set>
#include <string>

namespace {

namespace Ex = Config::Exceptions;
using Institution::Id;

std::string valueOf(const Config::SettingMap& settings, const std::string& key)
{
    std::string value;
    return settings.tryGet(key, value) ? value : "<missing>";
}

TEST(InstitutionIdConversions, SettingTextsAreStrictAndTheEmptyIdentifierIsNotWritten)
{
    Id id;
    convert("SK#12", id);
    EXPECT_EQ(id.toText(), "SK#12");
    for (const char* text : {"", "SK#12:5", "ABCDE#1", "SK#"}) {
        try {
            convert(text, id);
            ADD_FAILURE() << text << " accepted";
        }
        catch (const Ex::InvalidValue& e) {
            EXPECT_EQ(*boost::get_error_info<Ex::Value_>(e), text);
            EXPECT_EQ(*boost::get_error_info<Ex::ExpectedType_>(e), "Institution::Id");
        }
        EXPECT_EQ(id.toText(), "SK#12") << text;
    }

    Config::SettingMap settings;
    settings.set("id", "A#1");
    writeSetting(settings, "id", Id());
    EXPECT_EQ(valueOf(settings, "id"), "A#1");
    writeSetting(settings, "ID", id);
    EXPECT_EQ(valueOf(settings, "id"), "SK#12");
}

TEST(InstitutionIdConversions, JsonReadsTheOldFormAndWritesTheTextForm)
{
    Json::Reader reader(std::string(R"({"i":["SK#12:5","12",null,"ABCDE#1","SK#12"]})"));
    std::set<Id> ids;
    reader.loadNode(ids, "i");
    Id sk12;
    ASSERT_TRUE(sk12.fromText("SK#12"));
    EXPECT_EQ(ids, (std::set<Id>{Id(), Id(12), sk12}));

    std::string text;
    Json::Writer writer(Streaming::appendToString(text));
    writer.save(Id(12));
    writer.finish();
    EXPECT_EQ(text, "\"#12\"");
}

} // namespace
