// Files the migrator did not make are never a source of data and are never removed by it: an
// administrator's backups, stale copies of earlier runs, rule files moved aside, a backup that
// links to a database elsewhere, live transfer sessions of a migrated service. Each case ends
// as the run on the same data without them, with and without a killed run before.
#include "e2e/directorystate.hpp"

#include "fixtures/v12data.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using TestSupport::MigratorSandbox;
using TestSupport::writeFile;

void execute(const std::string& database, const std::string& sql) {
    sqlite3* db = nullptr;
    const bool done = sqlite3_open(database.c_str(), &db) == SQLITE_OK &&
                      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    if (!done)
        throw std::runtime_error(database + ": " + sql);
}

class LeftoversTest : public ::testing::Test {
protected:
    // Version-12 data whose sending rules the administrator disabled by moving the file aside,
    // and the directory that a migration of it leaves.
    static void SetUpTestSuite() {
        base_ = new TestSupport::TemporaryDirectory;
        Fixtures::createV12DataDirectory(*base_ / "data", Fixtures::smallV12Options());
        fs::rename(*base_ / "data/conf/sending.json", *base_ / "data/conf/sending.json.bak");
        const auto reference = copyOfBase();
        const TestSupport::ChildResult run = reference->run({"m"});
        if (run.exitCode != 0)
            throw std::runtime_error("reference migration failed:\n" + run.out);
        migrated_ = new E2e::DirectoryState(E2e::stateOf(reference->dataDirectory()));
    }
    static void TearDownTestSuite() {
        delete migrated_;
        delete base_;
    }

    static std::unique_ptr<MigratorSandbox> copyOfBase() {
        auto sandbox = std::make_unique<MigratorSandbox>(QELT_MIGRATOR_PATH);
        fs::copy(*base_ / "data", sandbox->dataDirectory(), fs::copy_options::recursive);
        return sandbox;
    }

    // What administrators and failed runs leave beside version-12 files: an older copy of the
    // jobs database, copies of a failed swap, an administrator's copy of the retired database
    // and a backup that is a link to a database outside the data directory.
    static void addForeignLeftovers(const MigratorSandbox& sandbox) {
        fs::copy_file(sandbox.data("study/jobs.db"), sandbox.data("study/jobs.db.bak"));
        execute(sandbox.data("study/jobs.db.bak"), "DELETE FROM jobs");
        writeFile(sandbox.data("conf/main.conf.new"), "[data]\nversion = 13\n");
        writeFile(sandbox.data("conf/user.db.new"), "stale copy");
        writeFile(sandbox.data("institution/institution.db.bak"), "administrator's copy");
        fs::create_directories(sandbox.root() + "/outside");
        fs::copy_file(sandbox.data("record/rm.db"), sandbox.root() + "/outside/rm.db");
        fs::create_symlink(sandbox.root() + "/outside/rm.db", sandbox.data("record/rm.db.bak"));
    }

    // Live sessions of a running version-13 service, an administrator's backup and stale copies.
    static void addLeftoversOfAMigratedService(const MigratorSandbox& sandbox) {
        writeFile(sandbox.data("study/session/transfer.part"), "live transfer");
        fs::create_directories(sandbox.data("study/session/incoming"));
        execute(sandbox.data("study/session/incoming/job.db"), "CREATE TABLE jobs(jobId INTEGER);INSERT INTO jobs VALUES(7)");
        writeFile(sandbox.data("conf/user.db.bak"), "administrator's copy");
        writeFile(sandbox.data("study/jobs.db.new"), "stale copy");
        writeFile(sandbox.data("conf/main.conf.new"), "[data]\nversion = 12\n");
        writeFile(sandbox.data("institution/institution.db.bak"), "administrator's copy");
    }

    // A copy of the base data with the leftovers, ready to run.
    template <class Leftovers>
    static std::unique_ptr<MigratorSandbox> prepared(Leftovers addLeftovers) {
        auto sandbox = copyOfBase();
        addLeftovers(*sandbox);
        return sandbox;
    }

