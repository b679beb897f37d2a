#pragma once
// A pseudo-terminal for the tests of what the migrator does on a console: the slave side is
// handed to the program (or to the code under test) as its terminal, the master side plays the
// user. Header-only, so that any test target can use it as it is.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace TestSupport {

class PseudoTerminal {
public:
    // A terminal of that many columns (of the system's default size with 0). valid() tells
    // whether it could be made.
    explicit PseudoTerminal(unsigned short columns = 0) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        const char* name = ::ptsname(master_);
        if (name)
            slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ >= 0 && columns > 0) {
            winsize size{};
            size.ws_row = 24;
            size.ws_col = columns;
            ::ioctl(slave_, TIOCSWINSZ, &size);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal() {
        closeSlave();
        if (master_ >= 0)
            ::close(master_);
    }

    bool valid() const { return master_ >= 0 && slave_ >= 0; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    // Closes this process's descriptor of the slave side, once a child has its own.
    void closeSlave() {
        if (slave_ >= 0)
            ::close(slave_);
        slave_ = -1;
    }

    // Types the text as a user would.
    void type(const std::string& text) const {
        ASSERT_EQ(static_cast<ssize_t>(text.size()), ::write(master_, text.data(), text.size()));
    }

    // The local mode flags of the terminal (ICANON, ECHO, ...).
    tcflag_t localModes() const {
        termios modes{};
        ::tcgetattr(slave_, &modes);
        return modes.c_lflag;
    }

    // Everything that reached the user's side so far: what was written to the terminal and the
    // terminal's echo of what was typed.
    std::string received() const {
        std::string text;
        const int flags = ::fcntl(master_, F_GETFL);
        ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
        char buffer[256];
        for (ssize_t got; (got = ::read(master_, buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<std::size_t>(got));
        ::fcntl(master_, F_SETFL, flags);
        return text;
    }

private:
    int master_ = -1;
    int slave_ = -1;
};

} // namespace TestSupport
