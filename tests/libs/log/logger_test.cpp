#include "libs/log/logger.hpp"

#include "libs/log/logtestsupport.hpp"
#include "support/platform.hpp"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <fstream>
#include <sstream>
#include <thread>

namespace {

using LogTest::TempFolder;

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
    const TempFolder folder;
    const std::string directory = folder / "data/log";
    logger.setFile("migrator.log", directory);
    EXPECT_EQ(logger.path(), TestSupport::joinPath(directory, "migrator.log"));
    logger.setFile(folder / "elsewhere/x.log", directory);
    EXPECT_EQ(logger.path(), folder / "elsewhere/x.log");
    logger.setFile("x.log", "relative");
    EXPECT_EQ(logger.path(), TestSupport::joinPath(boost::filesystem::current_path().string(), "relative/x.log"));
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

TEST(Logger, LinesOfConcurrentMessagesStayTogether) {
    TempFolder folder;
    Log::Logger logger;
    logger.setLocalTime(false);
    logger.setFile("t.log", folder.path());
    const int messages = 50;
    auto writer = [&logger](const std::string& tag) {
        for (int i = 0; i < messages; ++i) {
            LogTest::logInfo(logger, tag + "1\n" + tag + "2\n" + tag + "3");
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
    LogTest::logInfo(logger, "rescued");
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(out.size() > 9 ? out.size() - 9 : 0), "rescued\r\n") << out;
    EXPECT_EQ(LogTest::readFile(folder / "plain"), "a file, not a folder");
}

TEST(Logger, StandardErrorAndNoOutput) {
    Log::Logger logger;
    logger.setFile("stderr", "");
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    LogTest::logInfo(logger, "to stderr");
    logger.setFile("nul", "");
    LogTest::logInfo(logger, "to nowhere");
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

