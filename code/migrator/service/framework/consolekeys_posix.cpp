// The POSIX single-key read: termios for the terminal mode, read(2) for the key.

#include "migrator/service/framework/consolekeys.hpp"

#include <cerrno>
#include <termios.h>
#include <unistd.h>

namespace Migration {

namespace {

// Puts the terminal into single-key mode for its lifetime and restores the saved mode after.
class RawTerminal {
public:
    explicit RawTerminal(int fd) : fd_(fd) {
        if (tcgetattr(fd_, &saved_) != 0)
            return;
        termios raw = saved_;
        // Without ISIG, Ctrl-C arrives as a key instead of ending the process with the
        // terminal left in this mode.
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;
    ~RawTerminal() {
        if (active_)
            tcsetattr(fd_, TCSANOW, &saved_);
    }

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

std::optional<char> readOneByte(int fd) {
    char key = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &key, 1);
        if (got == 1)
            return key;
        if (got < 0 && errno == EINTR)
            continue;
        return std::nullopt;
    }
}

} // namespace

std::optional<char> ConsoleKeys::readKey() {
    if (isatty(STDIN_FILENO)) {
        RawTerminal terminal(STDIN_FILENO);
        return readOneByte(STDIN_FILENO);
    }
    return readOneByte(STDIN_FILENO);
}

} // namespace Migration
