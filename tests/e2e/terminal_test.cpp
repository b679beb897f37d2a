#include "e2e/transcript.hpp"

#include "support/childprocess.hpp"
#include "support/migratorsandbox.hpp"
#include "support/pseudoterminal.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

using TestSupport::PseudoTerminal;

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
    EXPECT_EQ("", terminal.received());
    EXPECT_EQ(before, terminal.localModes());
}

} // namespace
