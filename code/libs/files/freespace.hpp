#pragma once
// How much room the file system that holds a path has left for new files.

#include <cstdint>
#include <functional>
#include <string>

namespace Files {

struct FreeSpace {
    // Names the file system: paths on the same file system give the same text.
    std::string fileSystem;
    // The bytes this process may still write there.
    std::uintmax_t available = 0;
};

// The free space of the file system holding path, an existing file or folder. Throws OpenFile
// with Filename_ and the error number tags when it cannot be queried.
FreeSpace freeSpace(const std::string& path);

// The signature of freeSpace, for the callers that let tests report other figures.
using FreeSpaceQuery = std::function<FreeSpace(const std::string& path)>;

} // namespace Files
