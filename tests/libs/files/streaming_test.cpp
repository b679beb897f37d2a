#include "libs/files/streaming.hpp"

#include "support/filecontent.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Chunk {
    std::string bytes;
    bool last;
};

// A reader over a fixed text that, like a file, sets the end flag on a short read, or, with
// eager, as soon as it hands out its last byte.
Streaming::Reader textReader(const std::string& text, bool eager = false)
{
    auto position = std::make_shared<std::size_t>(0);
    return [text, position, eager](char* buffer, std::size_t capacity, bool& end) {
        const std::size_t count = std::min(capacity, text.size() - *position);
        std::memcpy(buffer, text.data() + *position, count);
        *position += count;
        if (count < capacity || (eager && *position == text.size()))
            end = true;
        return count;
    };
}

Streaming::Writer recorder(std::vector<Chunk>& chunks)
{
    return [&chunks](const char* bytes, std::size_t count, bool last) {
        chunks.push_back(Chunk{std::string(bytes, count), last});
    };
}

TEST(Streaming, ExactlyOneFullBufferEndsWithAnEmptyLastChunk)
{
    std::vector<Chunk> chunks;
    std::vector<std::size_t> progress;
    Streaming::copy(textReader(std::string(16384, 'a')), recorder(chunks),
                    [&](std::size_t n) { progress.push_back(n); });
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].bytes.size(), 16384u);
    EXPECT_FALSE(chunks[0].last);
    EXPECT_EQ(chunks[1].bytes, "");
    EXPECT_TRUE(chunks[1].last);
    EXPECT_EQ(progress, std::vector<std::size_t>{16384});
}

TEST(Streaming, ChunkSizesAndTheLastFlag)
{
    // A requested buffer below 16 KiB still gets 16 KiB.
    std::vector<Chunk> chunks;
    Streaming::copy(textReader(std::string(40000, 'b')), recorder(chunks), {}, 100);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].bytes.size(), 16384u);
    EXPECT_EQ(chunks[1].bytes.size(), 16384u);
    EXPECT_EQ(chunks[2].bytes.size(), 40000u - 2 * 16384u);
    EXPECT_TRUE(chunks[2].last);

    chunks.clear();
    Streaming::copy(textReader(std::string(50000, 'c'), true), recorder(chunks), {}, 50000);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_TRUE(chunks[0].last);
    EXPECT_EQ(chunks[0].bytes.size(), 50000u);

    chunks.clear();
    std::vector<std::size_t> progress;
    Streaming::copy(textReader(""), recorder(chunks), [&](std::size_t n) { progress.push_back(n); });
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_TRUE(chunks[0].last);
    EXPECT_TRUE(progress.empty());

    std::string text = "head:";
    Streaming::copy(textReader("body"), Streaming::appendToString(text));
    EXPECT_EQ(text, "head:body");
}

TEST(Streaming, ProgrammingErrors)
{
    std::vector<Chunk> chunks;
    EXPECT_THROW(Streaming::copy(Streaming::Reader(), recorder(chunks)), std::bad_function_call);
    EXPECT_THROW(Streaming::copy(textReader("x"), Streaming::Writer()), std::bad_function_call);
    const Streaming::Reader liar = [](char*, std::size_t capacity, bool&) { return capacity + 1; };
    EXPECT_THROW(Streaming::copy(liar, recorder(chunks)), std::length_error);
    EXPECT_TRUE(chunks.empty());
}

TEST(Streaming, FileWriterWritesAndClosesOnTheLastChunk)
{
    TestSupport::TemporaryDirectory dir;
    using namespace Files::Flags;
    Files::File file(dir / "sending.json.new", Read | Write | Overwrite | CreateDirectories | DenyWrite);
    Streaming::copy(textReader(std::string(20000, 'j')), Streaming::FileWriter(file));
    EXPECT_FALSE(file.isOpened());
    EXPECT_EQ(TestSupport::readFile(dir / "sending.json.new"), std::string(20000, 'j'));

    Files::File full("/dev/full", Write);
    EXPECT_THROW(Streaming::copy(textReader("{}"), Streaming::FileWriter(full)), Files::Exceptions::WriteFile);
}

} // namespace
