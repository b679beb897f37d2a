#include "libs/log/threadid.hpp"

#include <unistd.h>

namespace Log {

unsigned long currentThreadId() {
    return static_cast<unsigned long>(gettid());
}

} // namespace Log
