// Wrappers of rename(2) and fsync(2) that take the place of the C library's in the programs that
// link them and pass every call on to it unless a failure is armed.

#include "support/faultinjection.hpp"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TestSupport::SystemCallFaults::Fsync;

std::string failingRenameFrom;
std::string failingRenameTo;
Fsync failingFsync = Fsync::None;
int passingFsyncs = 0;

bool isFolder(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
}

} // namespace

namespace TestSupport::SystemCallFaults {

void failRename(const std::string& from, const std::string& to) {
    failingRenameFrom = from;
    failingRenameTo = to;
}

void failFsync(Fsync which, int passing) {
    failingFsync = which;
    passingFsyncs = passing;
}

void reset() {
    failingRenameFrom.clear();
    failingRenameTo.clear();
    failingFsync = Fsync::None;
    passingFsyncs = 0;
}

} // namespace TestSupport::SystemCallFaults

extern "C" int rename(const char* from, const char* to) {
    using RenameFunction = int (*)(const char*, const char*);
    static const auto realRename = reinterpret_cast<RenameFunction>(dlsym(RTLD_NEXT, "rename"));
    if (!failingRenameFrom.empty() && failingRenameFrom == from &&
        (failingRenameTo.empty() || failingRenameTo == to)) {
        errno = EIO;
        return -1;
    }
    return realRename(from, to);
}

extern "C" int fsync(int fd) {
    using FsyncFunction = int (*)(int);
    static const auto realFsync = reinterpret_cast<FsyncFunction>(dlsym(RTLD_NEXT, "fsync"));
    if ((failingFsync == Fsync::Everything || (failingFsync == Fsync::Folders && isFolder(fd))) &&
        passingFsyncs-- <= 0) {
        errno = EIO;
        return -1;
    }
    return realFsync(fd);
}
