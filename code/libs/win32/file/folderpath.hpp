#pragma once
// The location of the system's special folders, such as the all-users application data folder.

#include <string>

namespace Win32::Files {

// Folder identifiers (low byte) and the flags that may be combined with them.
namespace Folder {
constexpr int CommonAppData = 0x23;
constexpr int FlagNoAlias = 0x1000;
constexpr int FlagCreate = 0x8000;
constexpr int FlagMask = 0xFF00;
} // namespace Folder

// The folder's path (UTF-8); with Folder::FlagCreate the folder is created when missing.
// On POSIX the all-users application data folder is $QELT_COMMON_APPDATA when set and not
// empty, else /var/lib; it is the only folder known. Throws
// Win32::Files::Exceptions::ShGetFolderPath with FolderType_ (the identifier), WinErrorCode_
// and Error_ for an unknown identifier or a folder that cannot be created.
std::string folderPath(int folderId);

// The all-users application data folder, created when missing; after a failure the empty
// string, with the reason logged (level warn, verbosity debug). Never throws.
std::string allUsersAppDataPath() noexcept;

} // namespace Win32::Files
