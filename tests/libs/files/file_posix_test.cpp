// The file failures that only POSIX can bring about from a test: reading a directory as a file,
// the process's file size limit and a full device (/dev/full).

#include "libs/files/file.hpp"
#include "libs/files/errortags.hpp"

#include "support/faultinjection.hpp"
#include "support/filecontent.hpp"
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

class PosixFileTest : public ::testing::Test {
protected:
    TestSupport::TemporaryDirectory dir;
};

TEST_F(PosixFileTest, ReadingADirectoryFailsWithErrno)
{
    Files::File file(dir.path(), Read);
    char buffer[16];
    try {
        file.read(buffer, sizeof buffer);
        FAIL() << "read from a directory";
    } catch (const Files::Exceptions::ReadFile& e) {
        EXPECT_EQ(tagOf<Files::Exceptions::Filename_>(e), dir.path());
        EXPECT_EQ(tagOf<Files::Exceptions::Size_>(e), 16u);
        EXPECT_EQ(tagOf<Files::Exceptions::ReadSize_>(e), 0u);
        expectSystemError(e, EISDIR);
    }
}

TEST_F(PosixFileTest, WriteBeyondTheFileSizeLimitFails)
{
    const std::string name = dir / "limited";
    Files::File file(name, Write);
    const std::vector<char> bytes(64 * 1024, 'z');
    TestSupport::FileSizeLimit limit(8192);
    try {
        file.write(bytes.data(), bytes.size());
        FAIL() << "wrote past the file size limit";
    } catch (const Files::Exceptions::WriteFile& e) {
        EXPECT_EQ(tagOf<Files::Exceptions::Filename_>(e), name);
        EXPECT_EQ(tagOf<Files::Exceptions::Size_>(e), bytes.size());
        EXPECT_LT(tagOf<Files::Exceptions::WrittenSize_>(e), bytes.size());
        expectSystemError(e, EFBIG);
    }
}

TEST_F(PosixFileTest, BufferedWriteFailuresSurfaceOnFlushAndSync)
{
    Files::File full("/dev/full", Write);
    full.write("abc", 3);
    try {
        full.flush();
        FAIL() << "flushed into a full device";
    } catch (const Files::Exceptions::WriteFile& e) {
        EXPECT_EQ(tagOf<Files::Exceptions::Filename_>(e), "/dev/full");
        expectSystemError(e, ENOSPC);
    }
    Files::File again("/dev/full", Write);
    EXPECT_THROW(Files::writeAll(again, "text"), Files::Exceptions::WriteFile);
    Files::File third("/dev/full", Write);
    third.write("x", 1);
    EXPECT_THROW(third.sync(), Files::Exceptions::WriteFile);

    const std::string name = dir / "durable";
    Files::File file(name, Write);
    file.write("saved", 5);
    file.sync();
    EXPECT_EQ(readFile(name), "saved");
}

} // namespace
