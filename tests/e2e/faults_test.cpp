// The migrator run as a program while a directory stands where it writes a file, a database is
// locked or damaged: every such run has to report the failure, end with the failure exit code and
// leave each original file of the data directory as it was.
#include "e2e/faultchecks.hpp"

#include "fixtures/v12data.hpp"
#include "support/childprocess.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"
#include "support/platform.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <thread>

namespace {

using namespace FaultChecks;
namespace fs = std::filesystem;

TEST(FaultObstacles, ADirectoryWhereAFileIsWrittenFailsTheMigrationCleanly)
{
    struct Case {
        std::string directory;  // made non-empty where the migrator writes a file
        bool swap;              // the failure comes in the final replacement
    };
    const std::vector<Case> cases{
        {"study/jobs.db.new", false},         {"study/f0001/job.db.new", false},
        {"study/deleted.db.new", false},      {"conf/sending.json.new", false},
        {"conf/storing.json.new", false},     {"conf/main.conf.new", false},
        {"conf/notification.db.bak", true},   {"record/rm.db.bak", true},
        {"conf/main.conf.bak", true},
    };
    for (const Case& c : cases) {
        TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallDirectory());
        const std::string obstacle = sandbox.data(c.directory);
        TestSupport::writeFile(obstacle + "/keep.txt", "not to be deleted");
        const Snapshot before = originals(sandbox.dataDirectory(), c.directory + "/");

        const auto result = sandbox.run({"m"});
        if (c.swap) {
            const std::string file = obstacle.substr(0, obstacle.size() - 4);
            EXPECT_EQ(result.exitCode, 255) << c.directory << "\n" << result.out;
            EXPECT_EQ(lastLine(result.out), "Error: Migration failed.") << c.directory << "\n" << result.out;
            EXPECT_NE(result.out.find("Error: Renaming the file '" + file + "' to '" + obstacle + "' failed. Details: "),
                      std::string::npos)
                << result.out;
            for (const std::string& leftover : sandbox.leftovers())
                EXPECT_FALSE(endsWith(leftover, ".bak")) << c.directory << ": " << leftover;
        } else {
            expectStepFailure(result, obstacle, c.directory);
        }
        EXPECT_EQ(TestSupport::readFile(obstacle + "/keep.txt"), "not to be deleted") << c.directory;
        EXPECT_EQ(joined(differences(before, originals(sandbox.dataDirectory(), c.directory + "/"))), "")
            << c.directory;
    }
}

TEST(FaultLock, ADatabaseLockedForAWhileIsWaitedForAndMigrated)
{
    TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallDirectory());
    const std::string messages = sandbox.data("message/message.db");
    const std::int64_t messageCount = Fixtures::Database(messages).integer("SELECT count(*) FROM Messages");

    auto holder = std::make_unique<Fixtures::Database>(messages);
    holder->exec("BEGIN EXCLUSIVE");
    TestSupport::RunningChild child(sandbox.program(), sandbox.options({"m"}));
    ASSERT_TRUE(child.waitForOutput("Migrating messages...", 60)) << "the message step did not start";
    std::this_thread::sleep_for(std::chrono::seconds(2));
    // The lock ends as a stopping service's does: its connection closes, rolling the transaction
    // back and closing the file, which Windows would not let the swap rename while it is open.
    holder.reset();
    const TestSupport::ChildResult result = child.finish();
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("Migration finished successfully."), std::string::npos) << result.out;
    EXPECT_EQ(Fixtures::Database(messages).integer("SELECT count(*) FROM Messages"), messageCount);
    EXPECT_EQ(Fixtures::Database(messages).columns("Messages").size(), 12u);
}

std::string randomBytes(std::size_t count, std::uint32_t seed)
{
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(count, '\0');
    for (char& c : bytes)
        c = static_cast<char>(byte(generator));
    return bytes;
}

// Switches the database to a write-ahead log and leaves a change in the log when the connection
// closes, as a service stopped before a checkpoint does.
void leaveWriteAheadLog(const std::string& path)
{
    Fixtures::Database db(path);
    db.exec("PRAGMA journal_mode=WAL");
    int persist = 1;
    ASSERT_EQ(sqlite3_file_control(db.handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist), SQLITE_OK);
    ASSERT_EQ(sqlite3_db_config(db.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr), SQLITE_OK);
    db.exec("PRAGMA wal_autocheckpoint=0; UPDATE Messages SET rowid = rowid");
}

TEST(FaultDamage, ADamagedDatabaseFailsTheMigrationCleanly)
{
    struct Case {
        std::string name;
        std::function<void(const std::string& data)> damage;
        std::string reason;
    };
    const std::vector<Case> cases{
        {"random bytes as conf/user.db",
         [](const std::string& data) { TestSupport::writeFile(data + "/conf/user.db", randomBytes(8192, 7)); },
         "file is not a database"},
        {"conf/user.db with its header overwritten",
         [](const std::string& data) {
             std::string bytes = TestSupport::readFile(data + "/conf/user.db");
             const std::string noise = randomBytes(100, 9);
             bytes.replace(0, noise.size(), noise);
             TestSupport::writeFile(data + "/conf/user.db", bytes);
         },
         TestSupport::nativeSeparators("conf/user.db")},
        {"study/jobs.db without its jobs table",
         [](const std::string& data) { Fixtures::Database(data + "/study/jobs.db").exec("DROP TABLE jobs"); },
         "jobs"},
        {"study/deleted.db without its deletedJobs table",
         [](const std::string& data) { Fixtures::Database(data + "/study/deleted.db").exec("DROP TABLE deletedJobs"); },
         TestSupport::nativeSeparators("study/deleted.db")},
        {"record/rm.db cut to half its length",
         [](const std::string& data) {
             const std::string path = data + "/record/rm.db";
             fs::resize_file(path, fs::file_size(path) / 2);
         },
         TestSupport::nativeSeparators("record/rm.db")},
        {"an empty conf/notification.db",
         [](const std::string& data) { TestSupport::writeFile(data + "/conf/notification.db", ""); },
         TestSupport::nativeSeparators("conf/notification.db")},
        {"a journal left beside record/rm.db by an interrupted write",
         [](const std::string& data) { TestSupport::writeFile(data + "/record/rm.db-journal", randomBytes(1024, 3)); },
         TestSupport::nativeSeparators("record/rm.db-journal")},
        {"changes of message/message.db not yet checkpointed from its write-ahead log",
         [](const std::string& data) { leaveWriteAheadLog(data + "/message/message.db"); }, TestSupport::nativeSeparators("message/message.db-wal")},
    };
    for (const Case& c : cases) {
        TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallDirectory());
        c.damage(sandbox.dataDirectory());
        const Snapshot before = originals(sandbox.dataDirectory());

        const auto result = sandbox.run({"m"});
        expectStepFailure(result, c.reason, c.name);
        EXPECT_EQ(joined(differences(before, originals(sandbox.dataDirectory()))), "") << c.name;
    }
}

} // namespace
