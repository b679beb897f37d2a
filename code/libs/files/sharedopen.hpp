#pragma once
// Opening a named file as a C stream with a share mode: the runtime call that does it differs
// per platform.

#include "libs/files/flags.hpp"

#include <cstdio>
#include <string>

namespace Files::SharedOpen {

// Opens the file name (UTF-8) with the open mode text ("r", "w+b", ...), letting other
// processes use the file as the share field of flags allows (on Windows; POSIX has no such
// modes and opens the file as it is). Null with errno set when the file cannot be opened, also
// for a name that is not UTF-8 where the platform needs UTF-16.
std::FILE* open(const std::string& name, const std::string& mode, Flags::Enum flags);

} // namespace Files::SharedOpen
