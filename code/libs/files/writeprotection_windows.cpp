// Windows: access denied on deletion may be the read-only attribute, which adding write
// permission clears.

#include "libs/files/writeprotection.hpp"

#include "libs/files/pathencoding.hpp"

#include <boost/filesystem/operations.hpp>

#include <windows.h>

namespace Files::WriteProtection {

bool liftForDeletion(const std::string& name, const boost::system::error_code& error)
{
    if (error.value() != ERROR_ACCESS_DENIED || error.category() != boost::system::system_category())
        return false;
    namespace fs = boost::filesystem;
    boost::system::error_code lifted;
    fs::permissions(systemPath(name), fs::add_perms | fs::owner_write | fs::group_write | fs::others_write, lifted);
    return !lifted;
}

} // namespace Files::WriteProtection
