#include "libs/win32/file/folderpath.hpp"

#include "libs/win32/error.hpp"
#include "libs/win32/exceptions.hpp"

#include <boost/filesystem/operations.hpp>

#include <cerrno>
#include <cstdlib>

namespace Win32::Files {
namespace {

std::string commonAppDataPath() {
    const char* configured = std::getenv("QELT_COMMON_APPDATA");
    return configured && *configured ? configured : "/var/lib";
}

void createFolder(const std::string& path, int folderId) {
    boost::system::error_code error;
    boost::filesystem::create_directories(path, error);
    if (error) {
        BOOST_THROW_EXCEPTION(Exceptions::ShGetFolderPath()
                              << Exceptions::FolderType_(folderId)
                              << ErrorCode(static_cast<std::uint32_t>(error.value())));
    }
}

} // namespace

std::string folderPath(int folderId) {
    if ((folderId & ~Folder::FlagMask) != Folder::CommonAppData) {
        BOOST_THROW_EXCEPTION(Exceptions::ShGetFolderPath()
                              << Exceptions::FolderType_(folderId) << ErrorCode(EINVAL));
    }
    const std::string path = commonAppDataPath();
    if (folderId & Folder::FlagCreate) {
        createFolder(path, folderId);
    }
    return path;
}

} // namespace Win32::Files
