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

HKEY openOrCreate(Root parent, const std::string& path, bool writable,
                  const void* securityAttributes) {
    const std::u16string widePath = String::utf8ToUtf16Lenient(path);
    HKEY opened = nullptr;
    const LONG status =
        writable ? RegCreateKeyExW(rootHandle(parent), wide(widePath), 0, nullptr, 0, KEY_WRITE,
                                   static_cast<LPSECURITY_ATTRIBUTES>(
                                       const_cast<void*>(securityAttributes)),
                                   &opened, nullptr)
                 : RegOpenKeyExW(rootHandle(parent), wide(widePath), 0, KEY_READ, &opened);
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

std::string stringFromUnits(const std::vector<BYTE>& data, DWORD bytes) {
    std::u16string units(bytes / sizeof(char16_t), u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    }
    while (!units.empty() && units.back() == 0) {
        units.pop_back();
    }
    return String::utf16ToUtf8Lenient(units);
}

} // namespace

void NodeImpl::reset(Root parent, const std::string& path, bool writable,
                     const void* securityAttributes) {
    key_.reset();
    parent_ = NoRoot;
    path_.clear();
    writable_ = false;
    if (parent == NoRoot) {
        return;
    }
    key_ = std::make_shared<const OpenedKey>(openOrCreate(parent, path, writable, securityAttributes));
    writable_ = writable;
    parent_ = parent;
    path_ = path;
}

const OpenedKey& NodeImpl::readingKey() const {
    if (!key_) {
        BOOST_THROW_EXCEPTION(Exceptions::NotOpened());
    }
    return *key_;
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
        output = stringFromUnits(data, bytes);
        return true;
    }
}

template <>
void NodeImpl::read<std::string>(const std::string& valueName, ValueType::Enum type,
                                 std::string& output) const {
    if (!tryRead(valueName, type, output)) {
        BOOST_THROW_EXCEPTION(Exceptions::NotFound()
                              << Exceptions::Key_(keyName(parent_, path_, valueName)));
    }
}

Node::Node() : impl_(std::make_shared<NodeImpl>()) {}

Node::Node(Root root, const std::string& path, bool writable, const void* securityAttributes)
    : Node() {
    impl_->reset(root, path, writable, securityAttributes);
}

void Node::read(const std::string& valueName, std::string& output) const {
    impl_->read(valueName, ValueType::String, output);
}

} // namespace Win32::Registry
