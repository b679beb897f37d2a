#include "libs/win32/file/folderpath.hpp"

#include "libs/log/logger.hpp"

namespace Win32::Files {

std::string allUsersAppDataPath() noexcept {
    try {
        return folderPath(Folder::CommonAppData | Folder::FlagCreate | Folder::FlagNoAlias);
    } catch (const std::exception& e) {
        try {
            Log::mainLogger().write(Log::Warn, Log::Debug,
                                    std::string("get all useres app data path: ") + e.what());
        } catch (...) {
        }
    } catch (...) {
    }
    return std::string();
}

} // namespace Win32::Files
