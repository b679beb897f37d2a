#include "libs/json/reader.hpp"

#include <cstring>
#include <limits>

namespace Json {

std::string diagnosticText(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        if (c == '\0')
            result += "\\u0000";
        else
            result += c;
    }
    return result;
}

Reader::Scope::Scope(Reader& reader, std::string key, const rapidjson::Value& value)
    : reader_(reader)
{
    reader_.nodes_.push_back(Node{std::move(key), &value});
}

Reader::Scope::~Scope()
{
    reader_.nodes_.pop_back();
}

Reader::Reader(const Streaming::Reader& read, Options options)
    : options_(options), document_(read)
{
}

Reader::Reader(std::string text, Options options)
    : options_(options), document_(std::move(text))
{
}

const rapidjson::Value& Reader::current() const
{
    return nodes_.empty() ? document_.root() : *nodes_.back().value;
}

std::string Reader::path() const
{
    std::string result;
    for (const Node& node : nodes_) {
        if (node.key.empty())
            continue;
        if (!result.empty())
            result += '.';
        result += diagnosticText(node.key);
    }
    return result;
}

const rapidjson::Value* Reader::findMember(const char* key) const
{
    const rapidjson::Value& value = current();
    if (!value.IsObject())
        return nullptr;
    const std::size_t length = std::strlen(key);
    for (const auto& member : value.GetObject()) {
        if (member.name.GetStringLength() == length && std::memcmp(member.name.GetString(), key, length) == 0)
            return &member.value;
    }
    return nullptr;
}

bool Reader::readBool() const
{
    const rapidjson::Value& value = current();
    if (value.IsBool())
        return value.GetBool();
    if (value.IsUint() && value.GetUint() <= 1)
        return value.GetUint() == 1;
    fail<Exceptions::BoolExpected>();
}

std::int32_t Reader::readInt32() const
{
    const rapidjson::Value& value = current();
    if (!value.IsInt())
        fail<Exceptions::Int32Expected>();
    return value.GetInt();
}

std::uint32_t Reader::readUint32() const
{
    const rapidjson::Value& value = current();
    if (!value.IsUint())
        fail<Exceptions::Uint32Expected>();
    return value.GetUint();
}

std::uint8_t Reader::readUint8() const
{
    const rapidjson::Value& value = current();
    if (!value.IsUint())
        fail<Exceptions::Uint8Expected>();
    const unsigned int number = value.GetUint();
    if (number > std::numeric_limits<std::uint8_t>::max())
        BOOST_THROW_EXCEPTION(Exceptions::Uint8OutOfRange() << Exceptions::UintValue_(number)
                                                            << Exceptions::Key_(path()));
    return static_cast<std::uint8_t>(number);
}

std::string Reader::readString() const
{
    const rapidjson::Value& value = current();
    if (!value.IsString())
        fail<Exceptions::StringExpected>();
    return std::string(value.GetString(), value.GetStringLength());
}

void Reader::load(bool& value)
{
    value = isNull() ? false : readBool();
}

void Reader::load(std::int32_t& value)
{
    value = isNull() ? 0 : readInt32();
}

void Reader::load(std::uint32_t& value)
{
    value = isNull() ? 0u : readUint32();
}

void Reader::load(std::uint8_t& value)
{
    value = isNull() ? 0 : readUint8();
}

void Reader::load(std::string& value)
{
    value = isNull() ? std::string() : readString();
}

void Reader::load(std::vector<std::uint8_t>& value)
{
    if (isNull())
        fail<Exceptions::ArrayExpected>();
    value.clear();
    forEachElement([&] {
        std::uint8_t element = 0;
        load(element);
        value.push_back(element);
    });
}

} // namespace Json
