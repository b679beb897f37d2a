#include "libs/files/freespace.hpp"

#include "libs/files/exceptions.hpp"
#include "libs/files/systemerrornumber.hpp"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace Files {

FreeSpace freeSpace(const std::string& path)
{
    struct stat status {};
    struct statvfs space {};
    if (::stat(path.c_str(), &status) != 0 || ::statvfs(path.c_str(), &space) != 0) {
        const ::Exceptions::SystemErrorNumber error;
        BOOST_THROW_EXCEPTION(Exceptions::OpenFile() << Exceptions::Filename_(path) << error);
    }
    // The blocks the file system keeps back for the super-user are free to a process running as it.
    const auto blocks = ::geteuid() == 0 ? space.f_bfree : space.f_bavail;
    return {std::to_string(static_cast<std::uintmax_t>(status.st_dev)),
            static_cast<std::uintmax_t>(blocks) * static_cast<std::uintmax_t>(space.f_frsize)};
}

} // namespace Files
