#include "e2e/transcript.hpp"

#include "fixtures/v12data.hpp"
#include "migrator/service/version13/configstep.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"
#include "support/platform.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

namespace {

using TestSupport::ChildResult;
using TestSupport::MigratorSandbox;
using TestSupport::exists;
using TestSupport::readFile;
using TestSupport::textModeLines;
using TestSupport::writeFile;

const Migration::CentralServers servers = Migration::builtInCentralServers();

std::string escaped(const std::string& value) {
    std::string result;
    for (char c : value) {
        if (c == '#')
            result += '\\';
        result += c;
    }
    return result;
}

const std::string identifiers = "institution.id = SK\\#1\nserver.institutionId = SK\\#100\n";

// The migrated conf/main.conf as the program writes it (in text mode).
std::string expectedConfig(const std::string& address, const std::string& otherLines = std::string()) {
    std::map<std::string, std::string> lines{
        {"data.version", "13"}, {"institution.id", "SK#1"}, {"server.address", address},
        {"server.institutionid", "SK#100"}};
    for (const std::string& line : E2e::lines(otherLines)) {
        const std::string::size_type equals = line.find(" = ");
        lines[line.substr(0, equals)] = line.substr(equals + 3);
    }
    std::string text;
    for (const auto& [key, value] : lines)
        text += key + " = " + escaped(value) + "\n";
    return textModeLines(text);
}

// Every file of the data directory but the log, with its content.
std::map<std::string, std::string> snapshot(const MigratorSandbox& sandbox) {
    std::map<std::string, std::string> files;
    for (const std::string& file : TestSupport::listFiles(sandbox.dataDirectory())) {
        if (!E2e::startsWith(file, "log/"))
            files[file] = readFile(sandbox.data(file));
    }
    return files;
}

Fixtures::V12Options smallData() {
    Fixtures::V12Options options;
    options.folders = 2;
    options.jobs = 3;
    options.events = 20;
    options.deletedJobs = 6;
    options.messages = 4;
    return options;
}

class MigrationTest : public ::testing::Test {
protected:
    MigrationTest() : sandbox(QELT_MIGRATOR_PATH) { Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallData()); }

    void writeConfig(const std::string& text) { writeFile(sandbox.data("conf/main.conf"), text); }

    // Checks the transcript of a successful migration from the first step report on; returns
    // the replaced files in the order of their reports.
    std::vector<std::string> expectSuccessfulMigration(const std::string& out) {
        const std::vector<std::string> lines = E2e::lines(out);
        EXPECT_EQ(E2e::stepReports, E2e::linesStartingWith(out, "Migrating "));
        const auto finished = std::find(lines.begin(), lines.end(), "Migration finished successfully.");
        EXPECT_NE(lines.end(), finished) << out;
        std::vector<std::string> replaced;
        const std::string replacing = "Replacing the file '";
        for (auto line = lines.begin(); line != finished; ++line) {
            if (E2e::startsWith(*line, replacing))
                replaced.push_back(line->substr(replacing.size(), line->size() - replacing.size() - 2));
        }
        EXPECT_FALSE(replaced.empty());
        if (!replaced.empty()) {
            EXPECT_EQ(sandbox.data("conf/main.conf"), replaced.back()) << out;
        }
        std::vector<std::string> deleted;
        for (auto line = finished; line != lines.end(); ++line) {
            if (line != finished) {
                EXPECT_TRUE(E2e::startsWith(*line, "Deleting file '")) << *line;
                deleted.push_back(*line);
            }
        }
        EXPECT_TRUE(std::is_sorted(deleted.begin(), deleted.end()));
        EXPECT_EQ(std::string::npos, out.find("Error: ")) << out;
        EXPECT_EQ(std::string::npos, out.find("Warning: ")) << out;
        EXPECT_EQ(std::vector<std::string>{}, sandbox.leftovers());
        return replaced;
    }

    MigratorSandbox sandbox;
};

