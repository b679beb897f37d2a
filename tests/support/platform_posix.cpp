#include "support/platform.hpp"

namespace TestSupport {

std::string textModeLineEnd() {
    return "\n";
}

} // namespace TestSupport
