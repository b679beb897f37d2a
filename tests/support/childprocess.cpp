#include "support/childprocess.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace TestSupport {

namespace {

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0)
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeRead() { closeEnd(0); }
    void closeWrite() { closeEnd(1); }

private:
    void closeEnd(int end) {
        if (fds_[end] >= 0)
            ::close(fds_[end]);
        fds_[end] = -1;
    }
    int fds_[2] = {-1, -1};
};

std::vector<std::string> childEnvironment(const ChildOptions& options) {
    std::map<std::string, std::string> merged;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        const std::string::size_type equals = text.find('=');
        if (equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const std::string& name : options.unset)
        merged.erase(name);
    for (const auto& [name, value] : options.environment)
        merged[name] = value;
    std::vector<std::string> result;
    for (const auto& [name, value] : merged)
        result.push_back(name + "=" + value);
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

[[noreturn]] void execChild(const std::string& program, const ChildOptions& options, Pipe& in, Pipe& out,
                            Pipe& err, std::vector<std::string>& arguments, std::vector<std::string>& environment) {
    if (::dup2(in.readEnd(), STDIN_FILENO) < 0 || ::dup2(out.writeEnd(), STDOUT_FILENO) < 0 ||
        ::dup2(err.writeEnd(), STDERR_FILENO) < 0)
        ::_exit(127);
    if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0)
        ::_exit(127);
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    ::execve(program.c_str(), argv.data(), envp.data());
    ::_exit(127);
}

// Feeds the input and drains both outputs together, so that no pipe fills up and blocks.
void exchange(const std::string& input, Pipe& in, Pipe& out, Pipe& err, ChildResult& result) {
    std::size_t written = 0;
    if (input.empty())
        in.closeWrite();
    char buffer[4096];
    while (out.readEnd() >= 0 || err.readEnd() >= 0) {
        pollfd fds[3] = {{out.readEnd(), POLLIN, 0}, {err.readEnd(), POLLIN, 0}, {in.writeEnd(), POLLOUT, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        Pipe* readers[2] = {&out, &err};
        std::string* targets[2] = {&result.out, &result.err};
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0)
                targets[i]->append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                readers[i]->closeRead();
        }
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t put = ::write(fds[2].fd, input.data() + written, input.size() - written);
            if (put > 0)
                written += static_cast<std::size_t>(put);
            if ((put < 0 && errno != EINTR) || written == input.size())
                in.closeWrite();
        }
    }
    in.closeWrite();
}

} // namespace

ChildResult runChild(const std::string& program, const ChildOptions& options) {
    std::vector<std::string> arguments{program};
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::string> environment = childEnvironment(options);
    Pipe in, out, err;
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0)
        execChild(program, options, in, out, err, arguments, environment);
    in.closeRead();
    out.closeWrite();
    err.closeWrite();
    ChildResult result;
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    exchange(options.input, in, out, err, result);
    ::signal(SIGPIPE, previous);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exitCode = 128 + WTERMSIG(status);
    return result;
}

} // namespace TestSupport
