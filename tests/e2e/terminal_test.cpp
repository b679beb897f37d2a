#include "e2e/transcript.hpp"

#include "support/childprocess.hpp"
#include "support/migratorsandbox.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A pseudo-terminal whose slave side serves as the program's standard input.
class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        const char* name = ::ptsname(master_);
        if (name)
            slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal() {
        if (slave_ >= 0)
            ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
    }

    bool valid() const { return master_ >= 0 && slave_ >= 0; }
    int slave() const { return slave_; }

    // Types the text as a user would.
    void type(const std::string& text) const { ASSERT_EQ(static_cast<ssize_t>(text.size()), ::write(master_, text.data(), text.size())); }

    tcflag_t localModes() const {
        termios modes{};
        ::tcgetattr(slave_, &modes);
        return modes.c_lflag;
    }

    // Everything the terminal has sent back to the user so far (its echo).
    std::string echoed() const {
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

const int hangGuardSeconds = 60;

TEST(TerminalTest, KeysAreReadWithoutEnterAndWithoutEchoAndTheTerminalIsRestored) {
    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.valid());
    const tcflag_t before = terminal.localModes();
    ASSERT_TRUE(before & ICANON);
    ASSERT_TRUE(before & ECHO);

    TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    TestSupport::ChildOptions options;
    options.arguments = {"i"};
    options.environment["QELT_REGISTRY_FILE"] = sandbox.registryFile();
    options.environment["QELT_COMMON_APPDATA"] = sandbox.allUsersFolder();
    options.workingDirectory = sandbox.workingDirectory();
    options.inputDescriptor = terminal.slave();
    TestSupport::RunningChild child(QELT_MIGRATOR_PATH, options);

    ASSERT_TRUE(child.waitForOutput(E2e::prompt, hangGuardSeconds));
    // The program switches the terminal for the read once the prompt is out.
    for (int tries = 0; (terminal.localModes() & ICANON) && tries < hangGuardSeconds * 1000; ++tries)
        ::usleep(1000);
    EXPECT_FALSE(terminal.localModes() & ICANON);
    EXPECT_FALSE(terminal.localModes() & ECHO);
    terminal.type("h");
    ASSERT_TRUE(child.waitForOutput(E2e::help(QELT_MIGRATOR_PATH) + E2e::prompt, hangGuardSeconds));
    for (int tries = 0; (terminal.localModes() & ICANON) && tries < hangGuardSeconds * 1000; ++tries)
        ::usleep(1000);
    // Ctrl-C is a key like any other here: it ends the prompt and the program exits normally.
    terminal.type("\x03");
    const TestSupport::ChildResult result = child.finish();

    EXPECT_EQ(0, result.exitCode);
    EXPECT_EQ(E2e::banner + E2e::prompt + "h\n\n" + E2e::help(QELT_MIGRATOR_PATH) + E2e::prompt + "\x03\n\n",
              result.out);
    EXPECT_EQ("", terminal.echoed());
    EXPECT_EQ(before, terminal.localModes());
}

} // namespace
