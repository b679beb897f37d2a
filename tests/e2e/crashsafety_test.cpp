// The migrator program killed at any moment loses nothing: each run is killed with SIGKILL,
// then the program is run again until it ends normally, and the data directory must equal the
// one an uninterrupted migration leaves, database table by table and file by file.
#include "e2e/transcript.hpp"

#include "fixtures/v12data.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <map>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using TestSupport::MigratorSandbox;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Every value of a query as its SQLite type and text, so NULL, numbers and texts stay apart.
std::vector<std::string> queryRows(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    std::vector<std::string> rows;
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        std::string row;
        for (int column = 0; column < sqlite3_column_count(statement); ++column) {
            const int type = sqlite3_column_type(statement, column);
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_blob(statement, column));
            row += std::to_string(type) + ":" +
                   std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) +
                   "|";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(statement);
    if (step != SQLITE_DONE)
        throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The schema and, for every table, its sorted rows.
std::map<std::string, std::vector<std::string>> databaseContent(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path);
    }
    std::map<std::string, std::vector<std::string>> content;
    try {
        content["(schema)"] = queryRows(db, "SELECT type, name, tbl_name, sql FROM sqlite_master");
        for (const std::string& row : queryRows(db, "SELECT name FROM sqlite_master WHERE type = 'table'")) {
            const std::string name = row.substr(row.find(':') + 1, row.size() - row.find(':') - 2);
            content[name] = queryRows(db, "SELECT * FROM \"" + name + "\"");
        }
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    return content;
}

// The data directory without the log: databases by content, other files by bytes.
struct DirectoryState {
    std::vector<std::string> names;
    std::map<std::string, std::map<std::string, std::vector<std::string>>> databases;
    std::map<std::string, std::string> files;
};

DirectoryState stateOf(const std::string& directory) {
    DirectoryState state;
    for (const std::string& file : TestSupport::listFiles(directory)) {
        if (E2e::startsWith(file, "log/"))
            continue;
        state.names.push_back(file);
        if (endsWith(file, ".db"))
            state.databases[file] = databaseContent(directory + "/" + file);
        else
            state.files[file] = TestSupport::readFile(directory + "/" + file);
    }
    return state;
}

void expectEqualStates(const DirectoryState& expected, const DirectoryState& actual, const std::string& point) {
    EXPECT_EQ(expected.names, actual.names) << point;
    for (const auto& [file, tables] : expected.databases) {
        const auto found = actual.databases.find(file);
        if (found == actual.databases.end())
            continue;
        for (const auto& [table, rows] : tables) {
            const auto other = found->second.find(table);
            EXPECT_TRUE(other != found->second.end() && rows == other->second) << point << ": " << file << " " << table;
        }
        EXPECT_EQ(tables.size(), found->second.size()) << point << ": " << file;
    }
    for (const auto& [file, content] : expected.files) {
        const auto found = actual.files.find(file);
        if (found != actual.files.end()) {
            EXPECT_EQ(content, found->second) << point << ": " << file;
        }
    }
}

// The migrator started on a sandbox with its output thrown away, so the test can kill it.
class StartedMigrator {
public:
    explicit StartedMigrator(const MigratorSandbox& sandbox) {
        std::vector<std::string> environment = {"QELT_REGISTRY_FILE=" + sandbox.registryFile(),
                                                "QELT_COMMON_APPDATA=" + sandbox.allUsersFolder()};
        for (char** entry = environ; *entry; ++entry) {
            const std::string variable = *entry;
            if (!E2e::startsWith(variable, "QELT_REGISTRY_FILE=") && !E2e::startsWith(variable, "QELT_COMMON_APPDATA="))
                environment.push_back(variable);
        }
        std::vector<char*> envp;
        for (std::string& variable : environment)
            envp.push_back(variable.data());
        envp.push_back(nullptr);
        std::string program = sandbox.program();
        std::string command = "m";
        char* argv[] = {program.data(), command.data(), nullptr};
        const std::string workingDirectory = sandbox.workingDirectory();
        pid_ = ::fork();
        if (pid_ < 0)
            throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            if (::chdir(workingDirectory.c_str()) != 0)
                ::_exit(127);
            ::execve(argv[0], argv, envp.data());
            ::_exit(127);
        }
    }
    ~StartedMigrator() { kill(); }

    // True while the program has not ended.
    bool running() {
        if (pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_)
            pid_ = -1;
        return pid_ > 0;
    }
    // Kills the program if it still runs; true when it was killed by this call.
    bool kill() {
        if (!running())
            return false;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        pid_ = -1;
        return WIFSIGNALED(status_);
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
};

