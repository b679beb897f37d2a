#include "migrator/service/replacement/datalock.hpp"
#include "migrator/service/exceptions/exceptions.hpp"
#include "migrator/service/framework/framework.hpp"
#include "migrator/service/replacement/record.hpp"
#include "migrator/service/replacement/recovery.hpp"
#include "migrator/service/version13/steps.hpp"

#include "support/filecontent.hpp"
#include "support/platform.hpp"
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
        Migration::recoverInterruptedMigration(framework, data.path(), Migration::recordScope());
        EXPECT_EQ(before, contents()) << version;
        EXPECT_EQ("", framework.console.str());
    }
}

TEST_F(RecoveryTest, UnfinishedSwapIsUndoneWhereItBegan) {
    // study/jobs.db not reached yet, message.db renamed to its backup, rm.db swapped completely,
    // main.conf too; the retired file and the session untouched.
    writeFile(path("study/jobs.db"), "old jobs");
    writeFile(path("study/jobs.db.new"), "new jobs");
    writeFile(path("message/message.db"), "old messages");
    writeFile(path("message/message.db.new"), "new messages");
    writeFile(path("record/rm.db"), "old history");
    writeFile(path("record/rm.db.new"), "new history");
    writeFile(path("conf/main.conf"), "[data]\nversion=12\n");
    writeFile(path("conf/main.conf.new"), "[data]\nversion=13\n");
    writeFile(path("institution/institution.db"), "retired");
    writeFile(path("study/session/part"), "session");
    const std::vector<std::string> order = {path("study/jobs.db"), path("message/message.db"), path("record/rm.db"),
                                            path("conf/main.conf")};
    Migration::writeRecord(data.path(), Migration::recordOfSwap(order, {path("institution/institution.db")},
                                                                {path("study/session")}));
    writeFile(path("study/jobs.db.bak"), "administrator's jobs");
    for (const std::string& file : {path("message/message.db"), path("record/rm.db"), path("conf/main.conf")})
        std::rename(file.c_str(), (file + ".bak").c_str());
    for (const std::string& file : {path("record/rm.db"), path("conf/main.conf")})
        std::rename((file + ".new").c_str(), file.c_str());

    Recording framework;
    Migration::recoverInterruptedMigration(framework, data.path(), Migration::recordScope());

    const std::map<std::string, std::string> expected = {
        {"study/jobs.db", "old jobs"},         {"study/jobs.db.new", "new jobs"},
        {"study/jobs.db.bak", "administrator's jobs"},
        {"message/message.db", "old messages"}, {"message/message.db.new", "new messages"},
        {"record/rm.db", "old history"},       {"conf/main.conf", "[data]\nversion=12\n"},
        {"institution/institution.db", "retired"}, {"study/session/part", "session"}};
    EXPECT_EQ(expected, contents());
    EXPECT_EQ("Undoing the unfinished migration recorded in '" + Migration::recordFile(data.path()) + "'.\n" +
                  "Reverting a replacement of the file '" + path("conf/main.conf") + "'.\n" +
                  "Reverting a replacement of the file '" + path("record/rm.db") + "'.\n" +
                  "Reverting a replacement of the file '" + path("message/message.db") + "'.\n",
              framework.console.str());

    // The record is gone: a second recovery changes nothing.
    Migration::recoverInterruptedMigration(framework, data.path(), Migration::recordScope());
    EXPECT_EQ(expected, contents());
}

