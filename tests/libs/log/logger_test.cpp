#include "libs/log/logger.hpp"

#include "libs/config/logsettings/logsettings.hpp"
#include "libs/log/logtestsupport.hpp"
#include "libs/log/timezone.hpp"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

namespace {

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

void logInfo(const Log::Logger& logger, const std::string& text) {
    Log::Entry entry(Log::Normal, Log::Info);
    entry.stream() << text;
    logger.log(entry);
}

struct StartedLog {
    StartedLog(const Config::SettingMap& settings, const std::string& directory) {
        Log::start(settings, "migrator", "", "migrator.log", directory, Log::Normal, Log::Info,
                   true, false);
    }
    LogTest::MainLoggerGuard guard;
};

} // namespace

// Runs before any test changes the main logger.
TEST(MainLogger, StartsOnStandardOutputUnderTheNameMain) {
    const Log::Logger& logger = Log::mainLogger();
    EXPECT_EQ(&logger, &Log::mainLogger());
    EXPECT_EQ(logger.name(), "main");
    EXPECT_EQ(logger.output(), Log::Output::StdOut);
    EXPECT_EQ(logger.level(), Log::Info);
    EXPECT_EQ(logger.verbosity(), Log::Normal);
    EXPECT_TRUE(logger.localTime());
    EXPECT_FALSE(logger.performance());

    testing::internal::CaptureStdout();
    Log::mainLogger().write(Log::Info, Log::Normal, "before start-up");
    Log::mainLogger().write(Log::Info, Log::Debug, "suppressed");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[    main] ("), std::string::npos) << out;
    EXPECT_EQ(out.find("suppressed"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 17), "before start-up\r\n");
}

TEST(Logger, NewLoggerCopiesTheMainLogger) {
    LogTest::MainLoggerGuard guard;
    Log::mainLogger().setName("copied");
    Log::mainLogger().setLevel(Log::Warn);
    Log::mainLogger().setVerbosity(Log::Debug);
    Log::mainLogger().setLocalTime(false);
    Log::mainLogger().setPerformance(true);
    Log::mainLogger().setFile("nul", "");
    const Log::Logger logger;
    EXPECT_EQ(logger.name(), "copied");
    EXPECT_EQ(logger.level(), Log::Warn);
    EXPECT_EQ(logger.verbosity(), Log::Debug);
    EXPECT_FALSE(logger.localTime());
    EXPECT_TRUE(logger.performance());
    EXPECT_EQ(logger.output(), Log::Output::None);
}

TEST(Logger, SetFileChoosesTheOutputByTheExactName) {
    Log::Logger logger;
    const std::pair<const char*, Log::Output> cases[] = {
        {"", Log::Output::StdOut},      {"stdout", Log::Output::StdOut},
        {"con", Log::Output::StdOut},   {"stderr", Log::Output::StdErr},
        {"nul", Log::Output::None},     {"Stdout", Log::Output::File},
        {"NUL", Log::Output::File},     {"migrator.log", Log::Output::File},
    };
    for (const auto& [name, output] : cases) {
        logger.setFile(name, "");
        EXPECT_EQ(logger.output(), output) << name;
        EXPECT_EQ(logger.path(), name);
    }
    logger.setFile("migrator.log", "/data/log");
    EXPECT_EQ(logger.path(), "/data/log/migrator.log");
    logger.setFile("/elsewhere/x.log", "/data/log");
    EXPECT_EQ(logger.path(), "/elsewhere/x.log");
    logger.setFile("x.log", "relative");
    EXPECT_EQ(logger.path(), boost::filesystem::current_path().string() + "/relative/x.log");
}

TEST(Logger, ThresholdsDecideWhatIsWritten) {
    TempFolder folder;
    Log::Logger logger;
    logger.setFile("t.log", folder.path());
    logger.setLocalTime(false);
    EXPECT_FALSE(logger.isLevelEnabled(std::nullopt));
    EXPECT_FALSE(logger.isVerbosityEnabled(std::nullopt));

    logger.setLevel(Log::Error);
    logger.setVerbosity(Log::Silent);
    EXPECT_TRUE(logger.isLevelEnabled(Log::Error));
    EXPECT_FALSE(logger.isLevelEnabled(Log::Warn));
    EXPECT_TRUE(logger.isVerbosityEnabled(Log::Silent));
    EXPECT_FALSE(logger.isVerbosityEnabled(Log::Summary));
    logger.write(Log::Error, Log::Silent, "error");
    logger.write(Log::Warn, Log::Silent, "warning");
    logger.write(Log::Error, Log::Summary, "summary");

    logger.setLevel(Log::Info);
    logger.setVerbosity(Log::Details);
    logger.write(Log::Info, Log::Debug, "debug hidden");
    logger.setVerbosity(Log::Debug);
    logger.write(Log::Info, Log::Debug, "debug shown");

    Log::Entry noLevel;
    noLevel.setVerbosity(Log::Silent);
    noLevel << "no level";
    logger.log(noLevel);
    Log::Entry noVerbosity;
    noVerbosity.setLevel(Log::Error);
    noVerbosity << "no verbosity";
    logger.log(noVerbosity);

    const std::string text = LogTest::readFile(folder / "t.log");
    EXPECT_NE(text.find(") error\r\n"), std::string::npos);
    EXPECT_NE(text.find(") debug shown\r\n"), std::string::npos);
    for (const char* hidden : {"warning", "summary", "debug hidden", "no level", "no verbosity"}) {
        EXPECT_EQ(text.find(hidden), std::string::npos) << hidden;
    }
}

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

TEST(Logger, LinesOfConcurrentMessagesStayTogether) {
    TempFolder folder;
    Log::Logger logger;
    logger.setLocalTime(false);
    logger.setFile("t.log", folder.path());
    const int messages = 50;
    auto writer = [&logger](const std::string& tag) {
        for (int i = 0; i < messages; ++i) {
            logInfo(logger, tag + "1\n" + tag + "2\n" + tag + "3");
        }
    };
    std::thread a(writer, "a");
    std::thread b(writer, "b");
    a.join();
    b.join();
    std::istringstream lines(LogTest::readFile(folder / "t.log"));
    std::string line;
    int count = 0;
    std::string tag;
    while (std::getline(lines, line)) {
        ASSERT_GE(line.size(), 3u);
        ASSERT_EQ(line.back(), '\r');
        const std::string body = line.substr(line.size() - 3, 2);
        if (count % 3 == 0) {
            tag = body.substr(0, 1);
        }
        EXPECT_EQ(body, tag + std::to_string(count % 3 + 1)) << "line " << count;
        ++count;
    }
    EXPECT_EQ(count, 2 * messages * 3);
}

TEST(Logger, UnopenableFileFallsBackToStandardOutput) {
    TempFolder folder;
    { std::ofstream(folder / "plain") << "a file, not a folder"; }
    Log::Logger logger;
    logger.setFile("plain/t.log", folder.path());
    testing::internal::CaptureStdout();
    logInfo(logger, "rescued");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(out.size() > 9 ? out.size() - 9 : 0), "rescued\r\n") << out;
    EXPECT_EQ(LogTest::readFile(folder / "plain"), "a file, not a folder");
}

