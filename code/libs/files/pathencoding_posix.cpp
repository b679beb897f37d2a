// POSIX file calls take the name's bytes as they are, at any length the file system allows.

#include "libs/files/pathencoding.hpp"

namespace Files {

boost::filesystem::path systemPath(const std::string& name)
{
    return boost::filesystem::path(name);
}

} // namespace Files
