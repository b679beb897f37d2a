// POSIX version of the data directory lock: flock on a descriptor of the directory. A Windows
// version would open the directory with FILE_FLAG_BACKUP_SEMANTICS and no sharing instead.
#include "migrator/service/datalock.hpp"

#include "migrator/service/exceptions.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Migration {

DataLock::DataLock(const std::string& directory) {
    const int handle = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return;
    int result;
    do {
        result = ::flock(handle, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool lockedElsewhere = errno == EWOULDBLOCK;
        ::close(handle);
        if (lockedElsewhere)
            BOOST_THROW_EXCEPTION(Exceptions::DirectoryLocked() << Exceptions::Directory_(directory));
        return;
    }
    handle_ = handle;
}

DataLock::~DataLock() {
    if (handle_ >= 0)
        ::close(handle_);
}

} // namespace Migration
