// The Windows free-space query: GetDiskFreeSpaceExW for the bytes this process may write, and
// the volume's mount path (GetVolumePathNameW) as the name of the file system.

#include "libs/files/freespace.hpp"

#include "libs/files/exceptions.hpp"
#include "libs/files/lasterror.hpp"
#include "libs/files/systemerrornumber.hpp"
#include "libs/string/unicode.hpp"

#include <windows.h>

#include <cerrno>

namespace Files {

namespace {

[[noreturn]] void throwQueryFailure(const std::string& path, int number)
{
    BOOST_THROW_EXCEPTION(Exceptions::OpenFile() << Exceptions::Filename_(path)
                                                 << ::Exceptions::SystemErrorNumber(number));
}

} // namespace

FreeSpace freeSpace(const std::string& path)
{
    std::wstring name;
    try {
        const std::u16string units = String::utf8ToUtf16(path);
        name.assign(units.begin(), units.end());
    } catch (const std::exception&) {
        throwQueryFailure(path, EILSEQ);
    }
    ULARGE_INTEGER available{};
    wchar_t volume[MAX_PATH + 1] = {};
    if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES ||
        !GetDiskFreeSpaceExW(name.c_str(), &available, nullptr, nullptr) ||
        !GetVolumePathNameW(name.c_str(), volume, MAX_PATH + 1))
        throwQueryFailure(path, lastErrorNumber());
    const std::u16string volumeName(volume, volume + wcslen(volume));
    return {String::utf16ToUtf8Lenient(volumeName), static_cast<std::uintmax_t>(available.QuadPart)};
}

} // namespace Files
