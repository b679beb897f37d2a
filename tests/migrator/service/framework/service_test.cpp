#include "migrator/service/framework/service.hpp"
#include "migrator/service/version13/service13.hpp"
#include "migrator/service/framework/version.hpp"

#include "support/filecontent.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>

#include <sstream>
#include <stdexcept>

namespace {

using Migration::Version;
using TestSupport::readFile;
using TestSupport::writeFile;

TEST(VersionTest, TextFollowsFlagsAndLimits) {
    EXPECT_EQ("13.0.0.0", (Version{13, 0, 0, 0}.text(true, true)));
    EXPECT_EQ("13.0.0", (Version{13, 0, 0, 7}.text(true, false)));
    EXPECT_EQ("13.0", (Version{13, 0, 5, 7}.text(false, true)));
    EXPECT_EQ("0.0.1.0", (Version{0, 0, 1, 0}.text(true, true)));
    EXPECT_EQ("", (Version{0, 0, 0, 9}.text(true, true)));
    EXPECT_EQ("", (Version{65536, 1, 1, 1}.text(true, true)));
    EXPECT_EQ("", (Version{1, 65536, 1, 1}.text(true, true)));
    EXPECT_EQ("65535.65535.4294967295.4294967295",
              (Version{65535, 65535, 4294967295u, 4294967295u}.text(true, true)));
}

// A migrator whose steps register one file and write its new version, or throw.
class TestService : public Migration::Service {
public:
    TestService(const std::string& configFile, const std::string& dataFile, std::uint32_t target = 13)
        : Service(configFile, "migrator", Version{target, 0, 0, 0}, 12), dataFile_(dataFile) {
        setConsole(console);
    }

    void runSteps() override {
        ++stepRuns;
        message(Information, "Migrating data...");
        if (stepFailure)
            throw std::runtime_error("step failed");
        writeFile(dataFile_ + ".new", "migrated");
        addFileToReplace(dataFile_);
    }
    void loadSettings(const Config::SettingMap& settings) override {
        ++loads;
        loaded = settings;
    }

    std::ostringstream console;
    int stepRuns = 0;
    int loads = 0;
    bool stepFailure = false;
    Config::SettingMap loaded;

private:
    std::string dataFile_;
};

class ServiceTest : public ::testing::Test {
protected:
    std::string config() const { return directory / "conf/main.conf"; }
    std::string data() const { return directory / "data.db"; }

    void writeConfig(const std::string& text) { writeFile(config(), text); }

    TestSupport::TemporaryDirectory directory;
};

TEST_F(ServiceTest, TitleAndCommandsWithoutWork) {
    TestService service(config(), data());
    EXPECT_EQ("Service Migrator v13.0.0.0", service.title());
    EXPECT_FALSE(service.analyze());
    EXPECT_FALSE(service.repair());
    EXPECT_EQ("", service.console.str());
    EXPECT_EQ(13u, service.targetDataVersion());
    EXPECT_EQ(12u, service.sourceDataVersion());
    EXPECT_EQ(0u, service.dataVersionFound());

    Migration::Service13 service13(config(), "migrator", directory.path());
    EXPECT_EQ("Service Migrator v13.0.0.0", service13.title());
}

TEST_F(ServiceTest, CurrentOrNewerDataIsAlreadyMigrated) {
    for (const char* version : {"13", "14", "4294967295"}) {
        writeConfig(std::string("data.version = ") + version + "\n");
        TestService service(config(), data());
        EXPECT_TRUE(service.migrate());
        EXPECT_EQ("The current data has already been migrated.\n", service.console.str());
        EXPECT_EQ(1, service.exitCode());
        EXPECT_EQ(0, service.stepRuns);
        EXPECT_EQ(0, service.loads);
    }
}

TEST_F(ServiceTest, SourceVersionRunsStepsAndReplaces) {
    writeConfig("data.version = 12\nserver.address = x\n");
    writeFile(data(), "original");
    TestService service(config(), data());
    EXPECT_TRUE(service.migrate());
    EXPECT_EQ(0, service.exitCode());
    EXPECT_EQ(1, service.loads);
    EXPECT_EQ("x", service.loaded.get("server.address"));
    EXPECT_EQ("Migrating data...\n"
              "Replacing the file '" + data() + "'.\n"
              "Migration finished successfully.\n"
              "Deleting file '" + data() + ".bak'.\n",
              service.console.str());
    EXPECT_EQ("migrated", readFile(data()));
    EXPECT_FALSE(TestSupport::exists(data() + ".bak"));
    EXPECT_EQ(12u, service.dataVersionFound());
}

TEST_F(ServiceTest, OlderDataIsTooOld) {
    for (const char* version : {"11", "0"}) {
        writeConfig(std::string("data.version = ") + version + "\n");
        TestService service(config(), data());
        EXPECT_FALSE(service.migrate());
        EXPECT_EQ(std::string("Error: Migration failed: Service data version ") + version +
                      " is too old for this migrator, expected at least 12\n",
                  service.console.str());
        EXPECT_EQ(1023, service.exitCode());
        EXPECT_EQ(0, service.stepRuns);
    }
}

TEST_F(ServiceTest, UnreadableConfigurationFails) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"institution.id = 1\n", "VersionNotFound"},
        {"data.version = abc\n", "VersionNotFound"},
        {"data.version = -12\n", "VersionNotFound"},
        {"data.version = 12\n[broken\n", "ReadIniFile"},
    };
    for (const auto& [text, type] : cases) {
        writeConfig(text);
        TestService service(config(), data());
        EXPECT_FALSE(service.migrate());
        const std::string output = service.console.str();
        EXPECT_EQ(0u, output.find("Error: Migration failed: ")) << output;
        EXPECT_NE(std::string::npos, output.find(type)) << output;
        EXPECT_EQ('\n', output.back());
        EXPECT_EQ(1u, std::count(output.begin(), output.end(), '\n')) << output;
        EXPECT_EQ(1023, service.exitCode());
        EXPECT_EQ(0, service.stepRuns);
    }
}

