#include "libs/win32/error.hpp"

#include "libs/string/text.hpp"
#include "libs/string/unicode.hpp"
#include "libs/win32/library.hpp"

#include <windows.h>

#include <memory>

namespace Win32 {
namespace {

// Frees a buffer that Windows allocated on the caller's behalf.
struct LocalAllocDeleter {
    void operator()(wchar_t* buffer) const {
        if (buffer != nullptr) {
            LocalFree(buffer);
        }
    }
};

// The module that holds the texts of network and internet codes; empty for system codes.
Library messageModule(std::uint32_t code) {
    Library module;
    if (code >= 2100 && code <= 2999) {
        module.open("netmsg.dll", LOAD_LIBRARY_AS_DATAFILE);
    } else if (code >= 12000 && code <= 12190) {
        module.open("wininet.dll", LOAD_LIBRARY_AS_DATAFILE);
    }
    return module;
}

} // namespace

ErrorCode::ErrorCode() : code_(GetLastError()) {}

std::string errorDescription(std::uint32_t code) {
    const Library module = messageModule(code);
    const DWORD source = module.isOpen() ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source, module.handle(),
        code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalAllocDeleter> owner(text);
    if (length == 0 || text == nullptr) {
        return std::string();
    }
    return String::trim(String::utf16ToUtf8Lenient(
        std::u16string_view(reinterpret_cast<const char16_t*>(text), length)));
}

} // namespace Win32
