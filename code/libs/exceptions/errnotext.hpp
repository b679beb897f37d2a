#pragma once
// The runtime library's own call that writes the text of an error number (errno).

#include <cstddef>

namespace Exceptions {

// Writes the runtime's text for the number into buffer (size bytes, zero-terminated on success).
// Returns 0 on success, EINVAL for a number the runtime does not know, ERANGE when the buffer is
// too small, or another status of the call. Never throws.
int errnoText(int number, char* buffer, std::size_t size) noexcept;

} // namespace Exceptions
