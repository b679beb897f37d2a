#include "libs/files/streaming.hpp"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace Streaming {

void copy(const Reader& reader, const Writer& writer, const Progress& progress, std::size_t bufferSize)
{
    if (!reader || !writer)
        throw std::bad_function_call();
    std::vector<char> buffer(std::max<std::size_t>(bufferSize, 16384));
    bool end = false;
    while (!end) {
        const std::size_t count = reader(buffer.data(), buffer.size(), end);
        if (count > buffer.size())
            throw std::length_error("reader claims more bytes than the buffer holds");
        writer(buffer.data(), count, end);
        if (progress && count != 0)
            progress(count);
    }
}

void FileWriter::operator()(const char* bytes, std::size_t count, bool last) const
{
    file_.write(bytes, count);
    if (last) {
        file_.flush();
        file_.close();
    }
}

Writer appendToString(std::string& text)
{
    return [&text](const char* bytes, std::size_t count, bool) { text.append(bytes, count); };
}

} // namespace Streaming
