// The POSIX terminal calls: isatty, the TIOCGWINSZ size query and write(2).

#include "migrator/service/framework/terminal.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

namespace Migration::Terminal {

int standardError() {
    return STDERR_FILENO;
}

bool isTerminal(int descriptor) {
    return ::isatty(descriptor) == 1;
}

std::size_t columns(int descriptor) {
    winsize size{};
    if (::ioctl(descriptor, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

std::ptrdiff_t write(int descriptor, const char* bytes, std::size_t count) {
    return ::write(descriptor, bytes, count);
}

} // namespace Migration::Terminal
