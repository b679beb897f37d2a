#include "support/powercut/powercutmount.hpp"

#include "support/filecontent.hpp"
#include "support/temporarydirectory.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace PowerCut {

namespace {

bool mounted(const std::string& mountPoint) {
    struct stat mount {};
    struct stat parent {};
    return ::stat(mountPoint.c_str(), &mount) == 0 && ::stat((mountPoint + "/..").c_str(), &parent) == 0 &&
           mount.st_dev != parent.st_dev;
}

// The test's environment, with the leak checker of the address sanitizer off: the kernel
// releases files and folders asynchronously, so when the file system is ended right after a
// close, their handles are still open and would count as leaks.
std::vector<std::string> fileSystemEnvironment() {
    std::vector<std::string> environment;
    std::string sanitizer = "ASAN_OPTIONS=";
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        if (variable.compare(0, sanitizer.size(), sanitizer) == 0)
            sanitizer = variable + ":";
        else
            environment.push_back(variable);
    }
    environment.push_back(sanitizer + "detect_leaks=0");
    return environment;
}

} // namespace

std::string mountRefusal(const std::string& program) {
    if (program.empty())
        return "the power-cut file system was not built (no libfuse3-dev)";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return "/dev/fuse cannot be opened for reading and writing";
    try {
        const TestSupport::TemporaryDirectory root;
        ::mkdir((root / "backing").c_str(), 0755);
        ::mkdir((root / "mount").c_str(), 0755);
        Mount mount(program, root / "backing", root / "mount", root / "output");
        mount.unmount();
        return std::string();
    } catch (const std::exception& e) {
        return e.what();
    }
}

Mount::Mount(const std::string& program, const std::string& backing, const std::string& mountPoint,
             const std::string& output, std::uint64_t cutAt)
    : errors_(output + ".errors") {
    const std::string cut = std::to_string(cutAt);
    std::vector<std::string> environment = fileSystemEnvironment();
    std::vector<char*> variables;
    for (std::string& variable : environment)
        variables.push_back(variable.data());
    variables.push_back(nullptr);
    std::vector<char*> arguments;
    for (const std::string* argument : {&program, &backing, &mountPoint, &output, &cut})
        arguments.push_back(const_cast<char*>(argument->c_str()));
    arguments.back() = cutAt ? arguments.back() : nullptr;
    arguments.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("cannot start " + program);
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int errors = ::open(errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(errors, STDERR_FILENO);
        ::execve(program.c_str(), arguments.data(), variables.data());
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!mounted(mountPoint)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("mounting the power-cut file system failed: " + TestSupport::readFile(errors_));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            unmount();
            throw std::runtime_error("the power-cut file system was not mounted within ten seconds");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

Mount::~Mount() {
    try {
        if (pid_ > 0)
            unmount();
    } catch (const std::exception&) {
    }
}

void Mount::unmount() {
    const int pid = pid_;
    pid_ = -1;
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the power-cut file system failed: " + TestSupport::readFile(errors_));
}

} // namespace PowerCut
