#include "migrator/service/datalock.hpp"
#include "migrator/service/framework.hpp"
#include "migrator/service/recovery.hpp"

#include "support/frameworkdouble.hpp"
#include "support/filecontent.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <sstream>

namespace {

using TestSupport::exists;
using TestSupport::listFiles;
using TestSupport::readFile;
using TestSupport::writeFile;

// A framework whose configuration file is outside the data directory.
class Swapping : public TestSupport::FrameworkDouble {
public:
    Swapping() : FrameworkDouble("none") {}
};

const std::vector<std::string> fixedFiles = {
    "conf/main.conf",       "conf/sending.json",  "conf/storing.json",   "conf/user.db",
    "conf/notification.db", "message/message.db", "record/rm.db",        "study/jobs.db",
    "study/deleted.db",     "institution/institution.db"};

class RecoveryTest : public ::testing::Test {
protected:
    std::string path(const std::string& relative) const { return data / relative; }

    // Every handled file with the content "old <name>", main.conf at the given version, one
    // study folder, a session file and a file no migration handles with its own ".bak".
    void createDirectory(unsigned version) {
        for (const std::string& name : fixedFiles)
            writeFile(path(name), "old " + name);
        writeFile(path("study/f1/job.db"), "old study/f1/job.db");
        writeFile(path("conf/main.conf"), "[data]\nversion=" + std::to_string(version) + "\n");
        writeFile(path("study/session/transfer.tmp"), "session");
        writeFile(path("notes.txt.bak"), "notes");
    }

