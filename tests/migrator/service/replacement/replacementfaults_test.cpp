// The swap of migrated files when the system's own calls fail: renames and flushes made to fail
// through the POSIX system call wrappers.

#include "migrator/service/framework/framework.hpp"

#include "migrator/service/replacement/replacementtest.hpp"
#include "support/faultinjection.hpp"

#include <gtest/gtest.h>

namespace {

namespace SystemCallFaults = TestSupport::SystemCallFaults;
using ReplacementTesting::Replacing;
using TestSupport::exists;
using TestSupport::readFile;
using TestSupport::writeFile;

class ReplacementFaults : public ReplacementTesting::Fixture {
protected:
    void TearDown() override {
        SystemCallFaults::reset();
    }
};

TEST_F(ReplacementFaults, ConfigurationFileIsRevertedFirst) {
    Replacing failing(path("conf2/main.conf"));
    prepare(failing, {"conf2/main.conf", "a.db"});
    // The folder syncs between the two renames of each file pass; the flush after the swaps fails.
    SystemCallFaults::failFsync(SystemCallFaults::Fsync::Folders, 2);
    EXPECT_FALSE(failing.replaceFiles());
    const std::string text = failing.console.str();
    const std::string::size_type flushFailure = text.find("Error: Flushing the folder '");
    ASSERT_NE(std::string::npos, flushFailure) << text;
    EXPECT_EQ("Reverting a replacement of the file '" + path("conf2/main.conf") + "'.\n" +
                  "Reverting a replacement of the file '" + path("a.db") + "'.\n",
              text.substr(text.find("Reverting")));
    expectUntouched("conf2/main.conf");
    expectUntouched("a.db");
}

TEST_F(ReplacementFaults, FailedSecondRenameOfThirdFilePutsItsBackupBackFirst) {
    Replacing framework;
    prepare(framework, {"a.db", "b.db", "c.db"});
    SystemCallFaults::failRename(path("c.db.new"));
    EXPECT_FALSE(framework.replaceFiles());

    const std::string text = framework.console.str();
    const std::string failure = "Error: Renaming the file '" + path("c.db.new") + "' to '" + path("c.db") +
                                "' failed. Details: ";
    const std::string::size_type at = text.find(failure);
    ASSERT_NE(std::string::npos, at) << text;
    EXPECT_EQ(std::string::npos, text.find("Error:", at + 1)) << text;
    EXPECT_LT(text.find("Replacing the file '" + path("c.db") + "'."), at);
    const std::string suffix = "Reverting a replacement of the file '" + path("b.db") + "'.\n" +
                               "Reverting a replacement of the file '" + path("a.db") + "'.\n";
    EXPECT_EQ(suffix, text.substr(text.size() - suffix.size()));
    for (const std::string name : {"a.db", "b.db", "c.db"}) {
        expectUntouched(name);
        EXPECT_FALSE(exists(path(name) + ".bak"));
    }
}

TEST_F(ReplacementFaults, FailedRevertLeavesThatFileMigratedAndGoesOn) {
    Replacing framework;
    prepare(framework, {"a.db", "b.db", "c.db"});
    writeFile(path("c.db.bak/keep"), "blocks the backup name");
    SystemCallFaults::failRename(path("b.db"), path("b.db.new"));
    EXPECT_FALSE(framework.replaceFiles());
    EXPECT_EQ("new b.db", readFile(path("b.db")));
    EXPECT_EQ("old b.db", readFile(path("b.db.bak")));
    expectUntouched("a.db");
    expectUntouched("c.db");
    const std::string text = framework.console.str();
    EXPECT_NE(std::string::npos, text.find("Error: Renaming the file '" + path("b.db") + "' to '" + path("b.db.new")))
        << text;
    EXPECT_EQ("Reverting a replacement of the file '" + path("a.db") + "'.\n",
              text.substr(text.size() - ("Reverting a replacement of the file '" + path("a.db") + "'.\n").size()));
}

TEST_F(ReplacementFaults, FlushFailureBeforeTheSwapsChangesNothing) {
    Replacing framework;
    prepare(framework, {"a.db", "b.db"});
    SystemCallFaults::failFsync(SystemCallFaults::Fsync::Everything);
    EXPECT_FALSE(framework.replaceFiles());
    EXPECT_EQ(0u, framework.console.str().find("Error: Flushing the file '" + path("a.db.new") + "' to disk failed."))
        << framework.console.str();
    EXPECT_EQ(std::string::npos, framework.console.str().find("Replacing"));
    expectUntouched("a.db");
    expectUntouched("b.db");
}

} // namespace
