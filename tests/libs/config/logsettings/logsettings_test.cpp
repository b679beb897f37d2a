#include "libs/config/logsettings/logsettings.hpp"

#include "libs/log/logtestsupport.hpp"
#include "support/platform.hpp"

#include <gtest/gtest.h>

namespace {

Config::SettingMap mapOf(std::initializer_list<std::pair<std::string, std::string>> entries) {
    Config::SettingMap settings;
    for (const auto& [key, value] : entries) {
        settings.set(key, value);
    }
    return settings;
}

void startMigratorLog(const Config::SettingMap& settings, const std::string& directory) {
    Log::start(settings, "migrator", "", "migrator.log", directory, Log::Normal, Log::Info, true,
               false);
}

} // namespace

TEST(ReadSettings, ReadsTheFiveKeyWordsUnderThePrefix) {
    const Log::Settings read = Log::readSettings(mapOf({{"Migrator.LogFile", "m.log"},
                                                        {"migrator.loglevel", "WARN"},
                                                        {"migrator.logverbosity", "Debug"},
                                                        {"migrator.loglocaltime", "off"},
                                                        {"migrator.logperformance", "YES"},
                                                        {"other.loglevel", "error"}}),
                                                 "migrator");
    EXPECT_EQ(read.fileName, "m.log");
    EXPECT_EQ(read.level, Log::Warn);
    EXPECT_EQ(read.verbosity, Log::Debug);
    EXPECT_EQ(read.localTime, false);
    EXPECT_EQ(read.performance, true);

    const Log::Settings bare = Log::readSettings(mapOf({{"loglevel", "error"}}), "");
    EXPECT_EQ(bare.level, Log::Error);
    EXPECT_TRUE(bare.fileName.empty());
}

TEST(ReadSettings, UnknownNamesAndWordsStayAbsent) {
    const Log::Settings read = Log::readSettings(mapOf({{"migrator.loglevel", "2"},
                                                        {"migrator.logverbosity", "loud"},
                                                        {"migrator.loglocaltime", "maybe"},
                                                        {"migrator.logperformance", ""}}),
                                                 "migrator");
    EXPECT_FALSE(read.level);
    EXPECT_FALSE(read.verbosity);
    EXPECT_FALSE(read.localTime);
    EXPECT_FALSE(read.performance);
    EXPECT_FALSE(Log::readSettings(Config::SettingMap(), "migrator").level);
}

TEST(ReadSettings, PlainFileNamesGoToThePrefixLogDirectory) {
    EXPECT_EQ(Log::readSettings(mapOf({{"migrator.logfile", "other.log"}, {"prefix.log", "/var/q"}}),
                                "migrator")
                  .fileName,
              TestSupport::joinPath("/var/q", "other.log"));
    EXPECT_EQ(Log::readSettings(mapOf({{"migrator.logfile", "sub/other.log"},
                                       {"prefix.log", "/var/q"}}),
                                "migrator")
                  .fileName,
              "sub/other.log");
    EXPECT_EQ(Log::readSettings(mapOf({{"migrator.logfile", "other.log"}}), "migrator").fileName,
              "other.log");
    for (const char* stream : {"nul", "stderr", "stdout", "con"}) {
        EXPECT_EQ(Log::readSettings(mapOf({{"migrator.logfile", stream}, {"prefix.log", "/var/q"}}),
                                    "migrator")
                      .fileName,
                  stream);
    }
}

TEST(LogStart, SettingsOverrideTheArguments) {
    LogTest::MainLoggerGuard guard;
    LogTest::TempFolder folder;
    startMigratorLog(mapOf({{"migrator.loglevel", "warn"}, {"migrator.logverbosity", "debug"}}),
                     folder / "log");
    const Log::Logger& logger = Log::mainLogger();
    EXPECT_EQ(logger.name(), "migrator");
    EXPECT_EQ(logger.level(), Log::Warn);
    EXPECT_EQ(logger.verbosity(), Log::Debug);
    EXPECT_EQ(logger.output(), Log::Output::File);
    EXPECT_EQ(logger.path(), folder / "log/migrator.log");

    logger.write(Log::Info, Log::Normal, "Migrating studies...");
    logger.write(Log::Error, Log::Silent, "Migration failed: reason");
    const std::string text = LogTest::readFile(folder / "log/migrator.log");
    EXPECT_EQ(text.find("Migrating studies"), std::string::npos);
    EXPECT_NE(text.find("Migration failed: reason\r\n"), std::string::npos);
}

