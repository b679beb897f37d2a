#include "support/platform.hpp"

#include "support/temporarydirectory.hpp"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include <fstream>

namespace TestSupport {

namespace fs = boost::filesystem;

std::string pathSeparator() {
    return std::string(1, static_cast<char>(fs::path::preferred_separator));
}

std::string nativeSeparators(const std::string& path) {
    return fs::path(path).make_preferred().string();
}

std::string joinPath(const std::string& directory, const std::string& relative) {
    return (fs::path(directory) / nativeSeparators(relative)).string();
}

std::string textModeLines(const std::string& text) {
    const std::string lineEnd = textModeLineEnd();
    std::string result;
    for (char c : text)
        result += c == '\n' ? lineEnd : std::string(1, c);
    return result;
}

void makeReadOnly(const std::string& path) {
    fs::permissions(path, fs::remove_perms | fs::owner_write | fs::group_write | fs::others_write);
}

bool readOnlyBindsThisProcess() {
    static const bool binds = [] {
        const TemporaryDirectory directory;
        const std::string probe = directory / "read-only";
        std::ofstream(probe.c_str()).put('x');
        makeReadOnly(probe);
        return !std::ofstream(probe.c_str(), std::ios::app);
    }();
    return binds;
}

} // namespace TestSupport
