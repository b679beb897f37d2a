#pragma once
// The number of the calling thread as the operating system knows it, for the log line header.

namespace Log {

// The kernel's identifier of the calling thread (gettid on POSIX, GetCurrentThreadId on
// Windows). Never throws.
unsigned long currentThreadId();

} // namespace Log
