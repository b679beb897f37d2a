#include "libs/files/file.hpp"
#include "libs/files/errortags.hpp"
#include "libs/exceptions/errnodescription.hpp"
#include "libs/files/systemerrornumber.hpp"

#include "support/filecontent.hpp"
#include "support/platform.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

using namespace Files::Flags;
using FilesTest::expectSystemError;
using FilesTest::tagOf;
using TestSupport::readFile;
using TestSupport::writeFile;

class FileTest : public ::testing::Test {
protected:
    TestSupport::TemporaryDirectory dir;
};

TEST_F(FileTest, OpenModeTexts)
{
    EXPECT_EQ(Files::openMode(Read | Write | Overwrite), "w+b");
    EXPECT_EQ(Files::openMode(Read | Write | Append), "a+b");
    EXPECT_EQ(Files::openMode(Read | Write | Overwrite | Append), "w+b");
    EXPECT_EQ(Files::openMode(Read | Write | Text), "r+t");
    EXPECT_EQ(Files::openMode(Read | DenyWrite), "rb");
    EXPECT_EQ(Files::openMode(Read | Text | DenyWrite), "rt");
    EXPECT_EQ(Files::openMode(Write | Append), "ab");
    EXPECT_EQ(Files::openMode(Write), "wb");
    EXPECT_EQ(Files::openMode(Overwrite | Text), "");
}

TEST_F(FileTest, CreateMakesAMissingFileForReadAndWrite)
{
    const std::string name = dir / "new.db";
    {
        Files::File file(name, Read | Write | Create);
        Files::writeAll(file, "abc");
    }
    EXPECT_EQ(readFile(name), "abc");

    // An existing file is opened as it is, not truncated.
    Files::File again(name, Read | Write | Create);
    char buffer[8];
    EXPECT_EQ(again.read(buffer, sizeof buffer), 3u);
}

TEST_F(FileTest, OpenFailureCarriesNameAndErrno)
{
    const std::string name = dir / "missing.txt";
    try {
        Files::File file(name, Read | Write);
        FAIL() << "opened a missing file";
    } catch (const Files::Exceptions::OpenFile& e) {
        EXPECT_EQ(tagOf<Files::Exceptions::Filename_>(e), name);
        expectSystemError(e, ENOENT);
        EXPECT_NE(std::string(e.what()).find(::Exceptions::errnoDescription(ENOENT)), std::string::npos);
    }
    EXPECT_FALSE(TestSupport::exists(name));

    // A missing parent is not created without CreateDirectories, even with Create.
    EXPECT_THROW(Files::File(dir / "no/such/dir/f", Write | Create), Files::Exceptions::OpenFile);
    // Without Read and Write there is no mode to open with.
    try {
        Files::File file(dir / "x", Create);
        FAIL() << "opened without a mode";
    } catch (const Files::Exceptions::OpenFile& e) {
        expectSystemError(e, EINVAL);
    }
}

TEST_F(FileTest, CreateDirectoriesAndAppend)
{
    const std::string name = dir / "log/deep/migrator.log";
    const Files::Flags::Enum logFlags = Write | Append | Create | CreateDirectories | DenyNone;
    for (const char* line : {"one\r\n", "two\r\n"}) {
        Files::File file(name, logFlags);
        Files::writeAll(file, line);
    }
    EXPECT_EQ(readFile(name), "one\r\ntwo\r\n");
}

TEST_F(FileTest, OverwriteReplacesAReadOnlyFile)
{
    const std::string name = dir / "settings.json";
    writeFile(name, "old content");
    TestSupport::makeReadOnly(name);
    {
        Files::File file(name, Read | Write | Overwrite | CreateDirectories | DenyWrite);
        char buffer[4];
        EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
        Files::writeAll(file, "new");
    }
    EXPECT_EQ(readFile(name), "new");
}

