#pragma once
// Making file system calls fail on purpose, also when the tests run as root: a file size limit
// on this process and its children, and failing rename(2) and fsync(2) calls of this process.

#include <sys/resource.h>

#include <string>

namespace TestSupport {

// While alive, this process and the processes it starts cannot write a file past the byte
// limit; such a write fails with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // True when the limit is in force.
    bool ok() const { return ok_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool ok_ = false;
};

// Failures of the process's own rename(2) and fsync(2) calls, with EIO. Linking a test program
// that calls these puts wrappers of the two calls into it; unarmed, they pass every call on.
namespace SystemCallFaults {

enum class Fsync { None, Everything, Folders };

// Fails the rename from `from`; only the one to `to` when `to` is not empty.
void failRename(const std::string& from, const std::string& to = std::string());
// Fails every fsync, or those of folders only, after the first `passing` of them.
void failFsync(Fsync which, int passing = 0);
// Disarms every failure.
void reset();

} // namespace SystemCallFaults

} // namespace TestSupport
