// The Windows program end to end: the data directory from the real registry in the 32-bit view,
// a data directory whose path is not ASCII or longer than MAX_PATH, the exit codes as the caller
// receives them in full, the lock against a second run, read-only files, the program's name in
// the usage text, its manifest and version information, and the log.

#include "e2e/transcript.hpp"

#include "fixtures/v12data.hpp"
#include "libs/win32/registry/node.hpp"
#include "migrator/service/replacement/datalock.hpp"
#include "migrator/service/replacement/directorylock.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"
#include "support/platform.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

using TestSupport::ChildOptions;
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
    const std::string lockFile = data(Migration::DirectoryLock::lockFileName);
    {
        const Migration::DataLock held(dataDirectory_);
        ASSERT_TRUE(held.held());
        EXPECT_TRUE(TestSupport::exists(lockFile));
        const ChildResult refused = sandbox_.run({"m"});
        EXPECT_EQ(1023u, refused.fullExitCode) << refused.out;
        EXPECT_NE(std::string::npos, refused.out.find("Error: Migration failed: Another migration")) << refused.out;
    }
    // The lock file went with the lock; nothing else changed.
    EXPECT_EQ(before, snapshot());
    // A lock file that a power loss left behind does not stop the next run, which removes it.
    TestSupport::writeFile(lockFile, "");
    const ChildResult result = sandbox_.run({"m"});
    EXPECT_EQ(0u, result.fullExitCode) << result.out;
    EXPECT_FALSE(TestSupport::exists(lockFile));
}

// The installation of the 32-bit service writes the 32-bit view of the registry; a value only
// in the 64-bit view is not the service's.
TEST_F(WindowsProgram, TheDataDirectoryIsReadFromThe32BitViewOfTheRegistry) {
    const std::string key = "HKLM\\Software\\Quorlin Software\\Qelt\\Service\\Settings";
    const auto reg = [](const std::vector<std::string>& arguments) {
        ChildOptions options;
        options.arguments = arguments;
        const ChildResult done =
            TestSupport::runChild(std::string(std::getenv("SystemRoot")) + "\\system32\\reg.exe", options);
        EXPECT_EQ(0, done.exitCode) << done.out << done.err;
    };
    sandbox_.removeRegistry();
    reg({"add", key, "/v", "DataDirectory", "/t", "REG_SZ", "/d", dataDirectory_, "/f", "/reg:64"});
    const auto before = snapshot();
    sandbox_.run({"m"});
    EXPECT_EQ(before, snapshot());

    reg({"add", key, "/v", "DataDirectory", "/t", "REG_SZ", "/d", dataDirectory_, "/f", "/reg:32"});
    const ChildResult result = sandbox_.run({"m"});
    EXPECT_EQ(0u, result.fullExitCode) << result.out;
    EXPECT_NE(std::string::npos, readFile(data("conf\\main.conf")).find("data.version = 13\r\n"));
    reg({"delete", key, "/f", "/reg:64"});
}

bool isReadOnly(const std::string& path) {
    return (fs::status(path).permissions() & fs::owner_write) == 0;
}

// Read-only files of the service do not stop the migration: the working copy of a read-only
// database is writable, and the deletions of the backups and of the session files clear the
// attribute first.
TEST_F(WindowsProgram, ReadOnlyFilesAreMigratedAndRemoved) {
    TestSupport::writeFile(data("study\\session\\upload.tmp"), "partial");
    for (const char* file : {"message\\message.db", "conf\\user.db", "study\\session\\upload.tmp"})
        TestSupport::makeReadOnly(data(file));
    ASSERT_TRUE(isReadOnly(data("message\\message.db")));
    const ChildResult result = sandbox_.run({"m"});
    EXPECT_EQ(0u, result.fullExitCode) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find("Warning: ")) << result.out;
    EXPECT_FALSE(TestSupport::exists(data("study\\session\\upload.tmp")));
    EXPECT_TRUE(isReadOnly(data("message\\message.db"))) << "the migrated file keeps the attribute";
    EXPECT_EQ(std::vector<std::string>{}, leftovers());
}

// Deeper than MAX_PATH: every file name the program hands to the system in the extended-length
// form. (Wine accepts long names without it, so this shows that form works, not that it is needed.)
TEST_F(WindowsProgram, MigratesADataDirectoryBeyondMaxPath) {
    std::string deep = sandbox_.root();
    while (deep.size() < MAX_PATH)
        deep += "\\" + std::string(60, 'd');
    fs::create_directories(deep);
    const std::string longDirectory = deep + "\\data";
    fs::rename(dataDirectory_, longDirectory);
    sandbox_.setDataDirectoryValue(longDirectory);
    const ChildResult result = sandbox_.run({"m"});
    EXPECT_EQ(0u, result.fullExitCode) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("Migration finished successfully.\n")) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find("\\\\?\\")) << "names are shown as given";
}

// The usage text names the program as it was started, read from the UTF-16 command line.
TEST_F(WindowsProgram, TheUsageTextNamesTheProgramInAnyLetters) {
    const std::string folder = sandbox_.root() + "\\N\xc3\xa1stroje \xce\xb1\xce\xb2";
    fs::create_directories(folder);
    const std::string program = folder + "\\migrator.exe";
    fs::copy_file(QELT_MIGRATOR_PATH, program);
    ChildOptions options = sandbox_.options({"h"});
    const ChildResult result = TestSupport::runChild(program, options);
    EXPECT_EQ(0u, result.fullExitCode);
    EXPECT_NE(std::string::npos, result.out.find(program + " [harmi]")) << result.out;
}

// One resource of the built program, empty when it has none.
std::string resource(const std::string& program, LPCWSTR type) {
    const HMODULE module = LoadLibraryExW(fs::path(program).wstring().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return std::string();
    std::string bytes;
    if (const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), type)) {
        const HGLOBAL loaded = LoadResource(module, found);
        bytes.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, found));
    }
    FreeLibrary(module);
    return bytes;
}

bool containsUtf16(const std::string& bytes, const std::string& ascii) {
    std::string units;
    for (char c : ascii)
        units += std::string{c, '\0'};
    return bytes.find(units) != std::string::npos;
}

// The manifest that keeps Windows from virtualising the program's files and registry and
// declares it long-path aware, and the version the file's properties show.
TEST(WindowsResources, TheProgramCarriesItsManifestAndVersion) {
    const std::string manifest = resource(QELT_MIGRATOR_PATH, MAKEINTRESOURCEW(24));
    EXPECT_NE(std::string::npos, manifest.find("<requestedExecutionLevel level=\"asInvoker\"")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find(">true</longPathAware>")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}")) << manifest;

    const std::string version = resource(QELT_MIGRATOR_PATH, MAKEINTRESOURCEW(16));
    const std::string signature = "\xbd\x04\xef\xfe";
    const std::size_t fixed = version.find(signature);
    ASSERT_NE(std::string::npos, fixed);
    VS_FIXEDFILEINFO info{};
    ASSERT_LE(fixed + sizeof info, version.size());
    std::memcpy(&info, version.data() + fixed, sizeof info);
    const DWORD major13 = 13u << 16;
    EXPECT_EQ(major13, info.dwFileVersionMS);
    EXPECT_EQ(0u, info.dwFileVersionLS);
    EXPECT_EQ(major13, info.dwProductVersionMS);
    for (const char* text : {"13.0.0.0", "Qelt service data migrator", "migrator.exe", "Quorlin Software"})
        EXPECT_TRUE(containsUtf16(version, text)) << text;
}

} // namespace
