// POSIX: lstat, with the modification time to the nanosecond.

#include "libs/files/stamp.hpp"

#include <sys/stat.h>

namespace Files {

std::optional<Stamp> stampOf(const std::string& name)
{
    struct stat status {};
    if (lstat(name.c_str(), &status) != 0 || S_ISDIR(status.st_mode))
        return std::nullopt;
    constexpr std::int64_t nanosecondsPerSecond = 1000000000;
    return Stamp{static_cast<std::uint64_t>(status.st_size),
                 static_cast<std::int64_t>(status.st_mtim.tv_sec) * nanosecondsPerSecond + status.st_mtim.tv_nsec};
}

} // namespace Files
