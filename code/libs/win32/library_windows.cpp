#include "libs/win32/library.hpp"

#include "libs/string/unicode.hpp"
#include "libs/win32/error.hpp"
#include "libs/win32/exceptions.hpp"

#include <windows.h>

namespace Win32 {

void Library::open(const std::string& name, unsigned flags) {
    module_.reset();
    const std::u16string wideName = String::utf8ToUtf16Lenient(name);
    HMODULE module =
        LoadLibraryExW(reinterpret_cast<const wchar_t*>(wideName.c_str()), nullptr, flags);
    if (module == nullptr) {
        const ErrorCode error;
        BOOST_THROW_EXCEPTION(Exceptions::LoadLib() << ::Exceptions::Filename_(name) << error);
    }
    module_.reset(module, [](void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); });
}

} // namespace Win32
