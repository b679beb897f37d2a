#include "libs/files/operations.hpp"

#include "libs/files/exceptions.hpp"
#include "libs/files/operationstest.hpp"

#include "support/filecontent.hpp"
#include "support/platform.hpp"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <ctime>
#include <string>

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

TEST_F(OperationsTest, CopyFailuresAndTheirTags)
{
    const std::string from = dir / "source";
    const std::string to = dir / "target";
    writeFile(from, "new");
    writeFile(to, "precious");
    try {
        Files::copyFile(from, to, Read);
        FAIL() << "copied onto an existing file";
    } catch (const Files::Exceptions::CopyFile_& e) {
        expectFileNames(e, from, to);
        EXPECT_FALSE(tagOf<::Exceptions::What_>(e).empty());
    }
    EXPECT_EQ(readFile(to), "precious");

    const std::string missing = dir / "missing";
    try {
        Files::copyFile(missing, to, Overwrite);
        FAIL() << "copied a missing file";
    } catch (const Files::Exceptions::NotFound& e) {
        expectFileNames(e, missing, to);
        EXPECT_FALSE(tagOf<::Exceptions::What_>(e).empty());
    }
    // The failed copy did not delete the target first.
    EXPECT_EQ(readFile(to), "precious");

    // A copy onto itself keeps the file.
    EXPECT_THROW(Files::copyFile(to, to, Overwrite), Files::Exceptions::CopyFile_);
    EXPECT_EQ(readFile(to), "precious");
}

TEST_F(OperationsTest, TouchStampsTheCopyWithTheCurrentTime)
{
    const std::string from = dir / "old";
    writeFile(from, "x");
    fs::last_write_time(from, 1000000000);
    const std::time_t before = std::time(nullptr);
    Files::copyFile(from, dir / "touched", Touch);
    const std::time_t stamped = fs::last_write_time(dir / "touched");
    EXPECT_GE(stamped, before);
    EXPECT_LE(stamped, std::time(nullptr));
}

TEST_F(OperationsTest, MoveFile)
{
    writeFile(dir / "conf.new", "version 13");
    writeFile(dir / "conf", "version 12");
    Files::moveFile(dir / "conf", dir / "backup/conf.bak", Read | Write | Overwrite | CreateDirectories);
    Files::moveFile(dir / "conf.new", dir / "conf", Read | Write | Overwrite | CreateDirectories);
    EXPECT_EQ(readFile(dir / "conf"), "version 13");
    EXPECT_EQ(readFile(dir / "backup/conf.bak"), "version 12");
    EXPECT_FALSE(exists(dir / "conf.new"));

    // A failed rename keeps the target it would have replaced.
    EXPECT_THROW(Files::moveFile(dir / "absent", dir / "conf", Overwrite), fs::filesystem_error);
    EXPECT_EQ(readFile(dir / "conf"), "version 13");

    writeFile(dir / "blocker", "file");
    try {
        Files::moveFile(dir / "conf", dir / "blocker/sub/conf", CreateDirectories);
        FAIL() << "created a directory below a file";
    } catch (const Files::Exceptions::CreateDir& e) {
        expectFileNames(e, dir / "conf", dir / "blocker/sub/conf");
    }
}

TEST_F(OperationsTest, CreateDirectory)
{
    const std::string deep = dir / "a/b/c";
    Files::createDirectory(deep);
    EXPECT_TRUE(fs::is_directory(deep));
    Files::createDirectory(deep);
    Files::createDirectory(dir / "a/b/c/");

    writeFile(dir / "plain", "file");
    for (const std::string& name : {dir / "plain", dir / "plain/below"}) {
        try {
            Files::createDirectory(name);
            FAIL() << "created " << name;
        } catch (const Files::Exceptions::CreateDir& e) {
            EXPECT_EQ(tagOf<::Exceptions::Dirname_>(e), name);
            // The platform's own number (EEXIST, or ERROR_ALREADY_EXISTS on Windows).
            const boost::system::error_code error(tagOf<Files::Exceptions::ErrorNumber_>(e),
                                                  boost::system::system_category());
            EXPECT_EQ(error, boost::system::errc::file_exists) << error.value();
            EXPECT_FALSE(tagOf<Files::Exceptions::ErrorString_>(e).empty());
        }
    }
}

TEST_F(DeletionTest, DeleteFile)
{
    EXPECT_TRUE(Files::deleteFile(dir / "never-existed"));
    writeFile(dir / "readonly", "x");
    TestSupport::makeReadOnly(dir / "readonly");
    EXPECT_TRUE(Files::deleteFile(dir / "readonly"));
    EXPECT_FALSE(exists(dir / "readonly"));
    EXPECT_EQ(logText(), "");

    const std::string outside = makeOutside();
    EXPECT_FALSE(Files::deleteFile(outside));
    EXPECT_TRUE(fs::is_directory(outside));
    const std::string text = logText();
    EXPECT_NE(text.find("Failed to delete file " + outside + ", error: "), std::string::npos) << text;
    EXPECT_NE(text.find("Warning"), std::string::npos) << text;
}

TEST_F(DeletionTest, ClearingLiftsTheWriteProtectionOfEveryEntry)
{
    const std::string tree = dir / "session";
    writeFile(tree + "/a", "a");
    writeFile(tree + "/sub/b", "b");
    TestSupport::makeReadOnly(tree + "/a");
    TestSupport::makeReadOnly(tree + "/sub/b");
    EXPECT_TRUE(Files::clearDirectory(tree));
    EXPECT_TRUE(fs::is_empty(tree));
    EXPECT_EQ(logText(), "");
}

bool isWritable(const std::string& path)
{
    return (fs::status(path).permissions() & fs::owner_write) != 0;
}

TEST_F(OperationsTest, ACopyIsAlwaysWritableAndTakesTheWriteProtectionOnlyWhenAsked)
{
    const std::string original = dir / "users.db";
    const std::string copy = dir / "users.db.new";
    writeFile(original, "data");
    TestSupport::makeReadOnly(original);
    Files::copyFile(original, copy, Overwrite);
    EXPECT_TRUE(isWritable(copy));
    EXPECT_EQ(readFile(copy), "data");

    Files::copyAttributes(original, copy);
    EXPECT_FALSE(isWritable(copy));
    // The next run's copy replaces the protected leftover.
    Files::copyFile(original, copy, Overwrite);
    EXPECT_TRUE(isWritable(copy));

    try {
        Files::copyAttributes(dir / "missing", copy);
        FAIL() << "copied the attributes of a missing file";
    } catch (const Files::Exceptions::CopyFile_& e) {
        expectFileNames(e, dir / "missing", copy);
        EXPECT_FALSE(tagOf<::Exceptions::What_>(e).empty());
    }
}

TEST_F(OperationsTest, Sync)
{
    writeFile(dir / "f", "data");
    Files::syncFile(dir / "f");
    Files::syncDirectory(dir.path());
    try {
        Files::syncFile(dir / "missing");
        FAIL() << "synced a missing file";
    } catch (const Files::Exceptions::OpenFile& e) {
        EXPECT_EQ(tagOf<Files::Exceptions::Filename_>(e), dir / "missing");
        FilesTest::expectSystemError(e, ENOENT);
    }
}

} // namespace