    // Kills "migrator m" on a sandbox prepared with the leftovers at the first call of the
    // system call whose strace line contains the text, found in a traced run on another one.
    template <class Leftovers>
    static std::unique_ptr<MigratorSandbox> killedAt(Leftovers addLeftovers, const std::string& call,
                                                     const std::string& text) {
        const std::vector<E2e::SystemCall> traced = E2e::tracedCalls(*prepared(addLeftovers), call);
        std::size_t index = 0;
        while (index < traced.size() && traced[index].line.find(text) == std::string::npos)
            ++index;
        if (index == traced.size())
            throw std::runtime_error("no " + call + " of " + text);
        auto sandbox = prepared(addLeftovers);
        const TestSupport::ChildResult run = E2e::runKilledAt(*sandbox, call, E2e::ordinalOf(traced, index));
        EXPECT_EQ(E2e::killedExitCode, run.exitCode) << call << " " << text << "\n" << run.out << run.err;
        return sandbox;
    }

    static TestSupport::TemporaryDirectory* base_;
    static E2e::DirectoryState* migrated_;
};

TestSupport::TemporaryDirectory* LeftoversTest::base_ = nullptr;
E2e::DirectoryState* LeftoversTest::migrated_ = nullptr;

} // namespace

TEST_F(LeftoversTest, AtVersion12NoneIsUsedAndOnlyTheSwapOverwritesBackups) {
    // The swap overwrites the backups of the files it replaces, which go with the other backups;
    // everything else stays as the administrator left it.
    E2e::DirectoryState expected = *migrated_;
    expected["institution/institution.db.bak"] = "administrator's copy";
    EXPECT_EQ(1u, expected.count("conf/sending.json.bak"));
    EXPECT_EQ(0u, expected.count("conf/sending.json"));

    struct Case {
        std::string name;
        std::string call;  // the run before is killed at the first such call naming text
        std::string text;
        int exitCode;      // of the run after it
    };
    const std::vector<Case> cases = {
        {"no run before", "", "", 0},
        {"a run killed in the swap", "rename", "/study/jobs.db.bak\")", 0},
        {"a run killed after the swap", "unlink", "/conf/user.db.bak\")", 1},
    };
    for (const Case& c : cases) {
        const auto sandbox = c.call.empty() ? prepared(addForeignLeftovers)
                                            : killedAt(addForeignLeftovers, c.call, c.text);
        const std::string outside = TestSupport::readFile(sandbox->root() + "/outside/rm.db");
        const TestSupport::ChildResult run = sandbox->run({"m"});
        EXPECT_EQ(c.exitCode, run.exitCode) << c.name << "\n" << run.out;
        EXPECT_EQ("", E2e::differences(expected, E2e::stateOf(sandbox->dataDirectory()))) << c.name;
        EXPECT_EQ(outside, TestSupport::readFile(sandbox->root() + "/outside/rm.db")) << c.name;
    }
}

TEST_F(LeftoversTest, AtVersion13NothingIsTouched) {
    // Migrated without a stop, and migrated by a run killed after its swap and the run after it.
    std::vector<std::unique_ptr<MigratorSandbox>> migrated;
    migrated.push_back(prepared([](const MigratorSandbox& sandbox) { sandbox.run({"m"}); }));
    migrated.push_back(killedAt([](const MigratorSandbox&) {}, "unlink", "/study/session/"));
    EXPECT_EQ(1, migrated.back()->run({"m"}).exitCode);
    for (const auto& sandbox : migrated) {
        EXPECT_EQ("", E2e::differences(*migrated_, E2e::stateOf(sandbox->dataDirectory())));
        addLeftoversOfAMigratedService(*sandbox);
        const E2e::DirectoryState before = E2e::stateOf(sandbox->dataDirectory());
        const TestSupport::ChildResult run = sandbox->run({"m"});
        EXPECT_EQ(1, run.exitCode);
        EXPECT_EQ(E2e::banner + "The current data has already been migrated.\n", run.out);
        EXPECT_EQ("", E2e::differences(before, E2e::stateOf(sandbox->dataDirectory())));
    }
}