TEST_F(MigrationTest, FixtureDataIsMigrated) {
    writeConfig("# service configuration\nproxy = auto\n\n[data]\nversion = 12\n\n[institution]\nid = SK\\#1\n\n"
                "[server]\ninstitutionId = SK\\#100\naddress = " + servers.legacyHost + ", backup.hospital.example\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(0, result.exitCode) << result.out;
    EXPECT_EQ(E2e::banner + "Migrating institutions...\n", result.out.substr(0, E2e::banner.size() + 26));
    const std::vector<std::string> replaced = expectSuccessfulMigration(result.out);
    EXPECT_TRUE(std::is_sorted(replaced.begin(), replaced.end() - 1));
    EXPECT_FALSE(exists(sandbox.data("institution/institution.db")));
    const std::string config = readFile(sandbox.data("conf/main.conf"));
    EXPECT_NE(std::string::npos, config.find(textModeLines("data.version = 13\n"))) << config;
    EXPECT_NE(std::string::npos, config.find(textModeLines("server.address = " + servers.primary + "\n"))) << config;
    EXPECT_EQ(std::string::npos, config.find("backup.hospital.example")) << config;
    const std::string log = sandbox.log();
    for (const std::string& report : E2e::stepReports)
        EXPECT_NE(std::string::npos, log.find(") " + report + "\r\n")) << report;
    EXPECT_NE(std::string::npos, log.find(") Migration finished successfully.\r\n"));
}

TEST_F(MigrationTest, FormerHostNameBecomesThePrimaryAddress) {
    writeConfig("data.version = 12\n" + identifiers + "server.address = " + servers.legacyHost + "\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(0, result.exitCode) << result.out;
    expectSuccessfulMigration(result.out);
    EXPECT_EQ(expectedConfig(servers.primary), readFile(sandbox.data("conf/main.conf")));
}

TEST_F(MigrationTest, PrimaryAddressInUpperCaseWithPrivateServerIsLegacy) {
    std::string upper = servers.primary;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    writeConfig("data.version = 12\n" + identifiers + "server.address = private.lan, " + upper + "\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(0, result.exitCode) << result.out;
    EXPECT_EQ(expectedConfig(servers.primary), readFile(sandbox.data("conf/main.conf")));
}

TEST_F(MigrationTest, FormerIpAddressIsLegacy) {
    writeConfig("data.version = 12\n" + identifiers + "server.address = " + servers.legacyIp + "\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(0, result.exitCode) << result.out;
    EXPECT_EQ(expectedConfig(servers.primary), readFile(sandbox.data("conf/main.conf")));
}

TEST_F(MigrationTest, PrivateServerOnlyGetsTheAlternativeAddress) {
    writeConfig("data.version = 12\n" + identifiers + "server.address = private.lan\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(0, result.exitCode) << result.out;
    EXPECT_EQ(expectedConfig(servers.alternative), readFile(sandbox.data("conf/main.conf")));
}

TEST_F(MigrationTest, NonDefaultSettingsAndUnknownKeysAreKept) {
    writeConfig("data.version = 12\n" + identifiers +
                "server.address = private.lan\ndicomizer.enabled = no\nproxy = auto\nserver.timeoutSeconds = 300\n"
                "migrator.logverbosity = normal\n[compression]\ntype = bzip2\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(0, result.exitCode) << result.out;
    EXPECT_EQ(expectedConfig(servers.alternative, "compression.type = bzip2\ndicomizer.enabled = no\nproxy = auto\n"
                                                  "migrator.logverbosity = normal\n"),
              readFile(sandbox.data("conf/main.conf")));
}

TEST_F(MigrationTest, InteractiveMigrateTwice) {
    writeConfig("data.version = 12\n" + identifiers + "server.address = private.lan\n");
    const ChildResult result = sandbox.run({"i"}, "mm");
    EXPECT_EQ(1, result.exitCode) << result.out;
    const std::string head = E2e::banner + E2e::prompt + "m\n\n";
    EXPECT_EQ(head, result.out.substr(0, head.size()));
    const std::string tail = E2e::prompt + "m\n\nThe current data has already been migrated.\n" + E2e::prompt + "\n";
    ASSERT_GT(result.out.size(), tail.size());
    EXPECT_EQ(tail, result.out.substr(result.out.size() - tail.size()));
    expectSuccessfulMigration(result.out.substr(head.size(), result.out.size() - head.size() - tail.size()));
}

TEST_F(MigrationTest, FailedStepChangesNothingAndLogsOnlyWhatPassesTheLevel) {
    writeConfig("data.version = 12\n" + identifiers + "server.address = private.lan\nmigrator.loglevel = warn\n");
    writeFile(sandbox.data("study/jobs.db"), std::string(4096, '\x5a'));
    const std::map<std::string, std::string> before = snapshot(sandbox);
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(255, result.exitCode);
    EXPECT_EQ(E2e::banner + "Migrating institutions...\nMigrating studies...\nError: Migration failed: ",
              result.out.substr(0, E2e::banner.size() + 72));
    EXPECT_EQ(4u, E2e::lines(result.out).size()) << result.out;
    std::map<std::string, std::string> after = snapshot(sandbox);
    for (auto file = after.begin(); file != after.end();) {
        const bool isNew = file->first.size() > 4 && file->first.compare(file->first.size() - 4, 4, ".new") == 0;
        file = isNew ? after.erase(file) : std::next(file);
    }
    EXPECT_EQ(before, after);
    const std::vector<std::string> logLines = E2e::lines(sandbox.log());
    ASSERT_EQ(1u, logLines.size()) << sandbox.log();
    EXPECT_NE(std::string::npos, logLines[0].find("] [  ERROR] [migrator] (")) << logLines[0];
    EXPECT_NE(std::string::npos, logLines[0].find(") Migration failed: ")) << logLines[0];
}

TEST_F(MigrationTest, ConfigurationOnlyInWorkingDirectoryIsReadButTheSwapIsUndone) {
    const std::string working = sandbox.workingDirectory() + "/main.conf";
    writeFile(working, "data.version = 12\n" + identifiers + "server.address = " + servers.legacyHost + "\n");
    ASSERT_EQ(0, std::remove(sandbox.data("conf/main.conf").c_str()));
    const std::map<std::string, std::string> before = snapshot(sandbox);
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(255, result.exitCode) << result.out;
    EXPECT_EQ(E2e::stepReports, E2e::linesStartingWith(result.out, "Migrating "));
    const std::string failure = "Error: Renaming the file '" + sandbox.data("conf/main.conf") + "' to '" +
                                sandbox.data("conf/main.conf.bak") + "' failed. Details: ";
    EXPECT_NE(std::string::npos, result.out.find(failure)) << result.out;
    EXPECT_EQ("Error: Migration failed.\n", result.out.substr(result.out.size() - 25));
    EXPECT_EQ(std::string::npos, result.out.find("successfully"));
    const std::vector<std::string> reverted = E2e::linesStartingWith(result.out, "Reverting a replacement of the file '");
    EXPECT_EQ(E2e::linesStartingWith(result.out, "Replacing the file '").size() - 1, reverted.size()) << result.out;

    std::map<std::string, std::string> after = snapshot(sandbox);
    EXPECT_EQ(expectedConfig(servers.primary), after["conf/main.conf.new"]);
    for (const auto& [file, content] : before) {
        EXPECT_EQ(content, after[file]) << file;
    }
    for (const auto& [file, content] : after) {
        if (!before.count(file)) {
            EXPECT_EQ(".new", file.substr(file.size() - 4)) << file;
        }
    }
}

} // namespace
