// Child processes on Windows: CreateProcessW with a UTF-16 command line and environment block,
// standard streams through pipes, both outputs read by their own threads.

#include "support/childprocess.hpp"

#include <windows.h>
#include <io.h>

#include <chrono>
#include <cwctype>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace TestSupport {

namespace {

std::wstring wide(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::runtime_error failure(const std::string& what) {
    return std::runtime_error(what + ": Windows error " + std::to_string(GetLastError()));
}

// One argument quoted as the runtime library splits command lines.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring result = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, L'\\');
    return result + L"\"";
}

std::wstring upper(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towupper(c));
    return text;
}

// The test's environment with the options applied, as a sorted block of "name=value" texts.
std::wstring environmentBlock(const ChildOptions& options) {
    std::map<std::wstring, std::wstring> merged;
    // Names compare without regard to letter case, as Windows does.
    const auto erase = [&merged](const std::wstring& name) {
        for (auto it = merged.begin(); it != merged.end(); ++it) {
            if (upper(it->first) == upper(name)) {
                merged.erase(it);
                return;
            }
        }
    };
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; entry && *entry; entry += wcslen(entry) + 1) {
        const std::wstring text = entry;
        const std::size_t equals = text.find(L'=', 1);
        if (equals != std::wstring::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(strings);
    for (const std::string& name : options.unset)
        erase(wide(name));
    for (const auto& [name, value] : options.environment) {
        erase(wide(name));
        merged[wide(name)] = wide(value);
    }
    std::wstring block;
    for (const auto& [name, value] : merged)
        block += name + L"=" + value + L'\0';
    return block + L'\0';
}

// The output as text: the runtime's text-mode streams end lines with CR LF, read here as LF so
// that transcripts compare alike on every platform.
std::string textLines(const std::string& output) {
    std::string text;
    text.reserve(output.size());
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (!(output[i] == '\r' && i + 1 < output.size() && output[i + 1] == '\n'))
            text += output[i];
    }
    return text;
}

// A pipe whose child end is inherited and whose own end is not.
struct Pipe {
    HANDLE read = nullptr;
    HANDLE write = nullptr;

    explicit Pipe(bool childReads) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        if (!CreatePipe(&read, &write, &inherit, 0))
            throw failure("CreatePipe");
        SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    ~Pipe() {
        close(read);
        close(write);
    }
    static void close(HANDLE& handle) {
        if (handle != nullptr)
            CloseHandle(handle);
        handle = nullptr;
    }
};

} // namespace

struct RunningChild::State {
    Pipe in{true}, out{false}, err{false};
    PROCESS_INFORMATION process{};
    std::mutex mutex;
    ChildResult result;
    bool outEnded = false;
    bool errEnded = false;
    std::thread outReader, errReader;

    void readAll(HANDLE pipe, std::string ChildResult::*target, bool State::*ended) {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
            const std::lock_guard<std::mutex> lock(mutex);
            (result.*target).append(buffer, got);
        }
        const std::lock_guard<std::mutex> lock(mutex);
        this->*ended = true;
    }

    void joinReaders() {
        if (outReader.joinable())
            outReader.join();
        if (errReader.joinable())
            errReader.join();
    }
};

RunningChild::RunningChild(const std::string& program, const ChildOptions& options)
    : state_(std::make_unique<State>()) {
    std::wstring commandLine = quoted(wide(program));
    for (const std::string& argument : options.arguments)
        commandLine += L" " + quoted(wide(argument));
    std::wstring environment = environmentBlock(options);
    const std::wstring directory = wide(options.workingDirectory);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = options.inputDescriptor >= 0
                            ? reinterpret_cast<HANDLE>(_get_osfhandle(options.inputDescriptor))
                            : state_->in.read;
    startup.hStdOutput = state_->out.write;
    startup.hStdError = state_->err.write;
    if (!CreateProcessW(wide(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        directory.empty() ? nullptr : directory.c_str(), &startup, &state_->process))
        throw failure("CreateProcessW " + program);
    Pipe::close(state_->in.read);
    Pipe::close(state_->out.write);
    Pipe::close(state_->err.write);
    if (options.inputDescriptor >= 0)
        Pipe::close(state_->in.write);
    State* state = state_.get();
    state_->outReader = std::thread([state] { state->readAll(state->out.read, &ChildResult::out, &State::outEnded); });
    state_->errReader = std::thread([state] { state->readAll(state->err.read, &ChildResult::err, &State::errEnded); });
}

RunningChild::~RunningChild() {
    if (state_->process.hProcess != nullptr) {
        TerminateProcess(state_->process.hProcess, 137);
        WaitForSingleObject(state_->process.hProcess, INFINITE);
        CloseHandle(state_->process.hProcess);
        CloseHandle(state_->process.hThread);
    }
    Pipe::close(state_->in.write);
    state_->joinReaders();
}

void RunningChild::write(const std::string& text) {
    std::size_t written = 0;
    while (written < text.size() && state_->in.write != nullptr) {
        DWORD put = 0;
        if (WriteFile(state_->in.write, text.data() + written, static_cast<DWORD>(text.size() - written), &put, nullptr))
            written += put;
        else
            Pipe::close(state_->in.write);
    }
}

void RunningChild::closeInput() {
    Pipe::close(state_->in.write);
}

bool RunningChild::waitForOutput(const std::string& text, int seconds) {
    for (int remaining = seconds * 10;; --remaining) {
        {
            const std::lock_guard<std::mutex> lock(state_->mutex);
            if (state_->result.out.find(text) != std::string::npos)
                return true;
            if ((state_->outEnded && state_->errEnded) || remaining <= 0)
                return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

ChildResult RunningChild::finish() {
    Pipe::close(state_->in.write);
    WaitForSingleObject(state_->process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(state_->process.hProcess, &code);
    CloseHandle(state_->process.hProcess);
    CloseHandle(state_->process.hThread);
    state_->process = PROCESS_INFORMATION{};
    state_->joinReaders();
    state_->result.out = textLines(state_->result.out);
    state_->result.err = textLines(state_->result.err);
    state_->result.fullExitCode = code;
    state_->result.exitCode = static_cast<int>(code & 0xFF);
    return state_->result;
}

} // namespace TestSupport
