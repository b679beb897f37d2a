#include "libs/json/writer.hpp"

#include <rapidjson/writer.h>

namespace Json {

namespace Detail {

// The output stream RapidJSON's writer puts its characters into.
class Output {
public:
    using Ch = char;
    explicit Output(std::string& buffer) : buffer_(buffer) {}
    void Put(char c) { buffer_.push_back(c); }
    void Flush() {}

private:
    std::string& buffer_;
};

class TokenWriter {
public:
    explicit TokenWriter(std::string& buffer) : output_(buffer), writer_(output_) {}
    rapidjson::Writer<Output>& operator*() { return writer_; }
    rapidjson::Writer<Output>* operator->() { return &writer_; }

private:
    Output output_;
    rapidjson::Writer<Output> writer_;
};

} // namespace Detail

namespace {
// Output is handed to the write function in pieces of about this size.
constexpr std::size_t handOverSize = 65536;
} // namespace

Writer::Writer(Streaming::Writer write, Options options)
    : options_(options),
      write_(std::move(write)),
      tokens_(std::make_unique<Detail::TokenWriter>(buffer_)),
      scopes_{Scope{std::string(), false}}
{
}

Writer::~Writer() = default;

std::string Writer::path() const
{
    std::string result;
    for (const Scope& scope : scopes_) {
        if (scope.key.empty())
            continue;
        if (!result.empty())
            result += '.';
        result += scope.key;
    }
    return result;
}

void Writer::finish()
{
    while (!scopes_.empty())
        closeScope();
    handOver(true);
}

void Writer::handOver(bool last)
{
    write_(buffer_.data(), buffer_.size(), last);
    buffer_.clear();
}

template <class Call>
void Writer::token(Call&& call)
{
    call(**tokens_);
    ++written_;
    if (buffer_.size() >= handOverSize)
        handOver(false);
}

void Writer::writeNull()
{
    token([&](rapidjson::Writer<Detail::Output>& out) { out.Null(); });
}

void Writer::writeBool(bool value)
{
    token([&](rapidjson::Writer<Detail::Output>& out) { out.Bool(value); });
}

void Writer::writeInt32(std::int32_t value)
{
    token([&](rapidjson::Writer<Detail::Output>& out) { out.Int(value); });
}

void Writer::writeUint32(std::uint32_t value)
{
    token([&](rapidjson::Writer<Detail::Output>& out) { out.Uint(value); });
}

void Writer::writeString(const std::string& value)
{
    token([&](rapidjson::Writer<Detail::Output>& out) { out.String(value.data(), static_cast<rapidjson::SizeType>(value.size())); });
}

void Writer::writeKey(const std::string& key)
{
    token([&](rapidjson::Writer<Detail::Output>& out) { out.Key(key.data(), static_cast<rapidjson::SizeType>(key.size())); });
}

void Writer::startArray()
{
    token([&](rapidjson::Writer<Detail::Output>& out) { out.StartArray(); });
}

void Writer::endArray()
{
    token([&](rapidjson::Writer<Detail::Output>& out) { out.EndArray(); });
}

void Writer::openObject()
{
    Scope& scope = scopes_.back();
    if (scope.opened)
        return;
    token([&](rapidjson::Writer<Detail::Output>& out) { out.StartObject(); });
    scope.opened = true;
}

void Writer::closeScope()
{
    if (scopes_.back().opened)
        token([&](rapidjson::Writer<Detail::Output>& out) { out.EndObject(); });
    scopes_.pop_back();
}

void Writer::save(const std::vector<std::uint8_t>& value)
{
    startArray();
    for (std::uint8_t element : value)
        writeUint32(element);
    endArray();
}

} // namespace Json
