#pragma once
// Running a program as a child process with chosen arguments, environment, working directory
// and standard input, collecting its standard output, standard error and exit status.

#include <map>
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
};

struct ChildResult {
    // The exit status as the shell sees it (0 to 255), or 128 + signal number when killed.
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts the program and waits for it to end. Throws std::runtime_error when it cannot be started.
ChildResult runChild(const std::string& program, const ChildOptions& options);

} // namespace TestSupport
