// Windows: GetFileAttributesExW, which describes a reparse point (a symbolic link, a junction)
// itself rather than its target.

#include "libs/files/stamp.hpp"

#include <boost/filesystem/path.hpp>

#include <windows.h>

namespace Files {

std::optional<Stamp> stampOf(const std::string& name)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(boost::filesystem::path(name).c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    const DWORD folder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((data.dwFileAttributes & folder) == FILE_ATTRIBUTE_DIRECTORY)
        return std::nullopt;
    const auto wide = [](DWORD high, DWORD low) {
        return (static_cast<std::uint64_t>(high) << 32) | low;
    };
    return Stamp{wide(data.nFileSizeHigh, data.nFileSizeLow),
                 static_cast<std::int64_t>(wide(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime))};
}

} // namespace Files
