// The migrator program killed at any dangerous moment loses nothing. A traced run lists every
// rename, deletion and sync the program makes from the writing of its migration record on;
// each is then made the moment of a SIGKILL (the call itself is not made). While the killed run
// left a record, the next run is killed once more after the first such call of its own, which
// falls in its recovery. The recoveries of an unfinished and of a committed swap are also killed
// at every one of their calls. A last run ends the migration, and the data directory must then
// equal the one an uninterrupted migration leaves, database by database and file by file.
#include "e2e/directorystate.hpp"

#include "fixtures/v12data.hpp"
#include "support/migratorsandbox.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using E2e::SystemCall;
using TestSupport::MigratorSandbox;

// The calls that change or make durable the names of the data directory.
const char* const dangerousCalls = "rename,renameat,renameat2,unlink,unlinkat,rmdir,fsync,fdatasync";
const char* const record = "/migration.journal";

bool isDeletion(const SystemCall& call) {
    return call.name.compare(0, 6, "unlink") == 0 || call.name == "rmdir";
}

bool isRename(const SystemCall& call) {
    return call.name.compare(0, 6, "rename") == 0;
}

// The index of the first call at or after from that passes the test; calls.size() when none.
std::size_t find(const std::vector<SystemCall>& calls, std::size_t from,
                 const std::function<bool(const SystemCall&)>& test) {
    while (from < calls.size() && !test(calls[from]))
        ++from;
    return from;
}

bool names(const SystemCall& call, const std::string& text) {
    return call.line.find(text) != std::string::npos;
}

class CrashSafetyTest : public ::testing::Test {
protected:
    // The version-12 data, the directory an uninterrupted migration of it leaves, and the
    // dangerous calls of that migration.
    static void SetUpTestSuite() {
        source_ = new TestSupport::TemporaryDirectory;
        Fixtures::createV12DataDirectory(*source_ / "data", Fixtures::smallV12Options());
        const auto reference = freshCopy();
        const TestSupport::ChildResult run = reference->run({"m"});
        if (run.exitCode != 0)
            throw std::runtime_error("reference migration failed:\n" + run.out);
        expected_ = new E2e::DirectoryState(E2e::stateOf(reference->dataDirectory()));
        calls_ = new std::vector<SystemCall>(E2e::tracedCalls(*freshCopy(), dangerousCalls));
    }
    static void TearDownTestSuite() {
        delete calls_;
        delete expected_;
        delete source_;
    }

    // A sandbox whose data directory is a fresh copy of the version-12 data.
    static std::unique_ptr<MigratorSandbox> freshCopy() {
        auto sandbox = std::make_unique<MigratorSandbox>(QELT_MIGRATOR_PATH);
        fs::copy(*source_ / "data", sandbox->dataDirectory(), fs::copy_options::recursive);
        return sandbox;
    }

    static const std::vector<SystemCall>& calls() { return *calls_; }

    // The first dangerous call of the swap: the sync of the record written beside its place.
    static std::size_t swapBegins() {
        const std::size_t rename = find(calls(), 0, [](const SystemCall& call) { return names(call, record); });
        EXPECT_TRUE(rename > 0 && rename < calls().size());
        return rename - 1;
    }

    // The rename that puts the committed record in place: the second rename of the record.
    static std::size_t commit() {
        const auto renamesRecord = [](const SystemCall& call) { return isRename(call) && names(call, record); };
        const std::size_t commit = find(calls(), find(calls(), 0, renamesRecord) + 1, renamesRecord);
        EXPECT_LT(commit, calls().size());
        return commit;
    }

    // A fresh copy killed at the call.
    static std::unique_ptr<MigratorSandbox> killedAt(const std::vector<SystemCall>& calls, std::size_t index) {
        auto sandbox = freshCopy();
        const int exitCode = E2e::runKilledAt(*sandbox, calls[index].name, E2e::ordinalOf(calls, index)).exitCode;
        EXPECT_EQ(E2e::killedExitCode, exitCode) << calls[index].line;
        return sandbox;
    }

    // Runs the migrator until it ends with 0 or 1, at most three times, and compares the data
    // directory with the uninterrupted migration's.
    static void expectEndAsUninterrupted(const MigratorSandbox& sandbox, const std::string& point) {
        const E2e::Ending ending = E2e::runUntilEnded(sandbox);
        EXPECT_TRUE(ending.ended) << point << "\n" << ending.transcript;
        EXPECT_EQ("", E2e::differences(*expected_, E2e::stateOf(sandbox.dataDirectory()))) << point << "\n"
                                                                                           << ending.transcript;
    }

