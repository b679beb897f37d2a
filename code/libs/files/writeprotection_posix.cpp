// POSIX: a file's own permission bits never stop its deletion.

#include "libs/files/writeprotection.hpp"

namespace Files::WriteProtection {

bool liftForDeletion(const std::string&, const boost::system::error_code&)
{
    return false;
}

} // namespace Files::WriteProtection
