#pragma once
// The runtime library's text for an error number (errno), for the diagnostic text of exceptions.

#include <string>

namespace Exceptions {

// The runtime library's text for an errno value, or a fixed report when it has none. Never throws.
std::string errnoDescription(int number);

} // namespace Exceptions
