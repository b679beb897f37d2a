#include "e2e/transcript.hpp"

#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"
#include "support/platform.hpp"

#include <gtest/gtest.h>

namespace {

using TestSupport::ChildResult;
using TestSupport::MigratorSandbox;
using TestSupport::readFile;
using TestSupport::writeFile;

const std::string validSettings = "institution.id = SK\\#1\nserver.institutionId = SK\\#100\nserver.address = x.example\n";

// Every file of the data directory with its content.
std::vector<std::pair<std::string, std::string>> snapshot(const MigratorSandbox& sandbox) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& file : TestSupport::listFiles(sandbox.dataDirectory())) {
        if (!E2e::startsWith(file, "log/"))
            files.emplace_back(file, readFile(sandbox.data(file)));
    }
    return files;
}

TEST(VersionsTest, CurrentOrNewerDataIsAlreadyMigrated) {
    for (const char* version : {"13", "14"}) {
        MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        writeFile(sandbox.data("conf/main.conf"), std::string("data.version = ") + version + "\n");
        writeFile(sandbox.data("message/message.db"), "untouched");
        const auto before = snapshot(sandbox);
        const ChildResult result = sandbox.run({"m"});
        EXPECT_EQ(E2e::banner + "The current data has already been migrated.\n", result.out);
        EXPECT_EQ(1, result.exitCode);
        EXPECT_EQ(before, snapshot(sandbox));
        EXPECT_NE(std::string::npos, sandbox.log().find(") The current data has already been migrated.\r\n"));
    }
}

TEST(VersionsTest, OlderDataIsTooOld) {
    for (const char* version : {"11", "0"}) {
        MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        writeFile(sandbox.data("conf/main.conf"), std::string("data.version = ") + version + "\n" + validSettings);
        const auto before = snapshot(sandbox);
        const ChildResult result = sandbox.run({"migrate"});
        const std::string report = std::string("Migration failed: Service data version ") + version +
                                   " is too old for this migrator, expected at least 12";
        EXPECT_EQ(E2e::banner + "Error: " + report + "\n", result.out);
        EXPECT_EQ(255, result.exitCode);
        EXPECT_EQ(before, snapshot(sandbox));
        const std::string log = sandbox.log();
        EXPECT_NE(std::string::npos, log.find("] [  ERROR] [migrator] (")) << log;
        EXPECT_NE(std::string::npos, log.find(") " + report + "\r\n")) << log;
    }
}

TEST(VersionsTest, BadConfigurationFailsAndTouchesNothing) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {validSettings, "VersionNotFound"},
        {"data.version = twelve\n" + validSettings, "VersionNotFound"},
        {"data.version = 12\nnot a setting\n" + validSettings, "Config::Exceptions::Line=2"},
        {"data.version = 12\n[server\n", "ReadIniFile"},
        {"data.version = 12\ninstitution.id = SK\\#1\nserver.address = x.example\n", "SettingNotFound"},
        {"data.version = 12\ninstitution.id = SK\\#1\nserver.institutionId = SK\\#100\n", "SettingNotFound"},
        {"data.version = 12\ninstitution.id = SK#1\nserver.institutionId = SK\\#100\nserver.address = x\n",
         "Config::Exceptions::InvalidValue"},
        {"data.version = 12\n" + validSettings + "proxy = maybe\n", "Config::Exceptions::InvalidValue"},
        {"data.version = 12\n" + validSettings + "proxy = yes\n", "MissingProxyServer"},
    };
    for (const auto& [text, reason] : cases) {
        MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        writeFile(sandbox.data("conf/main.conf"), text);
        const auto before = snapshot(sandbox);
        const ChildResult result = sandbox.run({"m"});
        EXPECT_EQ(0u, result.out.find(E2e::banner + "Error: Migration failed: ")) << result.out;
        EXPECT_NE(std::string::npos, result.out.find(reason)) << result.out;
        EXPECT_EQ(2u, E2e::lines(result.out).size()) << result.out;
        EXPECT_EQ(255, result.exitCode) << text;
        EXPECT_EQ(before, snapshot(sandbox)) << text;
    }
}

TEST(VersionsTest, SyntaxErrorNamesFileLineAndType) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    writeFile(sandbox.data("conf/main.conf"), "data.version = 12\n" + validSettings + "[broken\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(255, result.exitCode);
    EXPECT_NE(std::string::npos, result.out.find("Config::Exceptions::ReadIniFile")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("Config::Exceptions::Line=5")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("InvalidSection")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("Filename=" + sandbox.data("conf/main.conf"))) << result.out;
}

TEST(VersionsTest, NoConfigurationAnywhereFails) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(0u, result.out.find(E2e::banner + "Error: Migration failed: ")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find(TestSupport::joinPath(sandbox.workingDirectory(), "main.conf"))) << result.out;
    EXPECT_EQ(255, result.exitCode);
    EXPECT_TRUE(TestSupport::exists(sandbox.data("log/migrator.log")));
}

TEST(VersionsTest, ConfigurationOnlyInWorkingDirectory) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    writeFile(sandbox.workingDirectory() + "/main.conf", "data.version = 13\nmigrator.loglevel = error\n");
    const ChildResult result = sandbox.run({"x", "m"});
    EXPECT_EQ("Warning: Invalid command 'x'.\n" + E2e::banner + "The current data has already been migrated.\n",
              result.out);
    EXPECT_EQ(1, result.exitCode);
    // The log settings of that file apply: only errors reach the log.
    EXPECT_EQ("", sandbox.log());
}

TEST(VersionsTest, LogSettingsFromWorkingDirectoryConfiguration) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    writeFile(sandbox.workingDirectory() + "/main.conf", "data.version = 14\nmigrator.logverbosity = debug\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(E2e::banner + "The current data has already been migrated.\n", result.out);
    EXPECT_EQ(1, result.exitCode);
    // At verbosity debug the failed read of the data directory's own configuration is logged.
    const std::string log = sandbox.log();
    EXPECT_NE(std::string::npos, log.find("read ini file " + sandbox.data("conf/main.conf") + ": ")) << log;
}

} // namespace
