// The file operations on what only POSIX offers a test: hard links and their inode numbers, a
// second file system (/dev/shm), symbolic links, a FIFO and the process's file size limit.

#include "libs/files/operations.hpp"

#include "libs/files/exceptions.hpp"
#include "libs/files/operationstest.hpp"

#include "support/faultinjection.hpp"
#include "support/filecontent.hpp"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = boost::filesystem;
using namespace Files::Flags;
using FilesTest::DeletionTest;
using FilesTest::expectFileNames;
using FilesTest::OperationsTest;
using FilesTest::tagOf;
using TestSupport::exists;
using TestSupport::readFile;
using TestSupport::writeFile;

struct stat statOf(const std::string& name)
{
    struct stat s {};
    EXPECT_EQ(::stat(name.c_str(), &s), 0) << name;
    return s;
}

// A tree of files and links, some pointing at the outside folder, one dangling.
std::string makeTree(const TestSupport::TemporaryDirectory& dir, const std::string& outside)
{
    const std::string tree = dir / "tree";
    writeFile(tree + "/file", "f");
    writeFile(tree + "/nested/deeper/file", "g");
    fs::create_symlink(outside, tree + "/link-to-dir");
    fs::create_symlink(outside + "/one", tree + "/nested/link-to-file");
    fs::create_symlink(dir / "nowhere", tree + "/dangling");
    return tree;
}

TEST_F(OperationsTest, CopyAndHardLink)
{
    const std::string from = dir / "jobs.db";
    writeFile(from, "database pages");

    Files::copyFile(from, dir / "copy/jobs.db.new", Overwrite | CreateDirectories | Read | Write);
    EXPECT_EQ(readFile(dir / "copy/jobs.db.new"), "database pages");
    EXPECT_NE(statOf(from).st_ino, statOf(dir / "copy/jobs.db.new").st_ino);

    Files::copyFile(from, dir / "link/jobs.db", Overwrite | CreateDirectories | Hardlink | CopyIfHardlinkFails);
    EXPECT_EQ(statOf(from).st_ino, statOf(dir / "link/jobs.db").st_ino);
    EXPECT_EQ(statOf(from).st_nlink, 2u);

    // Overwrite replaces an existing copy; relinking onto an existing link is allowed.
    writeFile(dir / "copy/jobs.db.new", "stale");
    Files::copyFile(from, dir / "copy/jobs.db.new", Overwrite);
    EXPECT_EQ(readFile(dir / "copy/jobs.db.new"), "database pages");
    Files::copyFile(from, dir / "link/jobs.db", Overwrite | Hardlink);
    EXPECT_EQ(readFile(from), "database pages");
}

TEST_F(OperationsTest, FailedHardLinkCopiesOnlyWhenAllowed)
{
    const std::string from = dir / "a";
    writeFile(from, "content");
    writeFile(dir / "taken", "other");
    try {
        Files::copyFile(from, dir / "taken", Hardlink);
        FAIL() << "linked onto an existing file";
    } catch (const Files::Exceptions::HardlinkFile& e) {
        expectFileNames(e, from, dir / "taken");
    }
    EXPECT_EQ(readFile(dir / "taken"), "other");

    const std::string other = "/dev/shm";
    if (statOf(other).st_dev == statOf(dir.path()).st_dev)
        GTEST_SKIP() << "no second file system for a cross-device link";
    const std::string target = other + "/qelt-files-test-" + std::to_string(::getpid());
    ::unlink(target.c_str());
    EXPECT_THROW(Files::copyFile(from, target, Hardlink), Files::Exceptions::HardlinkFile);
    EXPECT_FALSE(exists(target));
    Files::copyFile(from, target, Hardlink | CopyIfHardlinkFails);
    EXPECT_EQ(readFile(target), "content");
    EXPECT_EQ(statOf(from).st_nlink, 1u);
    ::unlink(target.c_str());
}

TEST_F(OperationsTest, ACopyOntoItselfThroughALinkKeepsTheFile)
{
    const std::string to = dir / "target";
    writeFile(to, "precious");
    fs::create_symlink(to, dir / "alias");
    EXPECT_THROW(Files::copyFile(to, dir / "alias", Overwrite), Files::Exceptions::CopyFile_);
    EXPECT_THROW(Files::copyFile(dir / "alias", to, Overwrite), Files::Exceptions::CopyFile_);
    EXPECT_EQ(readFile(to), "precious");
}

TEST_F(OperationsTest, FailedCopyLeavesNoPartialTarget)
{
    const std::string from = dir / "large.db";
    writeFile(from, std::string(256 * 1024, 'p'));
    const std::string to = dir / "large.db.new";
    {
        TestSupport::FileSizeLimit limit(16 * 1024);
        EXPECT_THROW(Files::copyFile(from, to, Overwrite), Files::Exceptions::CopyFile_);
    }
    EXPECT_FALSE(exists(to));
}

