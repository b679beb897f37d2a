// The Windows program end to end: the data directory from the real registry, a data directory
// whose path is not ASCII, the exit codes as the caller receives them in full, the directory
// lock against a second run, and the log.

#include "e2e/transcript.hpp"

#include "fixtures/v12data.hpp"
#include "libs/win32/registry/node.hpp"
#include "migrator/service/replacement/datalock.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using TestSupport::ChildResult;
using TestSupport::MigratorSandbox;
using TestSupport::readFile;

namespace fs = boost::filesystem;

// A version-12 data directory at a path with non-ASCII letters ("Dáta\Služba"), named by the
// registry value the installation writes.
class WindowsProgram : public testing::Test {
protected:
    WindowsProgram() : dataDirectory_(sandbox_.root() + "\\D\xc3\xa1ta\\Slu\xc5\xbe" "ba") {
        const std::string staging = sandbox_.root() + "\\staging";
        Fixtures::createV12DataDirectory(staging);
        fs::create_directories(fs::path(dataDirectory_).parent_path());
        fs::rename(staging, dataDirectory_);
        sandbox_.setDataDirectoryValue(dataDirectory_);
    }

    std::string data(const std::string& relative) const { return dataDirectory_ + "\\" + relative; }

    std::string log() const { return readFile(data("log\\migrator.log")); }

    // True for the ".new" and ".bak" companions of a file.
    static bool isCopy(const std::string& file) {
        return file.size() > 4 && (file.substr(file.size() - 4) == ".new" || file.substr(file.size() - 4) == ".bak");
    }

    std::vector<std::string> leftovers() const {
        std::vector<std::string> found;
        for (const std::string& file : TestSupport::listFiles(dataDirectory_)) {
            if (isCopy(file))
                found.push_back(file);
        }
        return found;
    }

    // Every file of the data directory but the log, with its content.
    std::vector<std::pair<std::string, std::string>> snapshot() const {
        std::vector<std::pair<std::string, std::string>> files;
        for (const std::string& file : TestSupport::listFiles(dataDirectory_)) {
            if (!E2e::startsWith(file, "log/"))
                files.emplace_back(file, readFile(data(file)));
        }
        return files;
    }

    MigratorSandbox sandbox_{QELT_MIGRATOR_PATH};
    std::string dataDirectory_;
};

TEST_F(WindowsProgram, MigratesANonAsciiDataDirectoryNamedByTheRegistry) {
    std::string registered;
    Win32::Registry::Node(Win32::Registry::LocalMachine, "Software\\Quorlin Software\\Qelt\\Service\\Settings")
        .read("DataDirectory", registered);
    ASSERT_EQ(dataDirectory_, registered);

    const ChildResult result = sandbox_.run({"m"});
    EXPECT_EQ(0u, result.fullExitCode) << result.out << result.err;
    EXPECT_EQ(E2e::banner, result.out.substr(0, E2e::banner.size()));
    for (const std::string& report : E2e::stepReports) {
        EXPECT_NE(std::string::npos, result.out.find(report + "\n")) << report << "\n" << result.out;
        EXPECT_NE(std::string::npos, log().find(") " + report + "\r\n")) << report;
    }
    EXPECT_NE(std::string::npos, result.out.find("Migration finished successfully.\n")) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find("Error: ")) << result.out;
    EXPECT_EQ("", result.err);
    EXPECT_NE(std::string::npos, readFile(data("conf\\main.conf")).find("data.version = 13\r\n")) << "text mode writes CR LF";
    EXPECT_FALSE(TestSupport::exists(data("institution\\institution.db")));
    EXPECT_EQ(std::vector<std::string>{}, leftovers());
    EXPECT_NE(std::string::npos, log().find(") Migration finished successfully.\r\n"));

    const auto migrated = snapshot();
    const ChildResult again = sandbox_.run({"m"});
    EXPECT_EQ(1u, again.fullExitCode);
    EXPECT_EQ(E2e::banner + "The current data has already been migrated.\n", again.out);
    EXPECT_EQ(migrated, snapshot());
}

TEST_F(WindowsProgram, AFailedMigrationEndsWith1023AndChangesNothing) {
    TestSupport::writeFile(data("conf\\sending.json"), "{ \"rules\": [ broken");
    const auto before = snapshot();
    const ChildResult result = sandbox_.run({"m"});
    EXPECT_EQ(1023u, result.fullExitCode) << result.out;
    EXPECT_EQ(1, E2e::linesStartingWith(result.out, "Error: Migration failed: ").size()) << result.out;
    auto after = snapshot();
    after.erase(std::remove_if(after.begin(), after.end(), [](const auto& file) { return isCopy(file.first); }),
                after.end());
    EXPECT_EQ(before, after);
    EXPECT_NE(std::string::npos, log().find("] [  ERROR] [migrator] (")) << log();
}

TEST_F(WindowsProgram, TooOldDataEndsWith1023InFull) {
    TestSupport::writeFile(data("conf\\main.conf"), "data.version = 11\ninstitution.id = SK\\#1\n"
                                                   "server.institutionId = SK\\#100\nserver.address = x.example\n");
    const auto before = snapshot();
    const ChildResult result = sandbox_.run({"m"});
    EXPECT_EQ(1023u, result.fullExitCode) << result.out;
    EXPECT_EQ(E2e::banner + "Error: Migration failed: Service data version 11 is too old for this migrator, "
                            "expected at least 12\n",
              result.out);
    EXPECT_EQ(before, snapshot());
}

TEST_F(WindowsProgram, ASecondMigrationOfALockedDirectoryIsRefused) {
    const auto before = snapshot();
    {
        const Migration::DataLock held(dataDirectory_);
        ASSERT_TRUE(held.held());
        const ChildResult refused = sandbox_.run({"m"});
        EXPECT_EQ(1023u, refused.fullExitCode) << refused.out;
        EXPECT_NE(std::string::npos, refused.out.find("Error: Migration failed: ")) << refused.out;
        EXPECT_EQ(before, snapshot());
    }
    const ChildResult result = sandbox_.run({"m"});
    EXPECT_EQ(0u, result.fullExitCode) << result.out;
}

} // namespace