bool lockedElsewhere(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

Fixtures::V12Options smallData() {
    Fixtures::V12Options options;
    options.folders = 2;
    options.jobs = 3;
    options.events = 30;
    options.deletedJobs = 6;
    options.messages = 6;
    options.users = 3;
    options.notificationRules = 3;
    options.institutions = 3;
    options.sessionFiles = 2;
    return options;
}

class CrashSafetyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        source_ = new TestSupport::TemporaryDirectory;
        Fixtures::createV12DataDirectory(*source_ / "data", smallData());
    }
    static void TearDownTestSuite() {
        delete source_;
        source_ = nullptr;
    }

    // A sandbox whose data directory is a fresh copy of the version-12 data.
    static std::unique_ptr<MigratorSandbox> freshCopy() {
        auto sandbox = std::make_unique<MigratorSandbox>(QELT_MIGRATOR_PATH);
        fs::copy(*source_ / "data", sandbox->dataDirectory(), fs::copy_options::recursive);
        return sandbox;
    }

    // Runs the migrator until it ends with 0 or 1, at most three times; false otherwise.
    static bool migrateToTheEnd(const MigratorSandbox& sandbox, std::string& transcript) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const TestSupport::ChildResult result = sandbox.run({"m"});
            transcript += result.out;
            if (result.exitCode == 0 || result.exitCode == 1)
                return true;
        }
        return false;
    }

    static TestSupport::TemporaryDirectory* source_;
};

TestSupport::TemporaryDirectory* CrashSafetyTest::source_ = nullptr;

TEST_F(CrashSafetyTest, KilledMigrationEndsAsTheUninterruptedOne) {
    const auto reference = freshCopy();
    const Clock::time_point start = Clock::now();
    const TestSupport::ChildResult referenceRun = reference->run({"m"});
    const auto duration = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    ASSERT_EQ(0, referenceRun.exitCode) << referenceRun.out;
    ASSERT_TRUE(reference->leftovers().empty());
    const DirectoryState expected = stateOf(reference->dataDirectory());

    std::atomic<int> killPoints{0};
    std::atomic<int> interrupted{0};
    auto check = [&](const MigratorSandbox& sandbox, const std::string& point) {
        std::string transcript;
        EXPECT_TRUE(migrateToTheEnd(sandbox, transcript)) << point << "\n" << transcript;
        EXPECT_TRUE(sandbox.leftovers().empty()) << point;
        expectEqualStates(expected, stateOf(sandbox.dataDirectory()), point);
        ++killPoints;
    };

    // Kill delays spread from 0 to a little beyond the reference run, since two runs share the
    // machine below.
    const int delays = 40;
    auto killAfterDelay = [&](int index) {
        const auto sandbox = freshCopy();
        const auto delay = duration * 6 * index / (5 * (delays - 1));
        StartedMigrator migrator(*sandbox);
        std::this_thread::sleep_for(delay);
        interrupted += migrator.kill() ? 1 : 0;
        check(*sandbox, "killed after " + std::to_string(delay.count()) + " us");
    };

    // Moments of the steps, the swap and the backup removal, found by polling for the files
    // they make or delete.
    enum Change { Appears, Vanishes, Empties };
    const std::vector<std::pair<std::string, Change>> moments = {
        {"record/rm.db.new", Appears},   {"conf/main.conf.new", Appears},
        {"institution/institution.db.bak", Appears}, {"study/jobs.db.bak", Appears},
        {"conf/main.conf.bak", Appears}, {"conf/main.conf.new", Vanishes},
        {"study/session", Empties},      {"conf/user.db.bak", Vanishes},
    };
    auto killAtMoment = [&](const std::string& file, Change change) {
        const auto sandbox = freshCopy();
        const std::string path = sandbox->data(file);
        StartedMigrator migrator(*sandbox);
        bool seen = false;
        bool lockHeld = true;
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
        while (migrator.running() && Clock::now() < deadline) {
            std::error_code error;
            const bool present = fs::exists(path, error);
            bool reached = false;
            if (change == Appears)
                reached = present;
            else if (change == Vanishes)
                reached = seen && !present;
            else
                reached = present && fs::is_empty(path, error) && !error;
            seen = seen || present;
            if (reached) {
                if (endsWith(file, ".new"))
                    lockHeld = lockedElsewhere(sandbox->dataDirectory());
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const bool killed = migrator.kill();
        EXPECT_TRUE(lockHeld || !killed) << "no lock at the appearance of " << file;
        interrupted += killed ? 1 : 0;
        check(*sandbox, "change of " + file);
    };

    // Two workers share the kill points, one per core.
    const int points = delays + static_cast<int>(moments.size());
    auto worker = [&](int first) {
        for (int index = first; index < points; index += 2) {
            if (index < delays)
                killAfterDelay(index);
            else
                killAtMoment(moments[index - delays].first, moments[index - delays].second);
        }
    };
    std::thread second(worker, 1);
    worker(0);
    second.join();

    RecordProperty("killPoints", killPoints.load());
    RecordProperty("interruptedRuns", interrupted.load());
    std::cout << "[ crash    ] " << killPoints << " kill points tried, " << interrupted
              << " runs interrupted; reference run " << duration.count() / 1000 << " ms\n";
    EXPECT_GE(killPoints, 40);
    EXPECT_GT(interrupted, delays / 2);
}

} // namespace
