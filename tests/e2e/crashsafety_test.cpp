// The migrator program killed at any dangerous moment loses nothing. A traced run lists every
// rename, deletion and sync the program makes; each is then made the moment of a SIGKILL (the
// call itself is not made), the next run is killed once more after the first such call of its
// own, which falls in its recovery whenever there is one, and a last run ends the migration. The
// data directory must then equal the one an uninterrupted migration leaves, database by
// database and file by file. Two recoveries, of an unfinished and of a committed swap, are
// also killed at every one of their calls.
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
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using TestSupport::MigratorSandbox;

// The calls that change or make durable the names of the data directory.
const char* const dangerousCalls = "rename,renameat,renameat2,unlink,unlinkat,rmdir,fsync,fdatasync";

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

    // Runs the migrator until it ends with 0 or 1, at most three times; the transcripts of
    // the runs, or a report of the failure.
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

// Runs the jobs on two workers, one per core.
void onTwoWorkers(std::size_t count, const std::function<void(std::size_t)>& job) {
    auto worker = [&](std::size_t first) {
        for (std::size_t index = first; index < count; index += 2)
            job(index);
    };
    std::thread second(worker, 1);
    worker(0);
    second.join();
}

// The calls of a traced run up to and including the removal of the migration record: those of
// its recovery when it begins with one.
std::vector<E2e::SystemCall> recoveryCalls(const std::vector<E2e::SystemCall>& traced) {
    for (std::size_t index = 0; index < traced.size(); ++index) {
        if (traced[index].name.compare(0, 6, "unlink") == 0 &&
            traced[index].line.find("/migration.journal\"") != std::string::npos)
            return {traced.begin(), traced.begin() + static_cast<std::ptrdiff_t>(index + 1)};
    }
    return {};
}

TEST_F(CrashSafetyTest, KilledAtEveryDangerousCallEndsAsTheUninterruptedRun) {
    const Clock::time_point start = Clock::now();
    const auto reference = freshCopy();
    const TestSupport::ChildResult referenceRun = reference->run({"m"});
    ASSERT_EQ(0, referenceRun.exitCode) << referenceRun.out;
    const E2e::DirectoryState expected = E2e::stateOf(reference->dataDirectory());
    const std::vector<E2e::SystemCall> calls = E2e::tracedCalls(*freshCopy(), dangerousCalls);
    ASSERT_GT(calls.size(), 20u);

    std::atomic<int> killPoints{0};
    auto endsAsExpected = [&](const MigratorSandbox& sandbox, const std::string& point) {
        std::string transcript;
        EXPECT_TRUE(migrateToTheEnd(sandbox, transcript)) << point << "\n" << transcript;
        EXPECT_EQ("", E2e::differences(expected, E2e::stateOf(sandbox.dataDirectory()))) << point << "\n"
                                                                                          << transcript;
    };

    // Every call of a run, then the first such call of the run after it.
    onTwoWorkers(calls.size(), [&](std::size_t index) {
        const E2e::SystemCall& call = calls[index];
        const int when = E2e::ordinalOf(calls, index);
        const std::string point = "killed at " + call.line;
        const auto sandbox = freshCopy();
        EXPECT_EQ(E2e::killedExitCode, E2e::runKilledAt(*sandbox, call.name, when).exitCode) << point;
        const TestSupport::ChildResult second = E2e::runKilledAt(*sandbox, call.name, 2);
        killPoints += second.exitCode == E2e::killedExitCode ? 2 : 1;
        endsAsExpected(*sandbox, point + ", then at the second " + call.name);
    });

    // Every call of the recovery of an unfinished swap (killed before the record said committed)
    // and of a committed one (killed at its first deletion of a backup).
    for (const bool committed : {false, true}) {
        // The commit is the second rename of the record into place; the first deletion of a
        // backup comes after it.
        std::size_t first = 0;
        for (std::size_t index = 0; index < calls.size(); ++index) {
            const E2e::SystemCall& call = calls[index];
            if (!committed && call.name == "rename" && call.line.find("/migration.journal\"") != std::string::npos)
                first = index;
            if (committed && call.name.compare(0, 6, "unlink") == 0 && call.line.find(".bak\")") != std::string::npos) {
                first = index;
                break;
            }
        }
        ASSERT_NE(0u, first);
        const auto killedOnce = [&] {
            auto sandbox = freshCopy();
            E2e::runKilledAt(*sandbox, calls[first].name, E2e::ordinalOf(calls, first));
            return sandbox;
        };
        const std::vector<E2e::SystemCall> recovery = recoveryCalls(E2e::tracedCalls(*killedOnce(), dangerousCalls));
        ASSERT_GT(recovery.size(), 3u) << calls[first].line;
        onTwoWorkers(recovery.size(), [&](std::size_t index) {
            const std::string point = "killed at " + calls[first].line + ", then in recovery at " + recovery[index].line;
            const auto sandbox = killedOnce();
            const int when = E2e::ordinalOf(recovery, index);
            EXPECT_EQ(E2e::killedExitCode, E2e::runKilledAt(*sandbox, recovery[index].name, when).exitCode) << point;
            killPoints += 2;
            endsAsExpected(*sandbox, point);
        });
    }

    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
    RecordProperty("killPoints", killPoints.load());
    std::cout << "[ crash    ] " << killPoints << " kills at " << calls.size()
              << " dangerous calls of a run and in two recoveries, " << seconds << " s\n";
}

} // namespace