TEST_F(RecoveryTest, CommittedRecordDeletesOnlyWhatItMadeAndIsRemoved) {
    writeFile(path("conf/user.db"), "old users");
    writeFile(path("conf/main.conf"), "[data]\nversion=12\n");
    writeFile(path("institution/institution.db"), "retired");
    writeFile(path("study/session/part"), "session");
    writeFile(path("study/session/job/job.db"), "session job");
    MigrationRecord record = Migration::recordOfSwap({path("conf/user.db"), path("conf/main.conf")},
                                                     {path("institution/institution.db")}, {path("study/session")});
    record.state = MigrationRecord::State::Committed;
    Migration::writeRecord(data.path(), record);
    for (const std::string& file : {path("conf/user.db"), path("conf/main.conf")}) {
        std::rename(file.c_str(), (file + ".bak").c_str());
        writeFile(file, "new " + file);
    }
    // After the kill: the administrator's own backup of the migrated users, a new upload of the
    // restarted service and a rewritten session file.
    std::remove(path("conf/user.db.bak").c_str());
    writeFile(path("conf/user.db.bak"), "administrator's backup");
    writeFile(path("study/session/live-upload.part"), "live");
    writeFile(path("study/session/job/job.db"), "rewritten session job");

    Recording framework;
    Migration::recoverInterruptedMigration(framework, data.path(), Migration::recordScope());

    const std::map<std::string, std::string> expected = {
        {"conf/user.db", "new " + path("conf/user.db")},
        {"conf/main.conf", "new " + path("conf/main.conf")},
        {"conf/user.db.bak", "administrator's backup"},
        {"study/session/live-upload.part", "live"},
        {"study/session/job/job.db", "rewritten session job"}};
    EXPECT_EQ(expected, contents());
    EXPECT_EQ("Finishing the migration recorded in '" + Migration::recordFile(data.path()) + "'.\n" +
                  "Warning: The file '" + path("study/session/job/job.db") +
                  "' changed after the migration recorded it; it is kept.\n" + "Deleting file '" +
                  path("conf/main.conf.bak") + "'.\n" + "Deleting file '" + path("conf/user.db.bak") + "'.\n" +
                  "Warning: The file '" + path("conf/user.db.bak") +
                  "' changed after the migration recorded it; it is kept.\n" + "Deleting file '" +
                  path("institution/institution.db") + "'.\n",
              framework.console.str());
    EXPECT_FALSE(Migration::readRecord(data.path(), Migration::recordScope()));
}

TEST_F(RecoveryTest, RecordThatCannotBeTrustedStopsBeforeAnyChange) {
    writeFile(path("conf/main.conf"), "new");
    writeFile(path("conf/main.conf.bak"), "old");
    writeFile(path("conf/user.db"), "users");
    const std::string head = "Qelt service migration record 2\nstate committed\n";
    const std::string file = Migration::recordFile(data.path());
    const auto expectRefused = [&](const std::string& text, const std::string& sentence) {
        writeRecordText(text);
        const std::map<std::string, std::string> before = contents();
        Recording framework;
        try {
            Migration::recoverInterruptedMigration(framework, data.path(), Migration::recordScope());
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Migration::Exceptions::Exception& e) {
            EXPECT_EQ(sentence, e.what()) << text;
        }
        EXPECT_EQ(before, contents()) << text;
        EXPECT_EQ("", framework.console.str());
    };
    const std::string unreadable = "The migration record '" + file + "' cannot be used: ";
    expectRefused("", unreadable + "it does not end with a complete line");
    expectRefused("garbage\n", unreadable + "its first line is not \"Qelt service migration record 2\"");
    expectRefused(head + "replace - conf/main.conf\n", unreadable + "its last line is not \"end\"");
    expectRefused("Qelt service migration record 2\nstate done\nend\n", unreadable + "line 2 is not a known state");
    for (const std::string line : {"rename - conf/main.conf", "replace conf/main.conf", "replace 1 conf/main.conf",
                                   "replace - conf/main.conf%2", "replace x:1 conf/main.conf"})
        expectRefused(head + line + "\nend\n", unreadable + "line 3 is not an entry of a record");
    for (const std::string outside : {"../a.db", "/etc/passwd", "conf/../../a.db", "conf//a.db", "./a.db"})
        expectRefused(head + "retire - " + outside + "\nend\n",
                      "The migration record '" + file + "' names '" + outside +
                          "', which is not inside the data directory");
    const auto refused = [&](const std::string& path, const std::string& reason) {
        return "The migration record '" + file + "' names '" + path + "', which " + reason;
    };
    expectRefused(head + "retire - conf/main.conf\nend\n",
                  refused("conf/main.conf", "is not a file that a migration retires"));
    expectRefused(head + "clear - conf\nend\n", refused("conf", "is not a folder that a migration empties"));
    expectRefused(head + "replace - conf/main.conf.bak\nend\n",
                  refused("conf/main.conf.bak", "is not a file that a migration replaces"));
    expectRefused(head + "content 1:1 conf/user.db\nend\n",
                  refused("conf/user.db", "is not inside a folder that the migration empties"));
    expectRefused(head + "replace - conf/main.conf%00\nend\n",
                  refused("conf/main.conf%00", "has a name that no file of the data directory can have here"));
    expectRefused(head + "clear - study/..%00\nend\n",
                  refused("study/..%00", "has a name that no file of the data directory can have here"));
}