TEST_F(FileTest, ShortReadsOnlyAtTheEnd)
{
    const std::string name = dir / "four";
    writeFile(name, "1234");
    Files::File file(name, Read);
    char buffer[10];
    EXPECT_EQ(file.read(buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer, 4), "1234");
    EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);

    writeFile(dir / "empty", "");
    Files::File empty(dir / "empty", Read);
    std::string text = "kept";
    Files::readAll(empty, text);
    EXPECT_EQ(text, "kept");

    // Larger than the streaming buffer, so several chunks are appended.
    const std::string big(100000, 'x');
    writeFile(dir / "big", big);
    Files::File bigFile(dir / "big", Read);
    std::string all = ">";
    Files::readAll(bigFile, all);
    EXPECT_EQ(all, ">" + big);
}

TEST_F(FileTest, ChecksGuardEveryAccess)
{
    const std::string name = dir / "guarded";
    writeFile(name, "data");
    char buffer[4];
    {
        Files::File readOnly(name, Read);
        try {
            readOnly.write("x", 1);
            FAIL() << "wrote to a read-only file object";
        } catch (const Files::Exceptions::WritingNotAllowed& e) {
            EXPECT_EQ(tagOf<Files::Exceptions::Filename_>(e), name);
        }
        EXPECT_THROW(readOnly.flush(), Files::Exceptions::WritingNotAllowed);
    }
    {
        Files::File writeOnly(name, Write | Append);
        try {
            writeOnly.read(buffer, 1);
            FAIL() << "read from a write-only file object";
        } catch (const Files::Exceptions::ReadingNotAllowed& e) {
            EXPECT_EQ(tagOf<Files::Exceptions::Filename_>(e), name);
        }
    }
    Files::File closed;
    EXPECT_THROW(closed.read(buffer, 1), Files::Exceptions::FileNotOpened);
    EXPECT_THROW(closed.write("x", 1), Files::Exceptions::FileNotOpened);
    EXPECT_THROW(closed.checkOpened(), Files::Exceptions::FileNotOpened);

    Files::File reopened(name, Read);
    reopened.close();
    EXPECT_EQ(reopened.handle(), nullptr);
    EXPECT_EQ(reopened.name(), "");
    EXPECT_THROW(reopened.read(buffer, 1), Files::Exceptions::FileNotOpened);
    EXPECT_EQ(readFile(name), "data");
}

TEST_F(FileTest, DeleteOnClose)
{
    const std::string name = dir / "scratch";
    {
        Files::File file(name, Write | DeleteOnClose);
        Files::writeAll(file, "temporary");
        EXPECT_TRUE(TestSupport::exists(name));
    }
    EXPECT_FALSE(TestSupport::exists(name));

    // Reopening closes the previous file, deleting it, and the new one keeps its own flags.
    Files::File file(dir / "first", Write | DeleteOnClose);
    file.open(dir / "second", Write);
    EXPECT_FALSE(TestSupport::exists(dir / "first"));
    file.close();
    EXPECT_TRUE(TestSupport::exists(dir / "second"));
}

TEST_F(FileTest, StandardStreams)
{
    Files::File out;
    out.openStdOut();
    EXPECT_EQ(out.name(), "stdout");
    EXPECT_EQ(out.handle(), stdout);
    char c;
    EXPECT_THROW(out.read(&c, 1), Files::Exceptions::ReadingNotAllowed);
    out.openStdErr();
    EXPECT_EQ(out.name(), "stderr");
    out.write("", 0);
    out.close();
    // Closing the object leaves the process's stream open.
    EXPECT_EQ(std::fflush(stderr), 0);
    EXPECT_NE(std::fputs("", stdout), EOF);
}

TEST(SystemErrorNumber, AttachesCodeAndDescriptionOnlyForAnError)
{
    Files::Exceptions::OpenFile none;
    none << ::Exceptions::SystemErrorNumber(0);
    EXPECT_FALSE(FilesTest::hasTag<::Exceptions::SystemErrorCode_>(none));
    EXPECT_FALSE(FilesTest::hasTag<::Exceptions::SystemErrorDescription_>(none));

    errno = EACCES;
    const ::Exceptions::SystemErrorNumber captured;
    errno = 0;
    Files::Exceptions::OpenFile some;
    some << captured;
    expectSystemError(some, EACCES);
}

} // namespace
