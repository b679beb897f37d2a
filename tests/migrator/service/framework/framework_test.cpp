#include "migrator/service/framework/framework.hpp"

#include "libs/log/logger.hpp"
#include "support/filecontent.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <vector>

namespace {

using Migration::Framework;

// Hands out the scripted keys, then reports the end of input.
class ScriptedKeys : public Migration::KeySource {
public:
    explicit ScriptedKeys(const std::string& keys) : keys_(keys.begin(), keys.end()) {}
    std::optional<char> readKey() override {
        if (keys_.empty())
            return std::nullopt;
        const char key = keys_.front();
        keys_.pop_front();
        return key;
    }

private:
    std::deque<char> keys_;
};

// Records which commands ran; each command answers with the result it was given.
class RecordingFramework : public Framework {
public:
    RecordingFramework() : Framework("conf/main.conf", "migrator") { setConsole(console); }

    std::string title() const override { return "Test Migrator v1.2.3.4"; }
    bool analyze() override { return record("analyze", analyzeResult); }
    bool repair() override { return record("repair", repairResult); }
    bool migrate() override { return record("migrate", migrateResult); }

    bool record(const std::string& name, bool result) {
        calls.push_back(name);
        message(Text, "<" + name + ">");
        return result;
    }

    std::ostringstream console;
    std::vector<std::string> calls;
    bool analyzeResult = false;
    bool repairResult = false;
    bool migrateResult = true;
};

const std::string usageOfProg =
    "prog [harmi]\n"
    "\n"
    "h help         - prints this help (default)\n"
    "a analyze      - checks data integrity of current version\n"
    "r repair       - repairs data of current version\n"
    "m migrate      - migrate previous version of data to current\n"
    "i interactive  - runs in interactive mode\n"
    "\n";

const std::string prompt =
    "(A)nalyze, (M)igrate, (R)epair, command line (H)elp, or anything else to exit: \n";

Framework::Command commandOf(const std::vector<const char*>& arguments) {
    RecordingFramework framework;
    std::vector<const char*> argv{"prog"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    framework.parseCommandLine(static_cast<int>(argv.size()), argv.data());
    return framework.command();
}

int run(RecordingFramework& framework, const std::vector<const char*>& arguments) {
    std::vector<const char*> argv{"prog"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return framework.run(static_cast<int>(argv.size()), argv.data());
}

TEST(FrameworkTest, CommandLineSelectsByFirstLetterOrNameAndLastValidArgumentWins) {
    EXPECT_EQ(Framework::Help, commandOf({}));
    EXPECT_EQ(Framework::Migrate, commandOf({"m"}));
    EXPECT_EQ(Framework::Migrate, commandOf({"M"}));
    EXPECT_EQ(Framework::Migrate, commandOf({"-m"}));
    EXPECT_EQ(Framework::Migrate, commandOf({"/migrate"}));
    EXPECT_EQ(Framework::Migrate, commandOf({"--Migrate"}));
    EXPECT_EQ(Framework::Migrate, commandOf({"mxyz"}));
    EXPECT_EQ(Framework::Migrate, commandOf({" \t\\-m"}));
    EXPECT_EQ(Framework::Analyze, commandOf({"Analyze"}));
    EXPECT_EQ(Framework::Repair, commandOf({"rubbish"}));
    EXPECT_EQ(Framework::Interactive, commandOf({"i"}));
    EXPECT_EQ(Framework::Migrate, commandOf({"h", "m"}));
    EXPECT_EQ(Framework::Help, commandOf({"m", "h"}));
    EXPECT_EQ(Framework::Migrate, commandOf({"m", "x"}));
    EXPECT_EQ(Framework::Help, commandOf({"/?"}));
    EXPECT_EQ(Framework::Help, commandOf({"-"}));
    EXPECT_EQ(Framework::Help, commandOf({""}));
}

TEST(FrameworkTest, InvalidArgumentsAreWarnedInOrderBeforeTheBanner) {
    RecordingFramework framework;
    EXPECT_EQ(0, run(framework, {"x", "//", "a", "-"}));
    EXPECT_EQ("Warning: Invalid command 'x'.\n"
              "Warning: Invalid command '//'.\n"
              "Warning: Invalid command '-'.\n"
              "Test Migrator v1.2.3.4\n"
              "<analyze>\n",
              framework.console.str());
    EXPECT_EQ(std::vector<std::string>{"analyze"}, framework.calls);
}

TEST(FrameworkTest, NoArgumentPrintsBannerAndUsage) {
    RecordingFramework framework;
    EXPECT_EQ(0, run(framework, {}));
    EXPECT_EQ("Test Migrator v1.2.3.4\n" + usageOfProg + "\n\n", framework.console.str());
    EXPECT_EQ("prog", framework.programName());
    EXPECT_EQ(usageOfProg, framework.usage());
    EXPECT_TRUE(framework.calls.empty());
}

TEST(FrameworkTest, MessagePrefixesAndConsoleBit) {
    RecordingFramework framework;
    framework.message(Framework::Text, "plain");
    framework.message(Framework::Information, "two\nlines");
    framework.message(Framework::Warning, "careful");
    framework.message(Framework::Error, "broken");
    framework.message(static_cast<Framework::MessageFlags>(0x31), "both");
    framework.message(static_cast<Framework::MessageFlags>(0x92), "log only");
    EXPECT_EQ("plain\ntwo\nlines\nWarning: careful\nError: broken\nError: both\n", framework.console.str());
}

TEST(FrameworkTest, ExitCodeIsTheLastOneSet) {
    RecordingFramework framework;
    EXPECT_EQ(0, framework.exitCode());
    framework.setExitCode(1002);
    framework.setExitCode(1);
    EXPECT_EQ(1, framework.exitCode());
}

TEST(FrameworkTest, InteractiveHelpThenOtherKeyEnds) {
    RecordingFramework framework;
    framework.setKeySource(std::make_unique<ScriptedKeys>("hq"));
    EXPECT_EQ(0, run(framework, {"i"}));
    EXPECT_EQ("Test Migrator v1.2.3.4\n" + prompt + "h\n\n" + usageOfProg + "\n\n" + prompt + "q\n\n",
              framework.console.str());
    EXPECT_TRUE(framework.calls.empty());
}

TEST(FrameworkTest, InteractiveDispatchesKeysInEitherCase) {
    RecordingFramework framework;
    framework.repairResult = true;
    framework.setKeySource(std::make_unique<ScriptedKeys>("MmRA m"));
    EXPECT_FALSE(framework.interactive());
    EXPECT_EQ((std::vector<std::string>{"migrate", "migrate", "repair", "analyze"}), framework.calls);
    EXPECT_EQ(prompt + "M\n\n<migrate>\n" + prompt + "m\n\n<migrate>\n" + prompt + "R\n\n<repair>\n" + prompt +
                  "A\n\n<analyze>\n",
              framework.console.str());
}

TEST(FrameworkTest, InteractiveEndOfInputEndsWithEmptyEcho) {
    RecordingFramework framework;
    framework.setKeySource(std::make_unique<ScriptedKeys>("m"));
    EXPECT_TRUE(framework.interactive());
    EXPECT_EQ(prompt + "m\n\n<migrate>\n" + prompt + "\n", framework.console.str());
}

TEST(FrameworkTest, InteractiveFailedCommandEndsTheLoop) {
    RecordingFramework framework;
    framework.migrateResult = false;
    framework.setKeySource(std::make_unique<ScriptedKeys>("mm"));
    EXPECT_FALSE(framework.interactive());
    EXPECT_EQ(std::vector<std::string>{"migrate"}, framework.calls);
}

// Points the main logger at a file for one test and restores it afterwards.
class LogToFile {
public:
    explicit LogToFile(const std::string& directory) {
        saved_.copyFrom(Log::mainLogger());
        Log::mainLogger().setFile("test.log", directory);
        Log::mainLogger().setName("migrator");
    }
    ~LogToFile() { Log::mainLogger().copyFrom(saved_); }

private:
    Log::Logger saved_;
};

std::vector<std::string> logLines(const std::string& path) {
    std::vector<std::string> lines;
    if (!TestSupport::exists(path))
        return lines;
    std::istringstream in(TestSupport::readFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(FrameworkTest, LogSideFollowsFlagsAndThresholds) {
    TestSupport::TemporaryDirectory directory;
    LogToFile log(directory.path());
    RecordingFramework framework;
    framework.message(Framework::Text, "console only");
    framework.message(Framework::Information, "Migrating studies...");
    framework.message(Framework::Warning, "careful");
    framework.message(Framework::Error, "broken");
    framework.message(Framework::Information, "first\n\nsecond");
    Log::mainLogger().setLevel(Log::Warn);
    framework.message(Framework::Information, "suppressed");
    framework.message(Framework::Error, "Migration failed: reason");
    Log::mainLogger().setLevel(Log::Info);
    Log::mainLogger().setVerbosity(Log::Silent);
    framework.message(Framework::Warning, "quiet warning");
    framework.message(Framework::Error, "loud error");

    const std::vector<std::string> lines = logLines(directory / "test.log");
    const std::vector<std::pair<std::string, std::string>> expected{
        {"[   info] [migrator]", "Migrating studies...\r"}, {"[Warning] [migrator]", "careful\r"},
        {"[  ERROR] [migrator]", "broken\r"},               {"[   info] [migrator]", "first\r"},
        {"[   info] [migrator]", "second\r"},               {"[  ERROR] [migrator]", "Migration failed: reason\r"},
        {"[  ERROR] [migrator]", "loud error\r"},
    };
    ASSERT_EQ(expected.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(std::string::npos, lines[i].find(expected[i].first)) << lines[i];
        EXPECT_EQ(expected[i].second, lines[i].substr(lines[i].size() - expected[i].second.size())) << lines[i];
        EXPECT_EQ(std::string::npos, lines[i].find("Error: ")) << lines[i];
    }
    EXPECT_EQ(std::string::npos, TestSupport::readFile(directory / "test.log").find("console only"));
    EXPECT_NE(std::string::npos, framework.console.str().find("suppressed\nError: Migration failed: reason\n"));
}

} // namespace
