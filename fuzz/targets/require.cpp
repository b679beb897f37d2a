#include "targets/targets.hpp"

#include <cstdio>
#include <cstdlib>

namespace Fuzz {

void require(bool condition, const char* promise)
{
    if (condition)
        return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::fflush(stderr);
    std::abort();
}

} // namespace Fuzz
