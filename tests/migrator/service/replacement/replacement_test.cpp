#include "migrator/service/framework/framework.hpp"

#include "migrator/service/replacement/replacementtest.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using ReplacementTesting::Replacing;
using TestSupport::exists;
using TestSupport::readFile;
using TestSupport::writeFile;
using ReplacementTest = ReplacementTesting::Fixture;

TEST_F(ReplacementTest, EmptyRegistersSucceedSilently) {
    Replacing framework;
    EXPECT_TRUE(framework.replaceFiles());
    framework.removeBackups();
    EXPECT_EQ("", framework.console.str());
}

TEST_F(ReplacementTest, SwapsEveryFileKeepsBackupsAndRemovesThemInOrder) {
    Replacing framework;
    prepare(framework, {"c.db", "a.db", "sub/b.db"});
    writeFile(path("a.db.bak"), "stale");
    framework.addFileToDelete(path("gone.db"));
    framework.addFileToReplace(path("a.db"));
    ASSERT_TRUE(framework.replaceFiles());
    for (const std::string name : {"a.db", "c.db", "sub/b.db"}) {
        EXPECT_EQ("new " + name, readFile(path(name)));
        EXPECT_EQ("old " + name, readFile(path(name) + ".bak"));
        EXPECT_FALSE(exists(path(name) + ".new"));
    }
    EXPECT_EQ("Replacing the file '" + path("a.db") + "'.\n" + "Replacing the file '" + path("c.db") + "'.\n" +
                  "Replacing the file '" + path("sub/b.db") + "'.\n",
              framework.console.str());
    const std::set<std::string> toDelete{path("a.db.bak"), path("c.db.bak"), path("gone.db"), path("sub/b.db.bak")};
    EXPECT_EQ(toDelete, framework.filesToDelete());

    framework.console.str("");
    framework.removeBackups();
    std::string expected;
    for (const std::string& file : toDelete) {
        expected += "Deleting file '" + file + "'.\n";
        EXPECT_FALSE(exists(file));
    }
    EXPECT_EQ(expected, framework.console.str());
}

TEST_F(ReplacementTest, ConfigurationFileIsSwappedLast) {
    Replacing framework(path("conf/main.conf"));
    prepare(framework, {"conf/main.conf", "message/message.db", "study/jobs.db"});
    ASSERT_TRUE(framework.replaceFiles());
    EXPECT_EQ("Replacing the file '" + path("message/message.db") + "'.\n" + "Replacing the file '" +
                  path("study/jobs.db") + "'.\n" + "Replacing the file '" + path("conf/main.conf") + "'.\n",
              framework.console.str());
}

TEST_F(ReplacementTest, FailedFirstRenameOfThirdFileRevertsTheEarlierOnesLatestFirst) {
    Replacing framework;
    prepare(framework, {"a.db", "b.db", "c.db"});
    writeFile(path("c.db.bak/keep"), "blocks the backup name");
    EXPECT_FALSE(framework.replaceFiles());

    const std::string text = framework.console.str();
    const std::string prefix = "Replacing the file '" + path("a.db") + "'.\n" + "Replacing the file '" + path("b.db") +
                               "'.\n" + "Replacing the file '" + path("c.db") + "'.\n" + "Error: Renaming the file '" +
                               path("c.db") + "' to '" + path("c.db.bak") + "' failed. Details: ";
    ASSERT_EQ(prefix, text.substr(0, prefix.size()));
    const std::string suffix = "Reverting a replacement of the file '" + path("b.db") + "'.\n" +
                               "Reverting a replacement of the file '" + path("a.db") + "'.\n";
    ASSERT_GT(text.size(), prefix.size() + suffix.size());
    EXPECT_EQ(suffix, text.substr(text.size() - suffix.size()));
    EXPECT_EQ(std::string::npos, text.find("Error: ", prefix.size())) << text;
    for (const std::string name : {"a.db", "b.db", "c.db"}) {
        expectUntouched(name);
    }
    EXPECT_FALSE(exists(path("a.db.bak")));
    EXPECT_FALSE(exists(path("b.db.bak")));
}

TEST_F(ReplacementTest, MissingNewVersionFailsBeforeAnySwap) {
    Replacing framework;
    prepare(framework, {"a.db"});
    writeFile(path("b.db"), "old b.db");
    framework.addFileToReplace(path("b.db"));
    EXPECT_FALSE(framework.replaceFiles());
    expectUntouched("a.db");
    EXPECT_EQ("old b.db", readFile(path("b.db")));
}

TEST_F(ReplacementTest, UndeletableBackupOnlyWarns) {
    Replacing framework;
    writeFile(path("busy/inner"), "x");
    framework.addFileToDelete(path("busy"));
    framework.addFileToDelete(path("missing.bak"));
    framework.removeBackups();
    EXPECT_EQ("Deleting file '" + path("busy") + "'.\n" + "Warning: Failed to delete file '" + path("busy") + "'.\n" +
                  "Deleting file '" + path("missing.bak") + "'.\n",
              framework.console.str());
}

} // namespace
