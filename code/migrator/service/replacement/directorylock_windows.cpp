// The Windows directory lock: a handle of the directory itself that asks for the right to add
// files and shares everything but that right, so a second such handle is refused with a sharing
// violation while the owner's own other handles of the directory still open.

#include "migrator/service/replacement/directorylock.hpp"

#include "libs/string/unicode.hpp"

#include <windows.h>

namespace Migration::DirectoryLock {

Attempt tryLock(const std::string& directory) {
    std::u16string name;
    try {
        name = String::utf8ToUtf16(directory);
    } catch (const std::exception&) {
        return {Outcome::Unavailable};
    }
    const HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()),
                                      GENERIC_READ | FILE_ADD_FILE,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const bool heldElsewhere = GetLastError() == ERROR_SHARING_VIOLATION;
        return {heldElsewhere ? Outcome::HeldElsewhere : Outcome::Unavailable};
    }
    return {Outcome::Locked, reinterpret_cast<Handle>(handle)};
}

void release(Handle handle) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace Migration::DirectoryLock
