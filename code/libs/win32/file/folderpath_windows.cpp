#include "libs/win32/file/folderpath.hpp"

#include "libs/string/unicode.hpp"
#include "libs/win32/error.hpp"
#include "libs/win32/exceptions.hpp"

#include <windows.h>
#include <shlobj.h>

namespace Win32::Files {

std::string folderPath(int folderId) {
    wchar_t path[MAX_PATH] = {};
    const HRESULT result = SHGetFolderPathW(nullptr, folderId, nullptr, SHGFP_TYPE_CURRENT, path);
    if (result != S_OK) {
        BOOST_THROW_EXCEPTION(Exceptions::ShGetFolderPath()
                              << Exceptions::FolderType_(folderId)
                              << ErrorCode(static_cast<std::uint32_t>(result)));
    }
    return String::utf16ToUtf8Lenient(reinterpret_cast<const char16_t*>(path));
}

} // namespace Win32::Files
