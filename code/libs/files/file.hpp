#pragma once
// A file object over the C library's buffered streams, with guarded reading and writing, and the
// free operations that open, read and write whole files through it.

#include "libs/files/exceptions.hpp"
#include "libs/files/flags.hpp"

#include <boost/noncopyable.hpp>

#include <cstddef>
#include <cstdio>
#include <string>

namespace Files {

class File : boost::noncopyable {
public:
    // A closed file object.
    File() = default;
    // Opens as open() does; throws what open() throws.
    File(const std::string& name, Flags::Enum flags);
    // Closes; never throws.
    virtual ~File();

    // Closes any open stream, then opens name with Files::open. Reading is allowed with Read,
    // writing with Write, and DeleteOnClose removes the file when it is closed.
    void open(const std::string& name, Flags::Enum flags);
    // Closes, then binds the object to standard output ("stdout") or standard error ("stderr")
    // for writing only.
    void openStdOut();
    void openStdErr();
    // Closes the stream (never a standard one), deletes the file when DeleteOnClose was given
    // (a failed deletion is only logged) and forgets name and permissions. Never throws.
    void close();

    // Reads up to count bytes; fewer only at the end of the file. Throws FileNotOpened,
    // ReadingNotAllowed or ReadFile, each with Filename_.
    std::size_t read(void* buffer, std::size_t count);
    // Writes all count bytes. Throws FileNotOpened, WritingNotAllowed or WriteFile with Filename_.
    void write(const void* bytes, std::size_t count);
    // Hands buffered bytes to the system. Throws the check failures, and WriteFile with errno
    // tags and Filename_ when the buffered bytes cannot be written.
    void flush();
    // Flushes and forces the written content to the storage device (fsync), so a following
    // rename is durable. Throws as flush() does; WriteFile when fsync fails.
    void sync();

    // The stream, null when closed.
    std::FILE* handle() const { return handle_; }
    // The name it was opened with, "stdout"/"stderr", empty when closed.
    const std::string& name() const { return name_; }
    bool isOpened() const { return handle_ != nullptr; }

    // Throw FileNotOpened / ReadingNotAllowed / WritingNotAllowed with Filename_.
    void checkOpened() const;
    void checkReading() const;
    void checkWriting() const;

private:
    void bindStandardStream(std::FILE* stream, const char* name);

    std::string name_;
    std::FILE* handle_ = nullptr;
    bool readingAllowed_ = false;
    bool writingAllowed_ = false;
    bool deleteOnClose_ = false;
};

// The open mode text of the flags ("r", "w+b", "at", ...); empty without Read and Write.
std::string openMode(Flags::Enum flags);

// Opens name: applies CreateDirectories and Overwrite to it, opens with the mode of the flags,
// and with Write|Create (no Overwrite) tries once more as with Overwrite when the path is not an
// existing regular file. Throws OpenFile with Filename_ and the errno tags of the last attempt,
// CreateDir from creating the parents, or the Boost.Filesystem error of the status query.
std::FILE* open(const std::string& name, Flags::Enum flags);

namespace Impl {
// Reads up to count bytes in chunks of at most 64 MiB; returns fewer only at the end of the
// stream. Throws ReadFile with Size_, ReadSize_ and the errno tags otherwise.
std::size_t read(std::FILE* stream, void* buffer, std::size_t count);
// Writes count bytes in chunks of at most 64 MiB. Throws WriteFile with Size_, WrittenSize_ and
// the errno tags when a chunk is written short.
void write(std::FILE* stream, const void* bytes, std::size_t count);
} // namespace Impl

// Appends the remaining content of the file to text, 16 KiB at a time.
void readAll(File& file, std::string& text);
// Writes text (when not empty) and flushes, so that a failed write surfaces here.
void writeAll(File& file, const std::string& text);
// Reads up to capacity bytes into buffer; sets end when fewer were read. Fits Streaming::Reader.
std::size_t readChunk(File& file, char* buffer, std::size_t capacity, bool& end);

} // namespace Files
