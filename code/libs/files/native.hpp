#pragma once
// The file system calls that Boost.Filesystem and the C library do not offer alike on every
// platform: forcing data to the storage device, the replacing rename, hard links and the
// streamed copy of a file's content. One source per platform implements them.

#include "libs/files/operations.hpp"

#include <boost/system/error_code.hpp>

#include <cstdio>
#include <string>

namespace Files::Native {

// Forces what the open stream has handed to the system (after fflush) to the storage device.
// False with errno set when that fails.
bool syncStream(std::FILE* stream);

// What forcing a path to the storage device came to; errno holds the reason of a failure.
enum class SyncOutcome { Synced, NotOpened, NotSynced };

// Forces the file's content, respectively the directory's entries (after renames inside it),
// to the storage device. Never throws.
SyncOutcome syncFile(const std::string& name);
SyncOutcome syncDirectory(const std::string& name);

// Renames from to to, replacing an existing target file atomically. The new entry is durable
// once the folder is synced with syncDirectory. Throws boost::filesystem::filesystem_error.
void rename(const std::string& from, const std::string& to);

// Makes to a second name (hard link) of the file from. False with errno set when that fails,
// for example across file systems.
bool makeHardLink(const std::string& from, const std::string& to);

// Streams the content of from into the new file to in chunks, never holding it in memory, and
// gives the copy the source's permissions (Windows: attributes), except that the copy is always
// writable for the program. The target must not exist; created tells whether it
// was made, so that the caller can remove a partial copy. onProgress, when not empty, gets the
// bytes copied so far after each chunk. Works across file systems. The error of the first
// failure, none on success. Throws only what onProgress throws.
boost::system::error_code copyContent(const std::string& from, const std::string& to, bool& created,
                                      const CopyProgress& onProgress);

// Gives to the permissions (Windows: the read-only, hidden, system, archive and not-indexed
// attributes) that from has. The error of a failure, none on success. Never throws.
boost::system::error_code copyAttributes(const std::string& from, const std::string& to);

} // namespace Files::Native