    // Kills a run at each call of the range, and the run after it at the second call of the
    // same system call while the first left a record; returns the number of kills.
    static int killEachCall(std::size_t first, std::size_t end) {
        std::atomic<int> kills{0};
        E2e::onTwoWorkers(end - first, [&](std::size_t offset) {
            const std::size_t index = first + offset;
            const std::string point = "killed at " + calls()[index].line;
            const auto sandbox = killedAt(calls(), index);
            ++kills;
            if (fs::exists(sandbox->dataDirectory() + record)) {
                kills += E2e::runKilledAt(*sandbox, calls()[index].name, 2).exitCode == E2e::killedExitCode;
                expectEndAsUninterrupted(*sandbox, point + ", then at the second " + calls()[index].name);
            } else {
                expectEndAsUninterrupted(*sandbox, point);
            }
        });
        return kills;
    }

    // Kills a run at the call, then the recovery of the run after it at each of its calls;
    // returns the number of kills.
    static int killEachCallOfTheRecoveryAfter(std::size_t index) {
        const std::vector<SystemCall> traced = E2e::tracedCalls(*killedAt(calls(), index), dangerousCalls);
        const std::size_t end =
            find(traced, 0, [](const SystemCall& call) { return isDeletion(call) && names(call, record); });
        EXPECT_LT(end, traced.size()) << "no recovery after " << calls()[index].line;
        const std::vector<SystemCall> recovery(traced.begin(), traced.begin() + static_cast<std::ptrdiff_t>(end + 1));
        std::atomic<int> kills{0};
        E2e::onTwoWorkers(recovery.size(), [&](std::size_t second) {
            const std::string point = "killed at " + calls()[index].line + ", then in recovery at " + recovery[second].line;
            const auto sandbox = killedAt(calls(), index);
            const int when = E2e::ordinalOf(recovery, second);
            EXPECT_EQ(E2e::killedExitCode, E2e::runKilledAt(*sandbox, recovery[second].name, when).exitCode) << point;
            kills += 2;
            expectEndAsUninterrupted(*sandbox, point);
        });
        return kills;
    }

    static void report(const std::string& what, int kills, Clock::time_point start) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
        ::testing::Test::RecordProperty("killPoints", kills);
        std::cout << "[ crash    ] " << kills << " kills " << what << ", " << seconds << " s\n";
    }

    static TestSupport::TemporaryDirectory* source_;
    static E2e::DirectoryState* expected_;
    static std::vector<SystemCall>* calls_;
};

TestSupport::TemporaryDirectory* CrashSafetyTest::source_ = nullptr;
E2e::DirectoryState* CrashSafetyTest::expected_ = nullptr;
std::vector<SystemCall>* CrashSafetyTest::calls_ = nullptr;

TEST_F(CrashSafetyTest, KilledAtEveryCallOfTheSwapEndsAsTheUninterruptedRun) {
    const Clock::time_point start = Clock::now();
    const int kills = killEachCall(swapBegins(), commit() + 1);
    report("at the " + std::to_string(commit() + 1 - swapBegins()) + " calls of the swap up to its commit", kills,
           start);
}

TEST_F(CrashSafetyTest, KilledAtEveryCallAfterTheCommitEndsAsTheUninterruptedRun) {
    const Clock::time_point start = Clock::now();
    const int kills = killEachCall(commit() + 1, calls().size());
    report("at the " + std::to_string(calls().size() - commit() - 1) +
               " calls after the commit (session, backups, record)",
           kills, start);
}

TEST_F(CrashSafetyTest, KilledAgainAtEveryCallOfTheRecoveryOfAnUnfinishedSwap) {
    const Clock::time_point start = Clock::now();
    report("in the recovery of a swap killed before its commit", killEachCallOfTheRecoveryAfter(commit()), start);
}

TEST_F(CrashSafetyTest, KilledAgainAtEveryCallOfTheRecoveryOfACommittedSwap) {
    const Clock::time_point start = Clock::now();
    const std::size_t firstDeletion = find(calls(), commit(), isDeletion);
    ASSERT_LT(firstDeletion, calls().size());
    report("in the recovery of a committed swap", killEachCallOfTheRecoveryAfter(firstDeletion), start);
}

} // namespace
