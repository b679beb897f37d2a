// The Windows directory lock: the lock file in the directory, opened sharing nothing and deleted
// when its handle closes. A second open of it is refused with a sharing violation for as long as
// the handle lives; the system closes the handle, and so deletes the file, when the process ends
// in any way. The folder itself is never opened, so the renames into it (which open the folder
// for adding a file) are not refused by this lock.

#include "migrator/service/replacement/directorylock.hpp"

#include "libs/files/pathencoding.hpp"
#include "libs/files/paths.hpp"

#include <windows.h>

namespace Migration::DirectoryLock {

Attempt tryLock(const std::string& directory) {
    const std::wstring name = Files::systemPath(Files::join(directory, lockFileName)).wstring();
    // OPEN_ALWAYS: a lock file that a power loss left behind is simply taken over.
    const HANDLE handle =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
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
