// One migration of a data directory at a time: the migrator program against a directory locked
// by another process, and the lock it holds itself while it runs.
#include "e2e/transcript.hpp"

#include "fixtures/v12data.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using TestSupport::MigratorSandbox;

std::map<std::string, std::string> snapshot(const MigratorSandbox& sandbox) {
    std::map<std::string, std::string> files;
    for (const std::string& file : TestSupport::listFiles(sandbox.dataDirectory())) {
        if (!E2e::startsWith(file, "log/"))
            files[file] = TestSupport::readFile(sandbox.data(file));
    }
    return files;
}

Fixtures::V12Options smallData() {
    Fixtures::V12Options options;
    options.folders = 1;
    options.jobs = 2;
    options.events = 20;
    options.deletedJobs = 4;
    options.messages = 4;
    return options;
}

// An open descriptor of the directory, closed at the end of the scope.
class DirectoryHandle {
public:
    explicit DirectoryHandle(const std::string& directory)
        : fd_(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~DirectoryHandle() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

// Whether some other process holds the directory's lock right now.
bool lockedElsewhere(const std::string& directory) {
    const DirectoryHandle handle(directory);
    return handle.fd() >= 0 && ::flock(handle.fd(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

TEST(DataLockTest, SecondMigrationOfALockedDirectoryFailsAndTouchesNothing) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallData());
    const auto before = snapshot(sandbox);
    {
        const DirectoryHandle holder(sandbox.dataDirectory());
        ASSERT_EQ(0, ::flock(holder.fd(), LOCK_EX | LOCK_NB));
        const TestSupport::ChildResult result = sandbox.run({"m"});
        EXPECT_EQ(E2e::banner + "Error: Migration failed: Another migration of the data directory '" +
                      sandbox.dataDirectory() + "' is running\n",
                  result.out);
        EXPECT_EQ(255, result.exitCode);
        EXPECT_EQ(before, snapshot(sandbox));
        EXPECT_TRUE(sandbox.leftovers().empty());
    }
    // The lock of a process that ended is gone: the migration runs now, and leaves no lock.
    const TestSupport::ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(0, result.exitCode) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("Migration finished successfully.\n"));
    EXPECT_FALSE(lockedElsewhere(sandbox.dataDirectory()));
}

TEST(DataLockTest, LockHeldByAnotherProcessStopsTheMigration) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallData());
    // A child holds the lock until the test ends it, as a running migration does.
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(sandbox.dataDirectory().c_str(), O_RDONLY | O_DIRECTORY);
        const char state = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &state, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char state = 0;
    ASSERT_EQ(1, ::read(ready[0], &state, 1));
    ::close(ready[0]);
    ASSERT_EQ('y', state);
    EXPECT_TRUE(lockedElsewhere(sandbox.dataDirectory()));
    const auto before = snapshot(sandbox);
    const TestSupport::ChildResult result = sandbox.run({"migrate"});
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(255, result.exitCode);
    EXPECT_EQ(1u, E2e::linesStartingWith(result.out, "Error: Migration failed: Another migration").size())
        << result.out;
    EXPECT_EQ(before, snapshot(sandbox));
    EXPECT_NE(std::string::npos, sandbox.log().find("Another migration of the data directory"));
}

} // namespace
