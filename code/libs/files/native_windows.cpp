// The Windows file system calls: FlushFileBuffers, MoveFileExW writing through,
// CreateHardLinkW looked up at run time in kernel32.dll, and a handle-based copy. Names arrive in
// UTF-8 and go to the system in UTF-16.

#include "libs/files/native.hpp"

#include "libs/files/lasterror.hpp"

#include "libs/files/pathencoding.hpp"

#include <boost/filesystem/operations.hpp>

#include <windows.h>
#include <io.h>

#include <cerrno>
#include <vector>

namespace Files::Native {

namespace {

// One function of a library, looked up once: the address stays null when the library or the
// function is missing.
class DynamicallyLoadedFunction {
public:
    DynamicallyLoadedFunction(const char* library, const char* function)
        : module_(LoadLibraryA(library))
    {
        if (module_ != nullptr)
            address_ = reinterpret_cast<void*>(GetProcAddress(module_, function));
    }
    virtual ~DynamicallyLoadedFunction()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
        module_ = nullptr;
        address_ = nullptr;
    }
    DynamicallyLoadedFunction(const DynamicallyLoadedFunction&) = delete;
    DynamicallyLoadedFunction& operator=(const DynamicallyLoadedFunction&) = delete;

    bool isAvailable() const { return address_ != nullptr; }
    void* address() const { return address_; }

private:
    HMODULE module_ = nullptr;
    void* address_ = nullptr;
};

using CreateHardLinkFunction = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES);

const DynamicallyLoadedFunction& createHardLink()
{
    static const DynamicallyLoadedFunction function("kernel32.dll", "CreateHardLinkW");
    return function;
}

// Owns one file handle.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (isOpen())
            CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    bool close()
    {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != 0;
    }

private:
    HANDLE handle_;
};

// Thrown by wide for a name that is not UTF-8, which no call can be given; each caller turns it
// into its own report of the failure, saying so.
struct NotUnicode {};

// The form in which the system's calls get a name.
std::wstring wide(const std::string& name)
{
    std::wstring path = systemPath(name).wstring();
    if (path.empty() && !name.empty())
        throw NotUnicode{};
    return path;
}

boost::system::error_code notUnicode()
{
    return boost::system::error_code(ERROR_NO_UNICODE_TRANSLATION, boost::system::system_category());
}

boost::system::error_code lastError()
{
    return boost::system::error_code(static_cast<int>(GetLastError()), boost::system::system_category());
}

SyncOutcome syncHandle(const std::string& name, DWORD access, DWORD flags)
{
    std::wstring path;
    try {
        path = wide(name);
    } catch (const NotUnicode&) {
        errno = EILSEQ;
        return SyncOutcome::NotOpened;
    }
    const Handle file(CreateFileW(path.c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, flags, nullptr));
    if (!file.isOpen()) {
        errno = lastErrorNumber();
        return SyncOutcome::NotOpened;
    }
    if (access != GENERIC_READ && !FlushFileBuffers(file.get())) {
        errno = lastErrorNumber();
        return SyncOutcome::NotSynced;
    }
    return SyncOutcome::Synced;
}

bool writeAllBytes(HANDLE file, const char* bytes, DWORD count)
{
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, count, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        count -= written;
    }
    return true;
}

// The attributes that a file's own settings consist of, as opposed to what the system keeps.
constexpr DWORD keptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The copy is the program's to change, so it never takes the read-only attribute over.
constexpr DWORD copiedAttributes = keptAttributes & ~FILE_ATTRIBUTE_READONLY;

} // namespace

bool syncStream(std::FILE* stream)
{
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (file != INVALID_HANDLE_VALUE && FlushFileBuffers(file))
        return true;
    errno = lastErrorNumber();
    return false;
}

SyncOutcome syncFile(const std::string& name)
{
    return syncHandle(name, GENERIC_READ | GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL);
}

// A rename inside the folder is written through by MoveFileExW itself; the folder has no data of
// its own to flush, so this only confirms that it can be opened.
SyncOutcome syncDirectory(const std::string& name)
{
    return syncHandle(name, GENERIC_READ, FILE_FLAG_BACKUP_SEMANTICS);
}

void rename(const std::string& from, const std::string& to)
{
    std::wstring source;
    std::wstring target;
    try {
        source = wide(from);
        target = wide(to);
    } catch (const NotUnicode&) {
        throw boost::filesystem::filesystem_error("rename", from, to, notUnicode());
    }
    if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw boost::filesystem::filesystem_error("rename", from, to, lastError());
}

bool makeHardLink(const std::string& from, const std::string& to)
{
    const DynamicallyLoadedFunction& function = createHardLink();
    if (!function.isAvailable()) {
        errno = ENOSYS;
        return false;
    }
    const auto create = reinterpret_cast<CreateHardLinkFunction>(function.address());
    try {
        if (create(wide(to).c_str(), wide(from).c_str(), nullptr))
            return true;
    } catch (const NotUnicode&) {
        errno = EILSEQ;
        return false;
    }
    errno = lastErrorNumber();
    return false;
}

namespace {

boost::system::error_code copyContentOf(const std::string& from, const std::string& to, bool& created,
                                        const CopyProgress& onProgress)
{
    // The source may be open elsewhere, for example by the database engine that checked it.
    Handle in(CreateFileW(wide(from).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION source{};
    if (!in.isOpen() || !GetFileInformationByHandle(in.get(), &source))
        return lastError();
    Handle out(CreateFileW(wide(to).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.isOpen())
        return lastError();
    created = true;
    std::vector<char> buffer(1024 * 1024);
    std::uintmax_t copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            return lastError();
        if (got == 0)
            break;
        if (!writeAllBytes(out.get(), buffer.data(), got))
            return lastError();
        copied += got;
        if (onProgress)
            onProgress(copied);
    }
    if (!out.close())
        return lastError();
    const DWORD attributes = source.dwFileAttributes & copiedAttributes;
    if (attributes != 0 && !SetFileAttributesW(wide(to).c_str(), attributes))
        return lastError();
    return {};
}

boost::system::error_code copyAttributesOf(const std::string& from, const std::string& to)
{
    const DWORD source = GetFileAttributesW(wide(from).c_str());
    if (source == INVALID_FILE_ATTRIBUTES)
        return lastError();
    const DWORD target = GetFileAttributesW(wide(to).c_str());
    if (target == INVALID_FILE_ATTRIBUTES)
        return lastError();
    const DWORD attributes = (target & ~keptAttributes) | (source & keptAttributes);
    if (!SetFileAttributesW(wide(to).c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes))
        return lastError();
    return {};
}

} // namespace

boost::system::error_code copyContent(const std::string& from, const std::string& to, bool& created,
                                      const CopyProgress& onProgress)
{
    try {
        return copyContentOf(from, to, created, onProgress);
    } catch (const NotUnicode&) {
        return notUnicode();
    }
}

boost::system::error_code copyAttributes(const std::string& from, const std::string& to)
{
    try {
        return copyAttributesOf(from, to);
    } catch (const NotUnicode&) {
        return notUnicode();
    }
}

} // namespace Files::Native
