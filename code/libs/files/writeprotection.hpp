#pragma once
// Deleting a write-protected file: Windows refuses to delete a file with the read-only
// attribute until it is cleared; on POSIX the folder alone decides.

#include <boost/system/error_code.hpp>

#include <string>

namespace Files::WriteProtection {

// Called after deleting name failed with error. True when the failure came from the file's own
// write protection and that protection is now lifted, so deleting again may work; false when
// there was nothing to lift or lifting it failed (always false on POSIX). Never throws, as
// deleting is clean-up.
bool liftForDeletion(const std::string& name, const boost::system::error_code& error);

} // namespace Files::WriteProtection
