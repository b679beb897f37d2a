// The POSIX file system calls: fsync, link(2) and a descriptor-based copy (in the kernel where it can).

#include "libs/files/native.hpp"

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace Files::Native {

namespace {

boost::system::error_code lastError()
{
    return boost::system::error_code(errno, boost::system::system_category());
}

// Owns one open descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) {
            const int saved = errno;
            ::close(fd_);
            errno = saved;
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    // Closes now, reporting the failure a deferred write error shows up as.
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAllBytes(int fd, const char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

SyncOutcome syncDescriptor(const std::string& name, int flags)
{
    const Descriptor descriptor(::open(name.c_str(), flags | O_CLOEXEC));
    if (descriptor.get() < 0)
        return SyncOutcome::NotOpened;
    if (::fsync(descriptor.get()) != 0)
        return SyncOutcome::NotSynced;
    return SyncOutcome::Synced;
}

constexpr std::size_t copyChunkBytes = 1024 * 1024;

// Copies from the current position of in to that of out inside the kernel, chunk by chunk, until
// the kernel reports the end or cannot copy between these two files; the caller then goes on with
// read and write from where this stopped (to the end, for files whose size the kernel does not
// know in advance). Besides saving the trip through user space this matters for what follows: on
// ext4, a copy written through write() made each later small page write of the engine to it cost
// about three times the system time. False, with errno set, when the copy itself failed (a full
// disk, an I/O error).
bool copyInKernel(int in, int out, std::uintmax_t& copied, const CopyProgress& onProgress)
{
    for (;;) {
        const ssize_t got = ::copy_file_range(in, nullptr, out, nullptr, copyChunkBytes, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EPERM;
        if (got == 0)
            return true;
        copied += static_cast<std::uintmax_t>(got);
        if (onProgress)
            onProgress(copied);
    }
}

} // namespace

bool syncStream(std::FILE* stream)
{
    return ::fsync(::fileno(stream)) == 0;
}

SyncOutcome syncFile(const std::string& name)
{
    return syncDescriptor(name, O_RDONLY);
}

SyncOutcome syncDirectory(const std::string& name)
{
    return syncDescriptor(name, O_RDONLY | O_DIRECTORY);
}

void rename(const std::string& from, const std::string& to)
{
    boost::filesystem::rename(from, to);
}

bool makeHardLink(const std::string& from, const std::string& to)
{
    return ::link(from.c_str(), to.c_str()) == 0;
}

boost::system::error_code copyContent(const std::string& from, const std::string& to, bool& created,
                                      const CopyProgress& onProgress)
{
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat source {};
    if (in.get() < 0 || ::fstat(in.get(), &source) != 0)
        return lastError();
    // The copy is the program's to change: it is writable for its owner whatever the source.
    const mode_t mode = (source.st_mode & 07777) | S_IWUSR;
    Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (out.get() < 0)
        return lastError();
    created = true;
    std::uintmax_t copied = 0;
    if (!copyInKernel(in.get(), out.get(), copied, onProgress))
        return lastError();
    std::vector<char> buffer(copyChunkBytes);
    for (;;) {
        const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return lastError();
        if (got == 0)
            break;
        if (!writeAllBytes(out.get(), buffer.data(), static_cast<std::size_t>(got)))
            return lastError();
        copied += static_cast<std::uintmax_t>(got);
        if (onProgress)
            onProgress(copied);
    }
    if (::fchmod(out.get(), mode) != 0 || !out.close())
        return lastError();
    return {};
}

boost::system::error_code copyAttributes(const std::string& from, const std::string& to)
{
    struct stat source {};
    if (::stat(from.c_str(), &source) != 0 || ::chmod(to.c_str(), source.st_mode & 07777) != 0)
        return lastError();
    return {};
}

} // namespace Files::Native