TEST_F(RecoveryTest, RecordKeepsEveryNameExactly) {
    // A backslash is a character of a name where it is no separator.
    const std::string folder = TestSupport::pathSeparator() == "/" ? "back\\slash" : "back slash";
    MigrationRecord record;
    record.replaced = {{path("study/" + folder + "/job.db"), Files::Stamp{1, -2}},
                       {path("study/100% done/job.db"), std::nullopt},
                       {path("conf/main.conf"), Files::Stamp{3, 4}}};
    record.retired = {{path("institution/institution.db"), Files::Stamp{5, 6}}};
    record.cleared = {path("study/session")};
    record.content = {{path("study/session/sub"), std::nullopt}, {path("study/session/sub/a b"), Files::Stamp{7, 8}}};
    Migration::writeRecord(data.path(), record);
    const std::optional<MigrationRecord> read = Migration::readRecord(data.path(), Migration::recordScope());
    ASSERT_TRUE(read);
    EXPECT_EQ(MigrationRecord::State::Swapping, read->state);
    EXPECT_EQ(record.replaced, read->replaced);
    EXPECT_EQ(record.retired, read->retired);
    EXPECT_EQ(record.cleared, read->cleared);
    EXPECT_EQ(record.content, read->content);
    EXPECT_EQ(std::vector<std::string>{"migration.journal"}, listFiles(data.path()));

    TestSupport::TemporaryDirectory elsewhere;
    record.retired = {{elsewhere / "institution.db", std::nullopt}};
    EXPECT_THROW(Migration::writeRecord(data.path(), record), Migration::Exceptions::RecordPathOutside);
    record.retired = {{path("study/line\nbreak/job.db"), std::nullopt}};
    EXPECT_THROW(Migration::writeRecord(data.path(), record), Migration::Exceptions::RecordEntryRefused);
    EXPECT_EQ(Migration::MigrationRecord::State::Swapping, Migration::recordedState(data.path()));
    EXPECT_TRUE(Migration::removeRecord(data.path()));
    EXPECT_FALSE(Migration::readRecord(data.path(), Migration::recordScope()));
}

TEST_F(RecoveryTest, SwapKeepsTheRecordUntilTheBackupsAreRemoved) {
    Recording framework(data.path());
    writeFile(path("conf/user.db"), "old users");
    writeFile(path("conf/user.db.new"), "new users");
    writeFile(path("institution/institution.db"), "retired");
    writeFile(path("institution/institution.db.bak"), "administrator's copy");
    writeFile(path("study/session/part"), "session");
    framework.addFileToReplace(path("conf/user.db"));
    framework.addFileToDelete(path("institution/institution.db"));
    framework.addFileToDelete(path("conf/sending.json"));
    framework.addFolderToClear(path("study/session"));
    ASSERT_TRUE(framework.replaceFiles());
    // Committed, naming only the files that exist; the retired file stays until the removal.
    std::optional<MigrationRecord> record = Migration::readRecord(data.path(), Migration::recordScope());
    ASSERT_TRUE(record);
    EXPECT_EQ(MigrationRecord::State::Committed, record->state);
    ASSERT_EQ(1u, record->replaced.size());
    EXPECT_EQ(path("conf/user.db"), record->replaced[0].path);
    ASSERT_EQ(1u, record->retired.size());
    EXPECT_EQ(path("institution/institution.db"), record->retired[0].path);
    EXPECT_EQ(std::vector<std::string>{path("study/session")}, record->cleared);
    EXPECT_EQ("retired", readFile(path("institution/institution.db")));
    EXPECT_EQ("Replacing the file '" + path("conf/user.db") + "'.\n", framework.console.str());

    framework.console.str("");
    framework.removeBackups();
    EXPECT_EQ("Deleting file '" + path("conf/sending.json") + "'.\nDeleting file '" + path("conf/user.db.bak") +
                  "'.\nDeleting file '" + path("institution/institution.db") + "'.\n",
              framework.console.str());
    const std::vector<std::string> expected = {"conf/user.db", "institution/institution.db.bak"};
    EXPECT_EQ(expected, listFiles(data.path()));
    EXPECT_EQ("administrator's copy", readFile(path("institution/institution.db.bak")));
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
    EXPECT_FALSE(Migration::recordedState(data.path()));
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