TEST_F(DeletionTest, DeletingALinkKeepsItsTarget)
{
    const std::string outside = makeOutside();
    fs::create_symlink(outside + "/one", dir / "link");
    EXPECT_TRUE(Files::deleteFile(dir / "link"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "link")));
    EXPECT_EQ(readFile(outside + "/one"), "1");
}

TEST_F(DeletionTest, ClearingNeverFollowsLinks)
{
    const std::string outside = makeOutside();
    const std::string tree = makeTree(dir, outside);
    EXPECT_TRUE(Files::clearDirectory(tree));
    EXPECT_TRUE(fs::is_directory(tree));
    EXPECT_TRUE(fs::is_empty(tree));
    EXPECT_EQ(readFile(outside + "/one"), "1");
    EXPECT_EQ(readFile(outside + "/sub/two"), "2");

    EXPECT_TRUE(Files::clearDirectory(dir / "missing"));
    writeFile(dir / "plain", "p");
    EXPECT_TRUE(Files::clearDirectory(dir / "plain"));
    EXPECT_EQ(readFile(dir / "plain"), "p");
}

TEST_F(DeletionTest, DeleteDirectory)
{
    const std::string outside = makeOutside();
    const std::string tree = makeTree(dir, outside);

    // A link to a directory is removed as a link; its target stays complete.
    fs::create_symlink(outside, dir / "alias");
    EXPECT_TRUE(Files::deleteDirectory(dir / "alias", true));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "alias")));
    EXPECT_EQ(readFile(outside + "/sub/two"), "2");

    EXPECT_FALSE(Files::deleteDirectory(tree, false));
    EXPECT_NE(logText().find("Failed to delete directory " + tree + ", error: "), std::string::npos);
    EXPECT_TRUE(Files::deleteDirectory(tree, true));
    EXPECT_FALSE(exists(tree));
    EXPECT_EQ(readFile(outside + "/one"), "1");
    EXPECT_TRUE(Files::deleteDirectory(dir / "missing", true));
}

TEST_F(DeletionTest, ClearingGoesOnPastEntriesItCannotRemove)
{
    const std::string tree = dir / "tree";
    writeFile(tree + "/a", "a");
    writeFile(tree + "/z/b", "b");
    ASSERT_EQ(::mkfifo((tree + "/pipe").c_str(), 0600), 0);
    EXPECT_FALSE(Files::clearDirectory(tree));
    EXPECT_FALSE(exists(tree + "/a"));
    EXPECT_FALSE(exists(tree + "/z"));
    EXPECT_TRUE(fs::exists(fs::symlink_status(tree + "/pipe")));
    EXPECT_FALSE(Files::deleteDirectory(tree, true));
    EXPECT_TRUE(fs::is_directory(tree));
}

TEST_F(OperationsTest, CopyDirectory)
{
    const std::string from = dir / "study";
    writeFile(from + "/jobs.db", "jobs");
    writeFile(from + "/1/job.db", "job 1");
    writeFile(from + "/2/3/job.db", "job 3");
    writeFile(dir / "elsewhere/secret", "s");
    fs::create_symlink(dir / "elsewhere", from + "/linked");

    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::pair<std::string, std::string>> directories;
    const std::string to = dir / "copy/study";
    Files::copyDirectory(
        from, to, Overwrite | CreateDirectories | Hardlink | CopyIfHardlinkFails | Recursive,
        [&](const std::string& a, const std::string& b) { files.emplace_back(a, b); },
        [&](const std::string& a, const std::string& b) { directories.emplace_back(a, b); });
    EXPECT_EQ(TestSupport::listFiles(to), (std::vector<std::string>{"1/job.db", "2/3/job.db", "jobs.db"}));
    EXPECT_EQ(files.size(), 3u);
    for (const auto& [a, b] : files)
        EXPECT_EQ(readFile(a), readFile(b));
    ASSERT_EQ(directories.size(), 4u);
    EXPECT_EQ(directories.back(), std::make_pair(from, to));

    const std::string flat = dir / "flat";
    Files::copyDirectory(from, flat, CreateDirectories);
    EXPECT_EQ(TestSupport::listFiles(flat), std::vector<std::string>{"jobs.db"});

    EXPECT_THROW(Files::copyDirectory(from, from + "/inner", CreateDirectories | Recursive),
                 Files::Exceptions::CopyFile_);
    EXPECT_FALSE(exists(from + "/inner"));
    EXPECT_THROW(Files::copyDirectory(dir / "absent", dir / "x", None), fs::filesystem_error);
}

// A folder is opened as one (O_DIRECTORY), so that a file given as a folder fails; Windows opens
// either alike for flushing.
TEST_F(OperationsTest, SyncingAFileAsAFolderFails)
{
    writeFile(dir / "f", "data");
    EXPECT_THROW(Files::syncDirectory(dir / "f"), Files::Exceptions::OpenFile);
}

} // namespace
