#include "support/childprocess.hpp"

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

// Ignores SIGPIPE while it lives, so that writing to a child that has ended reports EPIPE.
class IgnoredBrokenPipe {
public:
    IgnoredBrokenPipe() : previous_(::signal(SIGPIPE, SIG_IGN)) {}
    IgnoredBrokenPipe(const IgnoredBrokenPipe&) = delete;
    IgnoredBrokenPipe& operator=(const IgnoredBrokenPipe&) = delete;
    ~IgnoredBrokenPipe() { ::signal(SIGPIPE, previous_); }

private:
    void (*previous_)(int);
};

} // namespace

struct RunningChild::State {
    Pipe in, out, err;
    pid_t pid = -1;
    ChildResult result;
    IgnoredBrokenPipe ignoredBrokenPipe;

    // Waits for output on either stream for at most timeoutMilliseconds (-1: no limit) and
    // appends what came; false when nothing came in that time.
    bool drainOnce(int timeoutMilliseconds) {
        pollfd fds[2] = {{out.readEnd(), POLLIN, 0}, {err.readEnd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMilliseconds);
        if (ready < 0 && errno == EINTR)
            return true;
        if (ready < 0)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (ready == 0)
            return false;
        Pipe* readers[2] = {&out, &err};
        std::string* targets[2] = {&result.out, &result.err};
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0)
                targets[i]->append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                readers[i]->closeRead();
        }
        return true;
    }

    bool outputOpen() const { return out.readEnd() >= 0 || err.readEnd() >= 0; }
};

RunningChild::RunningChild(const std::string& program, const ChildOptions& options)
    : state_(std::make_unique<State>()) {
    std::vector<std::string> arguments{program};
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::string> environment = childEnvironment(options);
    const int input = options.inputDescriptor >= 0 ? options.inputDescriptor : state_->in.readEnd();
    // Everything the child needs is allocated before the fork: a test may run children from
    // several threads, and an allocation in the child can wait forever for a lock that another
    // thread held at the moment of the fork.
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    state_->pid = ::fork();
    if (state_->pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (state_->pid == 0) {
        if (::dup2(input, STDIN_FILENO) < 0 || ::dup2(state_->out.writeEnd(), STDOUT_FILENO) < 0 ||
            ::dup2(state_->err.writeEnd(), STDERR_FILENO) < 0)
            ::_exit(127);
        if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0)
            ::_exit(127);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    state_->in.closeRead();
    state_->out.closeWrite();
    state_->err.closeWrite();
    if (options.inputDescriptor >= 0)
        state_->in.closeWrite();
}

RunningChild::~RunningChild() {
    if (state_->pid > 0) {
        ::kill(state_->pid, SIGKILL);
        int status = 0;
        while (::waitpid(state_->pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

void RunningChild::write(const std::string& text) {
    std::size_t written = 0;
    while (written < text.size() && state_->in.writeEnd() >= 0) {
        const ssize_t put = ::write(state_->in.writeEnd(), text.data() + written, text.size() - written);
        if (put > 0)
            written += static_cast<std::size_t>(put);
        else if (put < 0 && errno != EINTR)
            state_->in.closeWrite();
    }
}

void RunningChild::closeInput() {
    state_->in.closeWrite();
}

bool RunningChild::waitForOutput(const std::string& text, int seconds) {
    for (int remaining = seconds * 10; state_->result.out.find(text) == std::string::npos;) {
        if (!state_->outputOpen() || remaining <= 0)
            return false;
        if (!state_->drainOnce(100))
            --remaining;
    }
    return true;
}

ChildResult RunningChild::finish() {
    state_->in.closeWrite();
    while (state_->outputOpen())
        state_->drainOnce(-1);
    int status = 0;
    while (::waitpid(state_->pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error(std::string("waitpid: ") + std::strerror(errno));
    }
    state_->pid = -1;
    if (WIFEXITED(status))
        state_->result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        state_->result.exitCode = 128 + WTERMSIG(status);
    state_->result.fullExitCode = static_cast<unsigned long>(state_->result.exitCode);
    return state_->result;
}

} // namespace TestSupport
