#pragma once
// Running a program whose standard error is a pseudo-terminal, as when an administrator starts
// it from a console, while its standard output goes to a pipe and its standard input is empty.
// Header-only, so that any test target can use it as it is.

#include "support/childprocess.hpp"
#include "support/pseudoterminal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace TestSupport {

struct TerminalChildResult {
    // As in ChildResult.
    int exitCode = -1;
    std::string out;
    // Everything the program wrote to the terminal, as the terminal passed it on.
    std::string terminal;
};

namespace TerminalChildDetail {

class Descriptor {
public:
    explicit Descriptor(int value = -1) : value_(value) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    int get() const { return value_; }
    void reset(int value = -1) {
        if (value_ >= 0)
            ::close(value_);
        value_ = value;
    }

private:
    int value_;
};

inline std::vector<std::string> environment(const ChildOptions& options) {
    std::vector<std::string> result;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool dropped = options.environment.count(name) > 0;
        for (const std::string& unset : options.unset)
            dropped = dropped || unset == name;
        if (!dropped)
            result.push_back(text);
    }
    for (const auto& [name, value] : options.environment)
        result.push_back(name + "=" + value);
    return result;
}

inline std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

inline void fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

// Appends what the descriptor has; false once it has ended (a terminal whose other side is
// closed reports EIO).
inline bool drain(int descriptor, std::string& text) {
    char buffer[4096];
    const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
    if (got > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
    return got < 0 && errno == EINTR;
}

} // namespace TerminalChildDetail

// Runs the program with options.arguments, options.environment, options.unset and
// options.workingDirectory (options.input is not used: standard input is /dev/null) and waits
// until it ends, at most hangGuardSeconds: a child still running then is killed. Throws
// std::runtime_error when the terminal or the child cannot be made.
inline TerminalChildResult runWithTerminalError(const std::string& program, const ChildOptions& options,
                                                int hangGuardSeconds = 120) {
    using namespace TerminalChildDetail;
    PseudoTerminal terminal;
    if (!terminal.valid())
        fail("pseudo-terminal");
    Descriptor input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    int outEnds[2];
    if (input.get() < 0 || ::pipe2(outEnds, O_CLOEXEC) != 0)
        fail("descriptors");
    Descriptor outRead(outEnds[0]);
    Descriptor outWrite(outEnds[1]);

    std::vector<std::string> arguments{program};
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::string> variables = environment(options);
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(variables);

    const pid_t pid = ::fork();
    if (pid < 0)
        fail("fork");
    if (pid == 0) {
        if (::dup2(input.get(), STDIN_FILENO) < 0 || ::dup2(outWrite.get(), STDOUT_FILENO) < 0 ||
            ::dup2(terminal.slave(), STDERR_FILENO) < 0)
            ::_exit(126);
        if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0)
            ::_exit(126);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    terminal.closeSlave();
    outWrite.reset();
    input.reset();

    TerminalChildResult result;
    bool outOpen = true;
    bool terminalOpen = true;
    const std::time_t deadline = std::time(nullptr) + hangGuardSeconds;
    while ((outOpen || terminalOpen) && std::time(nullptr) < deadline) {
        pollfd watched[2] = {{outOpen ? outRead.get() : -1, POLLIN, 0},
                             {terminalOpen ? terminal.master() : -1, POLLIN, 0}};
        if (::poll(watched, 2, 1000) < 0 && errno != EINTR)
            break;
        if (outOpen && watched[0].revents)
            outOpen = drain(outRead.get(), result.out);
        if (terminalOpen && watched[1].revents)
            terminalOpen = drain(terminal.master(), result.terminal);
    }
    if (outOpen || terminalOpen)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

} // namespace TestSupport
