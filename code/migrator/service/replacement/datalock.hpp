#pragma once
// The guarantee that only one migration works on a data directory at a time: an exclusive
// advisory lock on the directory itself, which adds no file and ends with the process.

#include "migrator/service/replacement/directorylock.hpp"

#include <string>

namespace Migration {

class DataLock {
public:
    // Locks the directory without waiting. Throws Exceptions::DirectoryLocked naming the
    // directory when another process holds its lock. A directory that cannot be opened or locked (a file system
    // without locks) is left unlocked: held() is false and the caller's checks report the rest.
    explicit DataLock(const std::string& directory);
    DataLock(const DataLock&) = delete;
    DataLock& operator=(const DataLock&) = delete;
    // Releases the lock; never throws.
    ~DataLock();

    // True when the directory is locked by this object.
    bool held() const { return handle_ != DirectoryLock::noHandle; }

private:
    DirectoryLock::Handle handle_ = DirectoryLock::noHandle;
};

} // namespace Migration
