// The POSIX directory lock: flock on a read-only descriptor of the directory.

#include "migrator/service/replacement/directorylock.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Migration::DirectoryLock {

Attempt tryLock(const std::string& directory) {
    const int handle = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return {Outcome::Unavailable};
    int result;
    do {
        result = ::flock(handle, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        ::close(handle);
        return {heldElsewhere ? Outcome::HeldElsewhere : Outcome::Unavailable};
    }
    return {Outcome::Locked, handle};
}

void release(Handle handle) {
    ::close(static_cast<int>(handle));
}

} // namespace Migration::DirectoryLock
