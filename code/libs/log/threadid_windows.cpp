#include "libs/log/threadid.hpp"

#include <windows.h>

namespace Log {

unsigned long currentThreadId() {
    return GetCurrentThreadId();
}

} // namespace Log
