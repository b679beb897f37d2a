#pragma once
// The reason of the calling thread's last failed system call, as the error number (errno value)
// that the file layer's exceptions carry.

namespace Files {

// POSIX: errno. Windows: the errno value closest to GetLastError(), EIO for any other. Never
// throws.
int lastErrorNumber();

} // namespace Files