TEST(LogStart, LogFileSettingSelectsTheDestination) {
    LogTest::MainLoggerGuard guard;
    LogTest::TempFolder folder;
    startMigratorLog(mapOf({{"migrator.logfile", "Stdout"}}), folder.path());
    EXPECT_EQ(Log::mainLogger().path(), folder / "Stdout");
    EXPECT_EQ(Log::mainLogger().output(), Log::Output::File);

    startMigratorLog(mapOf({{"migrator.logfile", "other.log"}, {"prefix.log", folder / "p"}}),
                     folder / "log");
    Log::mainLogger().write(Log::Info, Log::Normal, "elsewhere");
    EXPECT_NE(LogTest::readFile(folder / "p/other.log").find("elsewhere"), std::string::npos);

    startMigratorLog(mapOf({{"migrator.logfile", "nul"}}), folder / "log");
    EXPECT_EQ(Log::mainLogger().output(), Log::Output::None);
    Log::mainLogger().write(Log::Error, Log::Silent, "dropped");
    EXPECT_FALSE(LogTest::exists(folder / "log"));
}

TEST(LogStart, ConfiguresTheChannelsFromTheirOwnPrefixes) {
    LogTest::MainLoggerGuard guard;
    LogTest::TempFolder folder;
    std::vector<std::string> prefixes;
    for (const Log::Channel* channel : Log::Channel::all()) {
        prefixes.push_back(channel->prefix());
    }
    ASSERT_GE(prefixes.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(prefixes.begin(), prefixes.begin() + 3),
              (std::vector<std::string>{"db", "thread", "registry"}));

    startMigratorLog(mapOf({{"migrator.loglevel", "warn"}, {"db.loglevel", "error"},
                            {"registry.logfile", "registry.log"}}),
                     folder.path());
    EXPECT_EQ(Log::dbLogger().name(), "db");
    EXPECT_EQ(Log::dbLogger().level(), Log::Error);
    EXPECT_EQ(Log::dbLogger().path(), folder / "migrator.log");
    EXPECT_EQ(Log::threadLogger().name(), "thread");
    EXPECT_EQ(Log::threadLogger().level(), Log::Warn);
    EXPECT_EQ(Log::registryLogger().path(), folder / "registry.log");
}

TEST(LogStart, ChannelsApplyParentsThenFixedValuesThenTheirOwn) {
    LogTest::MainLoggerGuard guard;
    LogTest::TempFolder folder;
    Log::Logger own;
    Log::Channel::Fixed fixed;
    fixed.verbosity = Log::Details;
    const Log::Channel channel(own, "child", "kid", true, "base,extra", fixed);
    EXPECT_EQ(own.name(), "child");
    startMigratorLog(mapOf({{"base.loglevel", "error"}, {"base.logverbosity", "silent"},
                            {"extra.logfile", "extra.log"}, {"kid.loglocaltime", "no"}}),
                     folder.path());
    EXPECT_EQ(own.name(), "child");
    EXPECT_EQ(own.level(), Log::Error);
    EXPECT_EQ(own.verbosity(), Log::Details);
    EXPECT_EQ(own.path(), folder / "extra.log");
    EXPECT_FALSE(own.localTime());

    Log::Logger alone;
    Log::Channel::Fixed all;
    all.fileName = "alone.log";
    all.verbosity = Log::Summary;
    all.level = Log::Warn;
    all.localTime = true;
    all.performance = false;
    const Log::Channel fixedChannel(alone, "alone", "", true, "base", all);
    startMigratorLog(mapOf({{"base.loglevel", "error"}}), folder.path());
    EXPECT_EQ(alone.level(), Log::Warn) << "fully fixed channels neither inherit nor read parents";
    EXPECT_EQ(alone.path(), folder / "alone.log");
}
