#include "migrator/service/datalock.hpp"
#include "migrator/service/exceptions.hpp"
#include "migrator/service/framework.hpp"
#include "migrator/service/record.hpp"
#include "migrator/service/recovery.hpp"

#include "support/filecontent.hpp"
#include "support/frameworkdouble.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

namespace {

using Migration::MigrationRecord;
using TestSupport::exists;
using TestSupport::listFiles;
using TestSupport::readFile;
using TestSupport::writeFile;

// A framework that keeps its migration record in the directory given.
class Recording : public TestSupport::FrameworkDouble {
public:
    explicit Recording(const std::string& directory = std::string())
        : FrameworkDouble("none"), directory_(directory) {}

protected:
    std::string recordDirectory() const override { return directory_; }

private:
    std::string directory_;
};

class RecoveryTest : public ::testing::Test {
protected:
    std::string path(const std::string& relative) const { return data / relative; }

    // Every file below the data directory with its content.
    std::map<std::string, std::string> contents() const {
        std::map<std::string, std::string> files;
        for (const std::string& file : listFiles(data.path()))
            files[file] = readFile(path(file));
        return files;
    }

    void writeRecordText(const std::string& text) const { writeFile(Migration::recordFile(data.path()), text); }

    TestSupport::TemporaryDirectory data;
};

TEST_F(RecoveryTest, WithoutARecordNothingIsTouched) {
    // What an earlier failed run, an administrator and a live service leave: backups beside
    // their files, a moved-aside rule file, a stale copy, a configuration copy, transfer sessions.
    writeFile(path("conf/main.conf"), "[data]\nversion=12\n");
    writeFile(path("conf/main.conf.new"), "[data]\nversion=13\n");
    writeFile(path("study/jobs.db"), "live jobs");
    writeFile(path("study/jobs.db.bak"), "older jobs");
    writeFile(path("conf/sending.json.bak"), "rules set aside");
    writeFile(path("institution/institution.db.bak"), "kept");
    writeFile(path("conf/user.db.new"), "stale copy");
    writeFile(path("study/session/transfer.tmp"), "session");
    writeFile(Migration::recordFile(data.path()) + ".new", "half a record");
    for (const char* version : {"12", "13"}) {
        writeFile(path("conf/main.conf"), std::string("[data]\nversion=") + version + "\n");
        std::map<std::string, std::string> before = contents();
        before.erase("migration.journal.new");
        Recording framework;
        Migration::recoverInterruptedMigration(framework, data.path());
        EXPECT_EQ(before, contents()) << version;
        EXPECT_EQ("", framework.console.str());
    }
}

TEST_F(RecoveryTest, UnfinishedSwapIsUndoneWhereItBegan) {
    // a.db not reached yet (the backup beside it is the administrator's), b.db renamed to its
    // backup, c.db swapped completely, main.conf too; retired file and session untouched.
    writeFile(path("a.db"), "old a");
    writeFile(path("a.db.new"), "new a");
    writeFile(path("a.db.bak"), "administrator's a");
    writeFile(path("b.db.bak"), "old b");
    writeFile(path("b.db.new"), "new b");
    writeFile(path("sub/c.db"), "new c");
    writeFile(path("sub/c.db.bak"), "old c");
    writeFile(path("conf/main.conf"), "[data]\nversion=13\n");
    writeFile(path("conf/main.conf.bak"), "[data]\nversion=12\n");
    writeFile(path("retired.db"), "retired");
    writeFile(path("session/part"), "session");
    MigrationRecord record;
    record.replaced = {path("a.db"), path("b.db"), path("sub/c.db"), path("conf/main.conf")};
    record.retired = {path("retired.db")};
    record.cleared = {path("session")};
    Migration::writeRecord(data.path(), record);

    Recording framework;
    Migration::recoverInterruptedMigration(framework, data.path());

    const std::map<std::string, std::string> expected = {
        {"a.db", "old a"},       {"a.db.new", "new a"},   {"a.db.bak", "administrator's a"},
        {"b.db", "old b"},       {"b.db.new", "new b"},   {"sub/c.db", "old c"},
        {"retired.db", "retired"}, {"session/part", "session"}, {"conf/main.conf", "[data]\nversion=12\n"}};
    EXPECT_EQ(expected, contents());
    EXPECT_EQ("Undoing the unfinished migration recorded in '" + Migration::recordFile(data.path()) + "'.\n" +
                  "Reverting a replacement of the file '" + path("conf/main.conf") + "'.\n" +
                  "Reverting a replacement of the file '" + path("sub/c.db") + "'.\n" +
                  "Reverting a replacement of the file '" + path("b.db") + "'.\n",
              framework.console.str());

    // The record is gone: a second recovery changes nothing.
    Migration::recoverInterruptedMigration(framework, data.path());
    EXPECT_EQ(expected, contents());
}

TEST_F(RecoveryTest, CommittedRecordFinishesTheRemovalOfWhatItNames) {
    writeFile(path("a.db"), "new a");
    writeFile(path("a.db.bak"), "old a");
    writeFile(path("conf/main.conf"), "[data]\nversion=13\n");
    writeFile(path("other.db.bak"), "administrator's");
    writeFile(path("session/part"), "session");
    writeFile(path("session/job/job.db"), "session job");
    writeFile(path("retired.db"), "retired");
    MigrationRecord record;
    record.state = MigrationRecord::State::Committed;
    record.replaced = {path("a.db"), path("conf/main.conf")};
    record.retired = {path("retired.db")};
    record.cleared = {path("session")};
    Migration::writeRecord(data.path(), record);

    Recording framework;
    Migration::recoverInterruptedMigration(framework, data.path());

    const std::map<std::string, std::string> expected = {
        {"a.db", "new a"}, {"conf/main.conf", "[data]\nversion=13\n"}, {"other.db.bak", "administrator's"}};
    EXPECT_EQ(expected, contents());
    EXPECT_TRUE(exists(path("session")));
    EXPECT_EQ("Finishing the migration recorded in '" + Migration::recordFile(data.path()) + "'.\n" +
                  "Deleting file '" + path("a.db.bak") + "'.\n" + "Deleting file '" + path("conf/main.conf.bak") +
                  "'.\n" + "Deleting file '" + path("retired.db") + "'.\n",
              framework.console.str());
}

TEST_F(RecoveryTest, RecordThatCannotBeTrustedStopsBeforeAnyChange) {
    writeFile(path("a.db"), "new a");
    writeFile(path("a.db.bak"), "old a");
    const std::string head = "Qelt service migration record 1\nstate committed\n";
    const std::string file = Migration::recordFile(data.path());
    const std::vector<std::pair<std::string, std::string>> unreadable = {
        {"", "it does not end with a complete line"},
        {"garbage\n", "its first line is not \"Qelt service migration record 1\""},
        {head + "replace a.db\n", "its last line is not \"end\""},
        {head + "replace a.db\nend", "it does not end with a complete line"},
        {"Qelt service migration record 1\nstate done\nend\n", "line 2 is not a known state"},
        {head + "rename a.db\nend\n", "line 3 is not an entry of a record"},
        {head + "replace a%2\nend\n", "line 3 is not an entry of a record"},
    };
    for (const auto& [text, reason] : unreadable) {
        writeRecordText(text);
        const std::map<std::string, std::string> before = contents();
        Recording framework;
        try {
            Migration::recoverInterruptedMigration(framework, data.path());
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Migration::Exceptions::RecordUnreadable& e) {
            EXPECT_EQ("The migration record '" + file + "' cannot be used: " + reason, e.what());
        }
        EXPECT_EQ(before, contents()) << text;
    }
    for (const std::string outside : {"../a.db", "/etc/passwd", "conf/../../a.db", "conf//a.db", "./a.db", "C:\\a.db"}) {
        writeRecordText(head + "retire " + outside + "\nend\n");
        const std::map<std::string, std::string> before = contents();
        Recording framework;
        try {
            Migration::recoverInterruptedMigration(framework, data.path());
            ADD_FAILURE() << "accepted: " << outside;
        } catch (const Migration::Exceptions::RecordPathOutside& e) {
            EXPECT_EQ("The migration record '" + file + "' names '" + outside +
                          "', which is not inside the data directory",
                      e.what());
        }
        EXPECT_EQ(before, contents()) << outside;
    }
}

TEST_F(RecoveryTest, RecordKeepsEveryNameExactly) {
    MigrationRecord record;
    record.replaced = {path("study/line\nbreak/job.db"), path("study/100%/job.db"), path("conf/main.conf")};
    record.retired = {path("institution/institution.db")};
    record.cleared = {path("study/session")};
    Migration::writeRecord(data.path(), record);
    const std::optional<MigrationRecord> read = Migration::readRecord(data.path());
    ASSERT_TRUE(read);
    EXPECT_EQ(MigrationRecord::State::Swapping, read->state);
    EXPECT_EQ(record.replaced, read->replaced);
    EXPECT_EQ(record.retired, read->retired);
    EXPECT_EQ(record.cleared, read->cleared);
    EXPECT_EQ(std::vector<std::string>{"migration.journal"}, listFiles(data.path()));

    TestSupport::TemporaryDirectory elsewhere;
    record.retired = {elsewhere / "institution.db"};
    EXPECT_THROW(Migration::writeRecord(data.path(), record), Migration::Exceptions::RecordPathOutside);
    EXPECT_EQ(Migration::MigrationRecord::State::Swapping, Migration::readRecord(data.path())->state);
    EXPECT_TRUE(Migration::removeRecord(data.path()));
    EXPECT_FALSE(Migration::readRecord(data.path()));
}

TEST_F(RecoveryTest, SwapKeepsTheRecordUntilTheBackupsAreRemoved) {
    Recording framework(data.path());
    writeFile(path("a.db"), "old a");
    writeFile(path("a.db.new"), "new a");
    writeFile(path("retired.db"), "retired");
    writeFile(path("retired.db.bak"), "administrator's copy");
    writeFile(path("session/part"), "session");
    framework.addFileToReplace(path("a.db"));
    framework.addFileToDelete(path("retired.db"));
    framework.addFileToDelete(path("missing.db"));
    framework.addFolderToClear(path("session"));
    ASSERT_TRUE(framework.replaceFiles());
    // Committed, naming only the files that exist; the retired file stays until the removal.
    std::optional<MigrationRecord> record = Migration::readRecord(data.path());
    ASSERT_TRUE(record);
    EXPECT_EQ(MigrationRecord::State::Committed, record->state);
    EXPECT_EQ(std::vector<std::string>{path("a.db")}, record->replaced);
    EXPECT_EQ(std::vector<std::string>{path("retired.db")}, record->retired);
    EXPECT_EQ(std::vector<std::string>{path("session")}, record->cleared);
    EXPECT_EQ("retired", readFile(path("retired.db")));
    EXPECT_EQ("Replacing the file '" + path("a.db") + "'.\n", framework.console.str());

    framework.console.str("");
    framework.removeBackups();
    EXPECT_EQ("Deleting file '" + path("a.db.bak") + "'.\nDeleting file '" + path("missing.db") +
                  "'.\nDeleting file '" + path("retired.db") + "'.\n",
              framework.console.str());
    const std::vector<std::string> expected = {"a.db", "retired.db.bak"};
    EXPECT_EQ(expected, listFiles(data.path()));
    EXPECT_EQ("administrator's copy", readFile(path("retired.db.bak")));
}

TEST_F(RecoveryTest, FailedSwapLeavesNoRecordAndTheRetiredFileInPlace) {
    Recording framework(data.path());
    writeFile(path("a.db"), "old a");
    writeFile(path("a.db.new"), "new a");
    writeFile(path("b.db"), "old b");
    writeFile(path("b.db.new"), "new b");
    // A non-empty folder where the backup of b.db must go makes its swap fail.
    writeFile(path("b.db.bak/inside"), "");
    writeFile(path("retired.db"), "retired");
    framework.addFileToReplace(path("a.db"));
    framework.addFileToReplace(path("b.db"));
    framework.addFileToDelete(path("retired.db"));
    EXPECT_FALSE(framework.replaceFiles());
    EXPECT_EQ("retired", readFile(path("retired.db")));
    EXPECT_EQ("old a", readFile(path("a.db")));
    EXPECT_EQ("old b", readFile(path("b.db")));
    EXPECT_FALSE(Migration::readRecord(data.path()));
    EXPECT_EQ(std::string::npos, framework.console.str().find("retired.db"));
}

TEST(DataLock, SecondLockOfADirectoryFailsUntilTheFirstIsReleased) {
    TestSupport::TemporaryDirectory data;
    {
        const Migration::DataLock first(data.path());
        EXPECT_TRUE(first.held());
        try {
            const Migration::DataLock second(data.path());
            ADD_FAILURE() << "a second lock was granted";
        } catch (const Migration::Exceptions::DirectoryLocked& e) {
            EXPECT_EQ("Another migration of the data directory '" + data.path() + "' is running",
                      std::string(e.what()));
        }
    }
    {
        const Migration::DataLock again(data.path());
        EXPECT_TRUE(again.held());
        for (const std::string& file : listFiles(data.path()))
            EXPECT_EQ(Migration::DirectoryLock::lockFileName, file) << "the lock adds no other file";
    }
    EXPECT_TRUE(listFiles(data.path()).empty()) << "the lock leaves nothing behind";

    const Migration::DataLock missing(data / "missing");
    EXPECT_FALSE(missing.held());
}

} // namespace
