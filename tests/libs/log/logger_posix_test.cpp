// The log's lines checked against a header layout rebuilt with the POSIX calls (gmtime_r,
// localtime_r with tm_gmtoff, gettid) in a POSIX time zone, and a log on a full device.

#include "libs/log/logger.hpp"

#include "libs/config/logsettings/logsettings.hpp"
#include "libs/log/logtestsupport.hpp"
#include "libs/log/timezone.hpp"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

using LogTest::logInfo;
using LogTest::TempFolder;

// The header layout rebuilt independently for one second.
std::string expectedHeader(std::time_t when, bool localTime, const char* level,
                           const char* name) {
    std::tm fields{};
    std::string offset;
    if (localTime) {
        localtime_r(&when, &fields);
        const long hours = fields.tm_gmtoff / 3600;
        offset = (hours >= 0 ? "+" : "") + std::to_string(hours);
    } else {
        gmtime_r(&when, &fields);
    }
    char text[160];
    std::snprintf(text, sizeof text, "[%2d.%02d.%04d %02d:%02d:%02d%s] [%7s] [%8s] (%5ld) ",
                  fields.tm_mday, fields.tm_mon + 1, fields.tm_year + 1900, fields.tm_hour,
                  fields.tm_min, fields.tm_sec, offset.c_str(), level, name,
                  static_cast<long>(syscall(SYS_gettid)));
    return text;
}

// True when `text` is `lines` under a header of one of the seconds from `first` to `last`.
bool matchesSomeSecond(const std::string& text, std::time_t first, std::time_t last,
                       bool localTime, const char* level, const char* name,
                       const std::vector<std::string>& lines) {
    for (std::time_t when = first; when <= last; ++when) {
        std::string expected;
        for (const std::string& line : lines) {
            expected += expectedHeader(when, localTime, level, name) + line + "\r\n";
        }
        if (text == expected) {
            return true;
        }
    }
    return false;
}

struct StartedLog {
    StartedLog(const Config::SettingMap& settings, const std::string& directory) {
        Log::start(settings, "migrator", "", "migrator.log", directory, Log::Normal, Log::Info,
                   true, false);
    }
    LogTest::MainLoggerGuard guard;
};

} // namespace

TEST(Logger, EveryNonEmptyLineGetsTheHeaderAndEmptyTextsWriteNothing) {
    TempFolder folder;
    Log::Logger logger;
    logger.setName("lines");
    logger.setLocalTime(false);
    logger.setFile("sub/dir/t.log", folder.path());

    logInfo(logger, "");
    logInfo(logger, "\n\n\n");
    EXPECT_FALSE(LogTest::exists(folder / "sub")) << "nothing may be opened for an empty text";

    const std::time_t before = std::time(nullptr);
    logInfo(logger, "first\n\nsecond\n");
    logInfo(logger, "dos\r\nline");
    const std::time_t after = std::time(nullptr);
    const std::string text = LogTest::readFile(folder / "sub/dir/t.log");
    const std::string firstMessage = text.substr(0, text.find("second\r\n") + 8);
    EXPECT_TRUE(matchesSomeSecond(firstMessage, before, after, false, "info", "lines",
                                  {"first", "second"}))
        << text;
    EXPECT_TRUE(matchesSomeSecond(text.substr(firstMessage.size()), before, after, false, "info",
                                  "lines", {"dos\r", "line"}))
        << text;
}

TEST(Logger, WriteFailuresAreSwallowed) {
    Log::Logger logger;
    logger.setFile("/dev/full", "");
    ASSERT_EQ(logger.output(), Log::Output::File);
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(logInfo(logger, std::string(100000, 'x')));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "an opened file is not replaced";
}

TEST(LogStart, WritesTheLayoutToTheLogFileInLocalTime) {
    LogTest::TimeZone zone("<+01>-1");
    TempFolder folder;
    const std::string directory = folder / "data/log";
    StartedLog started(Config::SettingMap(), directory);
    const std::time_t before = std::time(nullptr);
    Log::mainLogger().write(Log::Info, Log::Normal, "Migrating settings.json...");
    Log::mainLogger().write(Log::Error, Log::Silent, "Migration failed: x");
    const std::time_t after = std::time(nullptr);
    const std::string text = LogTest::readFile(directory + "/migrator.log");
    const auto split = text.find("\r\n") + 2;
    EXPECT_TRUE(matchesSomeSecond(text.substr(0, split), before, after, true, "info", "migrator",
                                  {"Migrating settings.json..."}))
        << text;
    EXPECT_TRUE(matchesSomeSecond(text.substr(split), before, after, true, "ERROR", "migrator",
                                  {"Migration failed: x"}))
        << text;
}

TEST(LogStart, WritesUtcWhenLocalTimeIsOff) {
    LogTest::TimeZone zone("<+01>-1");
    TempFolder folder;
    Config::SettingMap settings;
    settings.set("migrator.loglocaltime", "off");
    StartedLog started(settings, folder.path());
    const std::time_t before = std::time(nullptr);
    Log::mainLogger().write(Log::Warn, Log::Summary, "careful");
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(matchesSomeSecond(LogTest::readFile(folder / "migrator.log"), before, after, false,
                                  "Warning", "migrator", {"careful"}));
}
