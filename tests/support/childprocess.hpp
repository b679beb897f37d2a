#pragma once
// Running a program as a child process with chosen arguments, environment, working directory
// and standard input, collecting its standard output, standard error and exit status.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace TestSupport {

struct ChildOptions {
    // argv[1..]; argv[0] is the program path.
    std::vector<std::string> arguments;
    // Added to (or replacing in) the environment of the test process.
    std::map<std::string, std::string> environment;
    // Removed from the environment.
    std::vector<std::string> unset;
    // Working directory of the child; empty keeps the test's.
    std::string workingDirectory;
    // Written to the child's standard input, which is then closed (a pipe, never a terminal).
    std::string input;
    // When not negative, the child's standard input instead of the pipe (a terminal, for
    // example); `input` is then ignored. The descriptor stays open in the test.
    int inputDescriptor = -1;
};

struct ChildResult {
    // The exit status as a POSIX shell sees it (0 to 255), or 128 + signal number when killed;
    // on Windows the low eight bits of the exit code, so that expectations hold on both.
    int exitCode = -1;
    // The whole exit code the process ended with (1002, 1023 on Windows); on POSIX exitCode.
    unsigned long fullExitCode = 0;
    // Standard output and error; on Windows the CR LF line ends of text mode are read as LF.
    std::string out;
    std::string err;
};

// Starts the program and waits for it to end. Throws std::runtime_error when it cannot be started.
ChildResult runChild(const std::string& program, const ChildOptions& options);

// A started child whose output the test reads while it runs.
class RunningChild {
public:
    // Starts the program as runChild does; its standard input is options.inputDescriptor when
    // set, else a pipe that the test writes with write() and ends with closeInput().
    RunningChild(const std::string& program, const ChildOptions& options);
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;
    // Kills a child still running and reaps it; never throws.
    ~RunningChild();

    void write(const std::string& text);
    void closeInput();
    // Reads standard output until it holds the text or the output ends; false when the text
    // did not come within the seconds given (a guard against a child that hangs).
    bool waitForOutput(const std::string& text, int seconds);
    // Reads everything up to the end of both outputs, waits for the child and returns its
    // result, the output read so far included.
    ChildResult finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace TestSupport
