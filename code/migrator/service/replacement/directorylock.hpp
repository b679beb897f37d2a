#pragma once
// An exclusive lock on a directory that other processes see, taken without waiting and ended by
// release or by the end of the process. POSIX locks the directory itself (flock), which adds no
// file. Windows cannot lock a folder without also refusing the renames into it, so there the lock
// is the lock file below, held open unshared and deleted when its handle closes.

#include <cstdint>
#include <string>

namespace Migration::DirectoryLock {

// The name of the lock file inside the locked directory where the platform needs one. No other
// part of the program makes, reads or removes a file of this name.
inline constexpr const char* lockFileName = "migration.lock";

// An open handle of a locked directory.
using Handle = std::intptr_t;
constexpr Handle noHandle = -1;

enum class Outcome {
    Locked,
    // Another process holds the lock.
    HeldElsewhere,
    // The directory (or its lock file) could not be opened, or the file system has no locks.
    Unavailable,
};

struct Attempt {
    Outcome outcome;
    // The handle to release; noHandle unless Locked.
    Handle handle = noHandle;
};

// Tries once to lock the directory exclusively. Never throws.
Attempt tryLock(const std::string& directory);

// Ends the lock and closes the handle. Never throws.
void release(Handle handle);

} // namespace Migration::DirectoryLock
