#include "libs/win32/registry/node.hpp"

#include "libs/string/unicode.hpp"
#include "libs/win32/error.hpp"
#include "libs/win32/exceptions.hpp"

#include <windows.h>

#include <vector>

namespace Win32::Registry {

// An opened registry key, closed with the last owner.
struct OpenedKey {
    explicit OpenedKey(HKEY opened) : handle(opened) {}
    ~OpenedKey() { RegCloseKey(handle); }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    HKEY handle;
};

namespace {

constexpr DWORD initialBufferBytes = 128 * sizeof(wchar_t);

// The predefined roots are 32-bit values that a 64-bit HKEY holds sign-extended.
HKEY rootHandle(Root root) {
    switch (root) {
    case ClassesRoot: return HKEY_CLASSES_ROOT;
    case CurrentUser: return HKEY_CURRENT_USER;
    case LocalMachine: return HKEY_LOCAL_MACHINE;
    case Users: return HKEY_USERS;
    case PerformanceData: return HKEY_PERFORMANCE_DATA;
    case CurrentConfig: return HKEY_CURRENT_CONFIG;
    case PerformanceText: return HKEY_PERFORMANCE_TEXT;
    case PerformanceNlsText: return HKEY_PERFORMANCE_NLSTEXT;
    default: return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(root));
    }
}

const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The service is a 32-bit program: its installation writes the 32-bit view of the registry
// (HKEY_LOCAL_MACHINE\Software\WOW6432Node on 64-bit Windows), which the 32-bit migrator reads
// without asking. The 64-bit build asks for that view, so both builds read the same values; 32-bit
// Windows has only the one view and ignores the flag.
constexpr REGSAM registryView = KEY_WOW64_32KEY;

HKEY openOrCreate(Root parent, const std::string& path, bool writable,
                  const void* securityAttributes) {
    const std::u16string widePath = String::utf8ToUtf16Lenient(path);
    HKEY opened = nullptr;
    const LONG status =
        writable ? RegCreateKeyExW(rootHandle(parent), wide(widePath), 0, nullptr, 0, KEY_WRITE | registryView,
                                   static_cast<LPSECURITY_ATTRIBUTES>(
                                       const_cast<void*>(securityAttributes)),
                                   &opened, nullptr)
                 : RegOpenKeyExW(rootHandle(parent), wide(widePath), 0, KEY_READ | registryView, &opened);
    if (status == ERROR_FILE_NOT_FOUND) {
        BOOST_THROW_EXCEPTION(Exceptions::NotFound()
                              << Exceptions::Key_(keyName(parent, path, std::string())));
    }
    if (status != ERROR_SUCCESS) {
        BOOST_THROW_EXCEPTION(Exceptions::AccessRegistry()
                              << Exceptions::Key_(keyName(parent, path, std::string()))
                              << ErrorCode(static_cast<std::uint32_t>(status)));
    }
    return opened;
}

} // namespace

std::shared_ptr<const OpenedKey> openKey(Root parent, const std::string& path, bool writable,
                                         const void* securityAttributes) {
    return std::make_shared<const OpenedKey>(openOrCreate(parent, path, writable, securityAttributes));
}

bool NodeImpl::tryRead(const std::string& valueName, ValueType::Enum type,
                       std::string& output) const {
    const HKEY key = readingKey().handle;
    const std::u16string name = String::utf8ToUtf16Lenient(valueName);
    std::vector<BYTE> data(initialBufferBytes);
    for (;;) {
        DWORD actualType = REG_NONE;
        DWORD bytes = static_cast<DWORD>(data.size());
        const LONG status = RegQueryValueExW(key, wide(name), nullptr, &actualType, data.data(), &bytes);
        if (actualType != type) {
            return false;
        }
        if (status == ERROR_MORE_DATA) {
            data.resize(bytes);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return false;
        }
        output = textOfValueData(data.data(), bytes);
        return true;
    }
}

} // namespace Win32::Registry