    TestSupport::TemporaryDirectory data;
};

TEST_F(RecoveryTest, HandledFilesAreTheFixedOnesAndOneJobDatabasePerStudyFolder) {
    writeFile(path("study/f1/job.db"), "");
    writeFile(path("study/f2/other"), "");
    writeFile(path("study/session/job/job.db"), "");
    writeFile(path("study/loose.db"), "");
    std::vector<std::string> expected;
    for (const std::string& name : fixedFiles)
        expected.push_back(path(name));
    expected.push_back(path("study/f1/job.db"));
    expected.push_back(path("study/f2/job.db"));
    std::vector<std::string> files = Migration::handledFiles(data.path());
    std::sort(files.begin(), files.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, files);

    TestSupport::TemporaryDirectory empty;
    EXPECT_EQ(fixedFiles.size(), Migration::handledFiles(empty.path()).size());
}

TEST_F(RecoveryTest, UnfinishedSwapAtTheOldVersionIsUndone) {
    createDirectory(12);
    const std::string oldConfig = readFile(path("conf/main.conf"));
    // main.conf renamed to its backup but its new version not yet in place.
    std::rename(path("conf/main.conf").c_str(), path("conf/main.conf.bak").c_str());
    writeFile(path("conf/main.conf.new"), "[data]\nversion=13\n");
    // user.db swapped completely, rm.db only half, the institution database retired.
    std::rename(path("conf/user.db").c_str(), path("conf/user.db.bak").c_str());
    writeFile(path("conf/user.db"), "new conf/user.db");
    std::rename(path("record/rm.db").c_str(), path("record/rm.db.bak").c_str());
    writeFile(path("record/rm.db.new"), "new record/rm.db");
    std::rename(path("institution/institution.db").c_str(), path("institution/institution.db.bak").c_str());
    writeFile(path("study/f1/job.db.new"), "partial copy");

    Migration::recoverInterruptedMigration(data.path());

    EXPECT_EQ(oldConfig, readFile(path("conf/main.conf")));
    for (const std::string& name : fixedFiles) {
        if (name != "conf/main.conf") {
            EXPECT_EQ("old " + name, readFile(path(name))) << name;
        }
    }
    EXPECT_EQ("old study/f1/job.db", readFile(path("study/f1/job.db")));
    const std::vector<std::string> expected = {"conf/main.conf",
                                               "conf/notification.db",
                                               "conf/sending.json",
                                               "conf/storing.json",
                                               "conf/user.db",
                                               "institution/institution.db",
                                               "message/message.db",
                                               "notes.txt.bak",
                                               "record/rm.db",
                                               "study/deleted.db",
                                               "study/f1/job.db",
                                               "study/jobs.db",
                                               "study/session/transfer.tmp"};
    EXPECT_EQ(expected, listFiles(data.path()));

    // Running it again on the recovered directory changes nothing.
    Migration::recoverInterruptedMigration(data.path());
    EXPECT_EQ(expected, listFiles(data.path()));
}

TEST_F(RecoveryTest, UnfinishedBackupRemovalAtTheNewVersionIsFinished) {
    createDirectory(13);
    writeFile(path("conf/main.conf.bak"), "[data]\nversion=12\n");
    writeFile(path("conf/user.db.bak"), "old user.db");
    writeFile(path("study/f1/job.db.bak"), "old job.db");
    std::rename(path("institution/institution.db").c_str(), path("institution/institution.db.bak").c_str());
    const std::string config = readFile(path("conf/main.conf"));

    Migration::recoverInterruptedMigration(data.path());

    EXPECT_FALSE(exists(path("conf/user.db.bak")));
    EXPECT_FALSE(exists(path("conf/main.conf.bak")));
    EXPECT_FALSE(exists(path("study/f1/job.db.bak")));
    EXPECT_FALSE(exists(path("institution/institution.db.bak")));
    EXPECT_FALSE(exists(path("institution/institution.db")));
    EXPECT_FALSE(exists(path("study/session/transfer.tmp")));
    EXPECT_TRUE(exists(path("study/session")));
    EXPECT_EQ("old conf/user.db", readFile(path("conf/user.db")));
    EXPECT_EQ(config, readFile(path("conf/main.conf")));
    EXPECT_EQ("notes", readFile(path("notes.txt.bak")));
}

TEST_F(RecoveryTest, DirectoriesWithoutLeftoversAreLeftAlone) {
    for (unsigned version : {12u, 13u}) {
        createDirectory(version);
        const std::vector<std::string> before = listFiles(data.path());
        Migration::recoverInterruptedMigration(data.path());
        EXPECT_EQ(before, listFiles(data.path())) << version;
    }
    // Without a swap under way a backup beside its file is the administrator's and stays.
    createDirectory(12);
    writeFile(path("conf/user.db.bak"), "kept");
    Migration::recoverInterruptedMigration(data.path());
    EXPECT_EQ("old conf/user.db", readFile(path("conf/user.db")));
    EXPECT_EQ("kept", readFile(path("conf/user.db.bak")));
    // A configuration without a readable version counts as unmigrated: with conf/main.conf.new
    // left by a swap, its backups are put back.
    writeFile(path("conf/main.conf"), "[data]\nversion=x\n");
    writeFile(path("conf/main.conf.new"), "[data]\nversion=13\n");
    Migration::recoverInterruptedMigration(data.path());
    EXPECT_EQ("kept", readFile(path("conf/user.db")));
    EXPECT_EQ("[data]\nversion=x\n", readFile(path("conf/main.conf")));
    EXPECT_FALSE(exists(path("conf/main.conf.new")));
}

TEST_F(RecoveryTest, RetiredFilesBecomeBackupsUntilTheBackupsAreRemoved) {
    Swapping framework;
    writeFile(path("a.db"), "old a");
    writeFile(path("a.db.new"), "new a");
    writeFile(path("retired.json"), "rules");
    framework.addFileToReplace(path("a.db"));
    framework.addFileToDelete(path("retired.json"));
    framework.addFileToDelete(path("missing.db"));
    ASSERT_TRUE(framework.replaceFiles());
    EXPECT_FALSE(exists(path("retired.json")));
    EXPECT_EQ("rules", readFile(path("retired.json.bak")));
    EXPECT_EQ("Replacing the file '" + path("a.db") + "'.\n", framework.console.str());

    framework.console.str("");
    framework.removeBackups();
    EXPECT_EQ("Deleting file '" + path("a.db.bak") + "'.\nDeleting file '" + path("missing.db") +
                  "'.\nDeleting file '" + path("retired.json") + "'.\n",
              framework.console.str());
    EXPECT_EQ(std::vector<std::string>{"a.db"}, listFiles(data.path()));
}

TEST_F(RecoveryTest, FailedSwapPutsRetiredFilesBack) {
    Swapping framework;
    writeFile(path("a.db"), "old a");
    writeFile(path("a.db.new"), "new a");
    writeFile(path("b.db"), "old b");
    writeFile(path("b.db.new"), "new b");
    // A non-empty folder where the backup of b.db must go makes its swap fail.
    writeFile(path("b.db.bak/inside"), "");
    writeFile(path("retired.json"), "rules");
    framework.addFileToReplace(path("a.db"));
    framework.addFileToReplace(path("b.db"));
    framework.addFileToDelete(path("retired.json"));
    EXPECT_FALSE(framework.replaceFiles());
    EXPECT_EQ("rules", readFile(path("retired.json")));
    EXPECT_FALSE(exists(path("retired.json.bak")));
    EXPECT_EQ("old a", readFile(path("a.db")));
    EXPECT_EQ("old b", readFile(path("b.db")));
    EXPECT_EQ(std::string::npos, framework.console.str().find("retired.json"));
}

TEST(DataLock, SecondLockOfADirectoryFailsUntilTheFirstIsReleased) {
    TestSupport::TemporaryDirectory data;
    {
        const Migration::DataLock first(data.path());
        EXPECT_TRUE(first.held());
        try {
            const Migration::DataLock second(data.path());
            ADD_FAILURE() << "a second lock was granted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find("'" + data.path() + "'")) << e.what();
        }
    }
    const Migration::DataLock again(data.path());
    EXPECT_TRUE(again.held());
    EXPECT_TRUE(listFiles(data.path()).empty());

    const Migration::DataLock missing(data / "missing");
    EXPECT_FALSE(missing.held());
}

} // namespace
