// Windows paths: Boost.Filesystem paths carry UTF-8 in their narrow strings, converted to and
// from the system's UTF-16 as UTF-8 instead of the ANSI code page, set before the first path is
// made (the files library's build pulls this object into every program that links the library).
// A long name gets the extended-length prefix, because without it the file calls refuse names
// beyond MAX_PATH unless the system allows long paths and the program declares that it handles
// them (manifest); with the prefix the system skips its own normalisation, so the name is made
// full and normalised first.

#include "libs/files/pathencoding.hpp"

#include "libs/string/unicode.hpp"

#include <boost/filesystem/detail/utf8_codecvt_facet.hpp>

#include <windows.h>

#include <cwchar>
#include <exception>
#include <locale>

extern "C" const bool qeltUtf8Paths = [] {
    boost::filesystem::path::imbue(
        std::locale(std::locale::classic(), new boost::filesystem::detail::utf8_codecvt_facet));
    return true;
}();

namespace Files {

namespace {

// CreateDirectoryW's limit (MAX_PATH less room for an 8.3 file name); the other calls allow 260.
constexpr std::size_t classicLimit = MAX_PATH - 12;

bool startsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

// The full form of the name, or the empty text when the system cannot make it.
std::wstring fullName(const std::wstring& name)
{
    const DWORD needed = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return std::wstring();
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(name.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return std::wstring();
    full.resize(length);
    return full;
}

} // namespace

boost::filesystem::path systemPath(const std::string& name)
{
    std::wstring wide;
    try {
        const std::u16string units = String::utf8ToUtf16(name);
        wide.assign(units.begin(), units.end());
    } catch (const std::exception&) {
        return boost::filesystem::path();
    }
    if (startsWith(wide, L"\\\\?\\") || startsWith(wide, L"\\\\.\\"))
        return wide;
    const std::wstring full = fullName(wide);
    if (full.size() < classicLimit)
        return wide;
    if (startsWith(full, L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

} // namespace Files
