#include "libs/win32/registry/key.hpp"

#include <array>
#include <utility>

namespace Win32::Registry {
namespace {

constexpr std::array<std::pair<Root, const char*>, 8> rootNames{{
    {ClassesRoot, "HKEY_CLASSES_ROOT"},
    {CurrentUser, "HKEY_CURRENT_USER"},
    {LocalMachine, "HKEY_LOCAL_MACHINE"},
    {Users, "HKEY_USERS"},
    {PerformanceData, "HKEY_PERFORMANCE_DATA"},
    {CurrentConfig, "HKEY_CURRENT_CONFIG"},
    {PerformanceText, "HKEY_PERFORMANCE_TEXT"},
    {PerformanceNlsText, "HKEY_PERFORMANCE_NLSTEXT"},
}};

std::string hexDigits(std::uintptr_t value) {
    std::string digits;
    do {
        digits.insert(digits.begin(), "0123456789ABCDEF"[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return digits;
}

void appendPart(std::string& name, const std::string& part) {
    if (part.empty()) {
        return;
    }
    if (!name.empty()) {
        name += '\\';
    }
    name += part;
}

} // namespace

std::string rootName(Root root) {
    for (const auto& [value, name] : rootNames) {
        if (value == root) {
            return name;
        }
    }
    return hexDigits(root);
}

std::string keyName(Root root, const std::string& path, const std::string& valueName) {
    std::string name = rootName(root);
    appendPart(name, path);
    appendPart(name, valueName);
    return name;
}

} // namespace Win32::Registry
