#include "support/platform.hpp"

namespace TestSupport {

// The runtime library's text mode ends every line with CR LF.
std::string textModeLineEnd() {
    return "\r\n";
}

} // namespace TestSupport
