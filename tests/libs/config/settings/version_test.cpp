#include "libs/config/settings/version.hpp"

#include "libs/config/settings/exceptions.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

namespace {

namespace Ex = Config::Exceptions;

Config::SettingMap withVersion(const char* text)
{
    Config::SettingMap settings;
    settings.set("Data.Version", text);
    return settings;
}

TEST(ConfigVersion, ReadingAcceptsOnlyAnUnsignedNumber)
{
    EXPECT_EQ(Config::currentConfigVersion, 13u);

    unsigned version = 5;
    EXPECT_TRUE(Config::tryReadConfigVersion(withVersion("12"), version));
    EXPECT_EQ(version, 12u);
    EXPECT_EQ(Config::readConfigVersion(withVersion("013")), 13u);

    for (const char* text : {"abc", "-13", "", " 13", "13 ", "4294967296", "13.0"}) {
        version = 5;
        EXPECT_FALSE(Config::tryReadConfigVersion(withVersion(text), version)) << text;
        EXPECT_EQ(version, 5u) << text;
        EXPECT_THROW(Config::readConfigVersion(withVersion(text)), Ex::VersionNotFound) << text;
        EXPECT_THROW(Config::checkConfigVersion(withVersion(text), 13), Ex::VersionNotFound) << text;
    }
    EXPECT_FALSE(Config::tryReadConfigVersion(Config::SettingMap(), version));
    EXPECT_THROW(Config::readConfigVersion(Config::SettingMap()), Ex::VersionNotFound);
    EXPECT_THROW(Config::checkConfigVersion(Config::SettingMap(), 13), Ex::VersionNotFound);
}

TEST(ConfigVersion, CheckReportsFoundAndExpectedVersions)
{
    EXPECT_NO_THROW(Config::checkConfigVersion(withVersion("13"), Config::currentConfigVersion));
    for (const char* text : {"12", "14", "0"}) {
        try {
            Config::checkConfigVersion(withVersion(text), Config::currentConfigVersion);
            ADD_FAILURE() << text << " accepted";
        }
        catch (const Ex::BadVersion& e) {
            ASSERT_NE(boost::get_error_info<Ex::Version_>(e), nullptr);
            EXPECT_EQ(*boost::get_error_info<Ex::Version_>(e), std::stol(text));
            ASSERT_NE(boost::get_error_info<Ex::ExpectedVersion_>(e), nullptr);
            EXPECT_EQ(*boost::get_error_info<Ex::ExpectedVersion_>(e), 13);
        }
    }
    EXPECT_NO_THROW(Config::checkConfigVersion(withVersion("12"), 12));
}

} // namespace
