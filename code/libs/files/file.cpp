#include "libs/files/file.hpp"

#include "libs/files/native.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/pathencoding.hpp"
#include "libs/files/sharedopen.hpp"
#include "libs/files/streaming.hpp"
#include "libs/files/systemerrornumber.hpp"
#include "libs/files/impl.hpp"

#include <boost/filesystem/operations.hpp>

#include <algorithm>

namespace Files {

namespace {

constexpr std::size_t maximumChunk = 64 * 1024 * 1024;

bool isStandardStream(std::FILE* stream)
{
    return stream == stdin || stream == stdout || stream == stderr;
}

unsigned int sizeTag(std::size_t size)
{
    return static_cast<unsigned int>(std::min<std::size_t>(size, ~0u));
}

std::FILE* openWithMode(const std::string& name, Flags::Enum flags)
{
    return SharedOpen::open(name, openMode(flags), flags);
}

} // namespace

File::File(const std::string& name, Flags::Enum flags)
{
    open(name, flags);
}

File::~File()
{
    close();
}

void File::open(const std::string& name, Flags::Enum flags)
{
    close();
    handle_ = Files::open(name, flags);
    name_ = name;
    readingAllowed_ = Flags::has(flags, Flags::Read);
    writingAllowed_ = Flags::has(flags, Flags::Write);
    deleteOnClose_ = Flags::has(flags, Flags::DeleteOnClose);
}

void File::bindStandardStream(std::FILE* stream, const char* name)
{
    close();
    handle_ = stream;
    name_ = name;
    readingAllowed_ = false;
    writingAllowed_ = true;
    deleteOnClose_ = false;
}

void File::openStdOut()
{
    bindStandardStream(stdout, "stdout");
}

void File::openStdErr()
{
    bindStandardStream(stderr, "stderr");
}

void File::close()
{
    if (handle_ != nullptr) {
        if (!isStandardStream(handle_))
            std::fclose(handle_);
        handle_ = nullptr;
        if (deleteOnClose_) {
            deleteFile(name_);
            deleteOnClose_ = false;
        }
    }
    name_.clear();
    readingAllowed_ = false;
    writingAllowed_ = false;
}

void File::checkOpened() const
{
    if (handle_ == nullptr)
        BOOST_THROW_EXCEPTION(Exceptions::FileNotOpened() << Exceptions::Filename_(name_));
}

void File::checkReading() const
{
    checkOpened();
    if (!readingAllowed_)
        BOOST_THROW_EXCEPTION(Exceptions::ReadingNotAllowed() << Exceptions::Filename_(name_));
}

void File::checkWriting() const
{
    checkOpened();
    if (!writingAllowed_)
        BOOST_THROW_EXCEPTION(Exceptions::WritingNotAllowed() << Exceptions::Filename_(name_));
}

std::size_t File::read(void* buffer, std::size_t count)
{
    try {
        checkReading();
        return Impl::read(handle_, buffer, count);
    } catch (Exceptions::Exception& e) {
        e << Exceptions::Filename_(name_);
        throw;
    }
}

void File::write(const void* bytes, std::size_t count)
{
    try {
        checkWriting();
        Impl::write(handle_, bytes, count);
    } catch (Exceptions::Exception& e) {
        e << Exceptions::Filename_(name_);
        throw;
    }
}

void File::flush()
{
    checkWriting();
    errno = 0;
    if (std::fflush(handle_) != 0) {
        const ::Exceptions::SystemErrorNumber error;
        BOOST_THROW_EXCEPTION(Exceptions::WriteFile() << Exceptions::Filename_(name_) << error);
    }
}

void File::sync()
{
    flush();
    if (!Native::syncStream(handle_)) {
        const ::Exceptions::SystemErrorNumber error;
        BOOST_THROW_EXCEPTION(Exceptions::WriteFile() << Exceptions::Filename_(name_) << error);
    }
}

std::string openMode(Flags::Enum flags)
{
    const bool read = Flags::has(flags, Flags::Read);
    const bool write = Flags::has(flags, Flags::Write);
    std::string mode;
    if (read && write)
        mode = Flags::has(flags, Flags::Overwrite) ? "w+" : Flags::has(flags, Flags::Append) ? "a+" : "r+";
    else if (read)
        mode = "r";
    else if (write)
        mode = Flags::has(flags, Flags::Append) ? "a" : "w";
    else
        return mode;
    mode += Flags::has(flags, Flags::Text) ? "t" : "b";
    return mode;
}

std::FILE* open(const std::string& name, Flags::Enum flags)
{
    Impl::prepareTarget(name, flags);
    std::FILE* stream = openWithMode(name, flags);
    int error = errno;
    if (stream != nullptr && isStandardStream(stream))
        BOOST_THROW_EXCEPTION(Exceptions::MSFopenBug() << Exceptions::Filename_(name));
    if (stream != nullptr)
        return stream;
    const bool retry = Flags::has(flags, Flags::Write | Flags::Create) && !Flags::has(flags, Flags::Overwrite);
    if (retry && !boost::filesystem::is_regular_file(boost::filesystem::status(systemPath(name)))) {
        stream = openWithMode(name, flags | Flags::Overwrite);
        error = errno;
        if (stream != nullptr)
            return stream;
    }
    BOOST_THROW_EXCEPTION(Exceptions::OpenFile() << Exceptions::Filename_(name)
                                                 << ::Exceptions::SystemErrorNumber(error));
}

namespace Impl {

std::size_t read(std::FILE* stream, void* buffer, std::size_t count)
{
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < count) {
        const std::size_t chunk = std::min(count - total, maximumChunk);
        errno = 0;
        const std::size_t got = std::fread(bytes + total, 1, chunk, stream);
        total += got;
        if (got == chunk)
            continue;
        if (std::feof(stream))
            return total;
        const ::Exceptions::SystemErrorNumber error;
        BOOST_THROW_EXCEPTION(Exceptions::ReadFile() << Exceptions::Size_(sizeTag(count))
                                                     << Exceptions::ReadSize_(sizeTag(total)) << error);
    }
    return total;
}

void write(std::FILE* stream, const void* bytes, std::size_t count)
{
    const auto* data = static_cast<const unsigned char*>(bytes);
    std::size_t total = 0;
    while (total < count) {
        const std::size_t chunk = std::min(count - total, maximumChunk);
        errno = 0;
        const std::size_t written = std::fwrite(data + total, 1, chunk, stream);
        total += written;
        if (written == chunk)
            continue;
        const ::Exceptions::SystemErrorNumber error;
        BOOST_THROW_EXCEPTION(Exceptions::WriteFile() << Exceptions::Size_(sizeTag(count))
                                                      << Exceptions::WrittenSize_(sizeTag(total)) << error);
    }
}

} // namespace Impl

void readAll(File& file, std::string& text)
{
    Streaming::copy([&file](char* buffer, std::size_t capacity, bool& end) {
        return readChunk(file, buffer, capacity, end);
    }, Streaming::appendToString(text));
}

void writeAll(File& file, const std::string& text)
{
    if (text.empty())
        return;
    file.write(text.data(), text.size());
    file.flush();
}

std::size_t readChunk(File& file, char* buffer, std::size_t capacity, bool& end)
{
    const std::size_t count = file.read(buffer, capacity);
    if (count < capacity)
        end = true;
    return count;
}

} // namespace Files
