#include "e2e/transcript.hpp"

#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"

#include <gtest/gtest.h>

namespace {

using TestSupport::MigratorSandbox;

TEST(CommandLineTest, NoArgumentAndHelpPrintBannerAndUsage) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"h"}, std::vector<std::string>{"--Help"},
          std::vector<std::string>{"m", "/h"}}) {
        const TestSupport::ChildResult result = sandbox.run(arguments);
        EXPECT_EQ(E2e::banner + E2e::help(QELT_MIGRATOR_PATH), result.out);
        EXPECT_EQ("", result.err);
        EXPECT_EQ(0, result.exitCode);
    }
    const std::string log = sandbox.log();
    EXPECT_NE(std::string::npos, log.find("] [   info] [migrator] (")) << log;
    EXPECT_NE(std::string::npos, log.find(") Service Migrator v13.0.0.0\r\n")) << log;
    EXPECT_EQ(std::string::npos, log.find("[harmi]")) << log;
}

TEST(CommandLineTest, InvalidArgumentsAreWarnedBeforeTheBanner) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    const TestSupport::ChildResult result = sandbox.run({"x", "/?", "-", "//"});
    EXPECT_EQ("Warning: Invalid command 'x'.\n"
              "Warning: Invalid command '/?'.\n"
              "Warning: Invalid command '-'.\n"
              "Warning: Invalid command '//'.\n" +
                  E2e::banner + E2e::help(QELT_MIGRATOR_PATH),
              result.out);
    EXPECT_EQ(0, result.exitCode);
    const std::vector<std::string> warnings = E2e::linesStartingWith(result.out, "Warning: ");
    EXPECT_EQ(4u, warnings.size());
    const std::string log = sandbox.log();
    EXPECT_NE(std::string::npos, log.find("] [Warning] [migrator] (")) << log;
    EXPECT_NE(std::string::npos, log.find(") Invalid command '/?'.\r\n")) << log;
    EXPECT_EQ(std::string::npos, log.find("Warning: Invalid")) << log;
}

TEST(CommandLineTest, AnalyzeAndRepairPrintOnlyTheBanner) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    for (const char* command : {"a", "Analyze", "r", "rubbish", "/R"}) {
        const TestSupport::ChildResult result = sandbox.run({command});
        EXPECT_EQ(E2e::banner, result.out) << command;
        EXPECT_EQ(0, result.exitCode) << command;
    }
}

TEST(CommandLineTest, InteractiveHelpThenQuit) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    const TestSupport::ChildResult result = sandbox.run({"i"}, "hq");
    EXPECT_EQ(E2e::banner + E2e::prompt + "h\n\n" + E2e::help(QELT_MIGRATOR_PATH) + E2e::prompt + "q\n\n", result.out);
    EXPECT_EQ(0, result.exitCode);
}

TEST(CommandLineTest, InteractiveEndOfInputEndsWithEmptyEcho) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    const TestSupport::ChildResult result = sandbox.run({"i"});
    EXPECT_EQ(E2e::banner + E2e::prompt + "\n", result.out);
    EXPECT_EQ(0, result.exitCode);
}

TEST(CommandLineTest, InteractiveAnalyzeEndsTheProgram) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    const TestSupport::ChildResult result = sandbox.run({"interactive"}, "Ah");
    EXPECT_EQ(E2e::banner + E2e::prompt + "A\n\n", result.out);
    EXPECT_EQ(0, result.exitCode);
}

TEST(CommandLineTest, StartUpFailureIsReportedOnStandardError) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    sandbox.writeRegistry(TestSupport::registryText("Other", "x"));
    // The default data directory cannot be created below a regular file.
    TestSupport::writeFile(sandbox.serviceFolder(), "in the way");
    const TestSupport::ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(255, result.exitCode);
    EXPECT_EQ(0u, result.err.find("Error: ")) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("CreateDir")) << result.err;
    EXPECT_EQ('\n', result.err.back());
    EXPECT_EQ("", result.out);
}

} // namespace
