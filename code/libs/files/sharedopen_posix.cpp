// The POSIX stream open: fopen; share modes do not exist.

#include "libs/files/sharedopen.hpp"

#include <cerrno>

namespace Files::SharedOpen {

std::FILE* open(const std::string& name, const std::string& mode, Flags::Enum)
{
    errno = 0;
    return std::fopen(name.c_str(), mode.c_str());
}

} // namespace Files::SharedOpen