TEST_F(ServiceTest, MissingConfigurationFallsBackToWorkingDirectoryFile) {
    TestSupport::TemporaryDirectory working;
    const boost::filesystem::path previous = boost::filesystem::current_path();
    boost::filesystem::current_path(working.path());
    {
        TestService missing(config(), data());
        EXPECT_FALSE(missing.migrate());
        EXPECT_EQ(0u, missing.console.str().find("Error: Migration failed: ")) << missing.console.str();
        EXPECT_NE(std::string::npos, missing.console.str().find("main.conf")) << missing.console.str();
        EXPECT_EQ(1023, missing.exitCode());
    }
    writeFile(working / "main.conf", "data.version = 12\nserver.address = from working\n");
    writeFile(data(), "original");
    TestService service(config(), data());
    EXPECT_TRUE(service.migrate());
    boost::filesystem::current_path(previous);
    EXPECT_EQ("from working", service.loaded.get("server.address"));
    EXPECT_EQ(0, service.exitCode());
}

TEST_F(ServiceTest, FailingStepReplacesNothing) {
    writeConfig("data.version = 12\n");
    writeFile(data(), "original");
    TestService service(config(), data());
    service.stepFailure = true;
    EXPECT_FALSE(service.migrate());
    EXPECT_EQ("Migrating data...\nError: Migration failed: step failed\n", service.console.str());
    EXPECT_EQ(1023, service.exitCode());
    EXPECT_EQ("original", readFile(data()));
}

TEST_F(ServiceTest, FailedReplacementIsAFailedMigration) {
    writeConfig("data.version = 12\n");
    TestService service(config(), data());
    EXPECT_FALSE(service.migrate());
    const std::string output = service.console.str();
    EXPECT_NE(std::string::npos, output.find("Error: Renaming the file '" + data() + "'")) << output;
    EXPECT_EQ("Error: Migration failed.\n", output.substr(output.size() - 25));
    EXPECT_EQ(std::string::npos, output.find("successfully"));
    EXPECT_EQ(1023, service.exitCode());
    EXPECT_EQ("migrated", readFile(data() + ".new"));
}

TEST_F(ServiceTest, VersionBetweenSourceAndTargetIsIncompatible) {
    writeConfig("data.version = 13\n");
    TestService service(config(), data(), 15);
    EXPECT_FALSE(service.migrate());
    EXPECT_EQ("Error: The current data version 13 is not compatible with the migrator (expected 12). "
              "Please run another migrator.\n",
              service.console.str());
    EXPECT_EQ(1002, service.exitCode());
}

TEST_F(ServiceTest, SecondMigrateFindsDataMigrated) {
    writeConfig("data.version = 12\n");
    writeFile(data(), "original");
    TestService service(config(), data());
    EXPECT_TRUE(service.migrate());
    EXPECT_EQ(0, service.exitCode());
    writeConfig("data.version = 13\n");
    service.console.str("");
    EXPECT_TRUE(service.migrate());
    EXPECT_EQ("The current data has already been migrated.\n", service.console.str());
    EXPECT_EQ(1, service.exitCode());
    EXPECT_EQ(1, service.stepRuns);
}

} // namespace
