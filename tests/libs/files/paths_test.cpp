#include "libs/files/paths.hpp"

#include "libs/files/exceptions.hpp"
#include "support/filecontent.hpp"
#include "support/temporarydirectory.hpp"

#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

namespace fs = boost::filesystem;

TEST(Paths, JoinParentAndFilename)
{
    EXPECT_EQ(Files::join("/srv/qelt", "conf", "main.conf"), "/srv/qelt/conf/main.conf");
    EXPECT_EQ(Files::join("/srv/qelt/", "log"), "/srv/qelt/log");
    EXPECT_EQ(Files::join("", "log"), "log");
    EXPECT_EQ(Files::join("data", ""), "data");
    EXPECT_EQ(Files::join("Quorlin Software", "Qelt", "Service"), "Quorlin Software/Qelt/Service");

    EXPECT_EQ(Files::parentPath("/srv/qelt/conf/main.conf"), "/srv/qelt/conf");
    EXPECT_EQ(Files::parentPath("main.conf"), "");
    EXPECT_EQ(Files::filename("/srv/qelt/conf/main.conf"), "main.conf");
    EXPECT_EQ(Files::filename("job.db"), "job.db");
}

TEST(Paths, AbsoluteAndComplete)
{
    EXPECT_TRUE(Files::isAbsolute("/var/lib"));
    EXPECT_TRUE(Files::isAbsolute("/"));
    EXPECT_FALSE(Files::isAbsolute("log/migrator.log"));
    EXPECT_FALSE(Files::isAbsolute(""));

    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(Files::systemComplete("log/migrator.log"), Files::join(cwd, "log/migrator.log"));
    EXPECT_EQ(Files::systemComplete("/etc/qelt"), "/etc/qelt");
}

TEST(Paths, FileAndDirectoryStatus)
{
    TestSupport::TemporaryDirectory dir;
    TestSupport::writeFile(dir / "file", "x");
    fs::create_symlink(dir / "file", dir / "link");

    boost::exception_ptr error;
    EXPECT_TRUE(Files::isFile(dir / "file", &error));
    EXPECT_TRUE(Files::isFile(dir / "link"));
    EXPECT_FALSE(Files::isDirectory(dir / "file"));
    EXPECT_TRUE(Files::isDirectory(dir.path()));
    EXPECT_FALSE(Files::isFile(dir.path()));
    EXPECT_FALSE(Files::isFile(dir / "missing", &error));
    EXPECT_FALSE(Files::isDirectory(dir / "missing/below", &error));
    EXPECT_FALSE(error);

    // A link loop makes the status query fail; the failure is handed out, not thrown, and names
    // the path and the reason.
    fs::create_symlink(dir / "loop-b", dir / "loop-a");
    fs::create_symlink(dir / "loop-a", dir / "loop-b");
    EXPECT_FALSE(Files::isFile(dir / "loop-a", &error));
    ASSERT_TRUE(error);
    try {
        boost::rethrow_exception(error);
    } catch (const Files::Exceptions::OpenFile& e) {
        EXPECT_EQ(*boost::get_error_info<Files::Exceptions::Filename_>(e), dir / "loop-a");
        EXPECT_EQ(*boost::get_error_info<Exceptions::SystemErrorCode_>(e), ELOOP);
    }

    boost::exception_ptr tooLong;
    EXPECT_FALSE(Files::isDirectory(dir / std::string(300, 'n'), &tooLong));
    EXPECT_TRUE(tooLong);
    EXPECT_FALSE(Files::isDirectory(dir / std::string(300, 'n')));
}

} // namespace
