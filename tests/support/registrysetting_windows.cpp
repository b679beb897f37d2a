// The settings key of the service written with the registry's own calls, its values taken from
// the registry file text as the POSIX build would read them, in the 32-bit view of the registry
// where the service's installation writes them.

#include "support/registrysetting.hpp"

#include "libs/string/unicode.hpp"
#include "libs/win32/registry/registryfile.hpp"

#include <windows.h>

#include <cstring>
#include <stdexcept>

namespace TestSupport::RegistrySetting {

namespace {

const std::string settingsKey = "Software\\Quorlin Software\\Qelt\\Service\\Settings";

std::wstring wide(const std::string& text) {
    const std::u16string units = String::utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

void check(LONG status, const std::string& what) {
    if (status != ERROR_SUCCESS)
        throw std::runtime_error(what + ": Windows error " + std::to_string(status));
}

} // namespace

void remove(const std::string&) {
    // RegDeleteTreeW has no view flag; below a handle of the view's own Software key it stays there.
    HKEY software = nullptr;
    check(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &software),
          "RegOpenKeyExW");
    const LONG removed = RegDeleteTreeW(software, wide(settingsKey.substr(std::strlen("Software\\"))).c_str());
    RegCloseKey(software);
    if (removed != ERROR_FILE_NOT_FOUND)
        check(removed, "RegDeleteTreeW");
}

void apply(const std::string& file, const std::string& text) {
    using namespace Win32::Registry;
    RegistryFile::Hive hive;
    RegistryFile::ParseFailure failure;
    if (!hive.parse(text, failure))
        throw std::runtime_error("registry text, line " + std::to_string(failure.line) + ": " + failure.reason);
    remove(file);
    if (!hive.hasKey(LocalMachine, settingsKey))
        return;
    HKEY key = nullptr;
    check(RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(settingsKey).c_str(), 0, nullptr, 0,
                          KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
          "RegCreateKeyExW");
    for (const auto& [name, value] : hive.values(LocalMachine, settingsKey)) {
        const LONG status = RegSetValueExW(key, wide(name).c_str(), 0, value.type,
                                           reinterpret_cast<const BYTE*>(value.data.data()),
                                           static_cast<DWORD>(value.data.size()));
        if (status != ERROR_SUCCESS) {
            RegCloseKey(key);
            check(status, "RegSetValueExW");
        }
    }
    RegCloseKey(key);
}

} // namespace TestSupport::RegistrySetting
