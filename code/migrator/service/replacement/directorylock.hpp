#pragma once
// An exclusive lock on a directory that other processes see: taken without waiting through an
// open handle of the directory itself, so it adds no file, and ended by closing the handle or
// by the end of the process.

#include <cstdint>
#include <string>

namespace Migration::DirectoryLock {

// An open handle of a locked directory.
using Handle = std::intptr_t;
constexpr Handle noHandle = -1;

enum class Outcome {
    Locked,
    // Another process holds the lock.
    HeldElsewhere,
    // The directory could not be opened or the file system has no locks.
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
