#include "libs/log/logger.hpp"

#include "libs/files/file.hpp"
#include "libs/files/flags.hpp"

#include <mutex>

namespace Log {
namespace {

// Held from opening a destination to closing it, so that the lines of one message are never
// interleaved with another's. Recursive so that a message logged while a destination is being
// opened cannot deadlock the process.
std::recursive_mutex& outputMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

constexpr Files::Flags::Enum logFileFlags = Files::Flags::Write | Files::Flags::Append |
                                            Files::Flags::Create |
                                            Files::Flags::CreateDirectories |
                                            Files::Flags::DenyNone;

void openDestination(Files::File& file, Output output, const std::string& path) {
    if (output == Output::StdErr) {
        file.openStdErr();
        return;
    }
    if (output == Output::File) {
        try {
            file.open(path, logFileFlags);
            return;
        } catch (...) {
        }
    }
    file.openStdOut();
}

} // namespace

void writeOutput(const std::string& text, Output output, const std::string& path) noexcept {
    if (text.empty() || output == Output::None) {
        return;
    }
    try {
        std::lock_guard<std::recursive_mutex> lock(outputMutex());
        Files::File file;
        openDestination(file, output, path);
        try {
            file.write(text.data(), text.size());
            file.flush();
        } catch (...) {
        }
    } catch (...) {
    }
}

} // namespace Log