TEST(Logger, WriteFailuresAreSwallowed) {
    Log::Logger logger;
    logger.setFile("/dev/full", "");
    ASSERT_EQ(logger.output(), Log::Output::File);
    testing::internal::CaptureStdout();
    EXPECT_NO_THROW(logInfo(logger, std::string(100000, 'x')));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "an opened file is not replaced";
}

TEST(Logger, StandardErrorAndNoOutput) {
    Log::Logger logger;
    logger.setFile("stderr", "");
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    logInfo(logger, "to stderr");
    logger.setFile("nul", "");
    logInfo(logger, "to nowhere");
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find(") to stderr\r\n"), std::string::npos) << err;
    EXPECT_EQ(err.find("nowhere"), std::string::npos);
}

TEST(Logger, CustomHeaderGeneratorIsUsedAndNotCopied) {
    struct Fixed : Log::HeaderGenerator {
        std::string header(const std::string& name, Log::Level level) const override {
            return name + ":" + std::to_string(level) + " ";
        }
    } fixed;
    TempFolder folder;
    Log::Logger logger;
    logger.setName("custom");
    logger.setFile("t.log", folder.path());
    logger.setHeaderGenerator(&fixed);
    logger.write(Log::Warn, Log::Normal, "a\nb");
    EXPECT_EQ(LogTest::readFile(folder / "t.log"), "custom:1 a\r\ncustom:1 b\r\n");

    Log::Logger copy;
    copy.copyFrom(logger);
    copy.write(Log::Warn, Log::Normal, "c");
    EXPECT_NE(LogTest::readFile(folder / "t.log").find("] [  custom] ("), std::string::npos);
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
