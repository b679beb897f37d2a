#pragma once
// Chunked streaming from a reader to a writer: how whole files are read into strings and how
// serializers write files.

#include "libs/files/file.hpp"

#include <cstddef>
#include <functional>
#include <string>

namespace Streaming {

// Fills up to capacity bytes of buffer and returns their count; sets end when nothing follows.
using Reader = std::function<std::size_t(char* buffer, std::size_t capacity, bool& end)>;
// Takes one chunk; last is true for the final (possibly empty) chunk.
using Writer = std::function<void(const char* bytes, std::size_t count, bool last)>;
// Told the size of every non-empty chunk.
using Progress = std::function<void(std::size_t count)>;

// Moves chunks from reader to writer through a buffer of max(bufferSize, 16384) bytes until the
// reader reports the end; the writer always gets a final call with last set. Empty reader or
// writer throws std::bad_function_call; a reader claiming more than the capacity throws
// std::length_error.
void copy(const Reader& reader, const Writer& writer, const Progress& progress = {},
          std::size_t bufferSize = 16384);

// A writer into a file: writes each chunk with Files::File::write; on the last chunk flushes
// (a failure throws WriteFile) and closes the file.
class FileWriter {
public:
    explicit FileWriter(Files::File& file) : file_(file) {}
    void operator()(const char* bytes, std::size_t count, bool last) const;

private:
    Files::File& file_;
};

// A writer appending every chunk to text; text must outlive the writer.
Writer appendToString(std::string& text);

} // namespace Streaming
