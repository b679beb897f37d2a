#include "libs/json/document.hpp"

#include "libs/json/exceptions.hpp"
#include "libs/string/unicode.hpp"

#include <utf8.h>

#include <vector>

namespace Json {

namespace {

constexpr std::size_t chunkSize = 16384;
constexpr std::size_t parseStackCapacity = 1024;

[[noreturn]] void throwInvalidJson(rapidjson::ParseErrorCode code, std::size_t offset)
{
    BOOST_THROW_EXCEPTION(Exceptions::InvalidJson() << Exceptions::ParseError_(code)
                                                    << Exceptions::ErrorPosition_(static_cast<unsigned int>(offset)));
}

// The parser turns an escaped lone low surrogate ("\udc00") into bytes that are not UTF-8; a
// file holding such a string would be written back in a form nobody can read again.
void checkUnescapedStrings(const rapidjson::Value& root, const char* text)
{
    const auto check = [text](const rapidjson::Value& string) {
        const char* const begin = string.GetString();
        if (!utf8::is_valid(begin, begin + string.GetStringLength()))
            throwInvalidJson(rapidjson::kParseErrorStringUnicodeSurrogateInvalid,
                             static_cast<std::size_t>(begin - text));
    };
    std::vector<const rapidjson::Value*> pending{&root};
    while (!pending.empty()) {
        const rapidjson::Value& value = *pending.back();
        pending.pop_back();
        if (value.IsString())
            check(value);
        else if (value.IsArray())
            for (const rapidjson::Value& element : value.GetArray())
                pending.push_back(&element);
        else if (value.IsObject())
            for (const auto& member : value.GetObject()) {
                check(member.name);
                pending.push_back(&member.value);
            }
    }
}

} // namespace

Document::Document(const Streaming::Reader& read)
    : tree_(nullptr, parseStackCapacity)
{
    Streaming::copy(read, Streaming::appendToString(text_), {}, chunkSize);
    parse();
}

Document::Document(std::string text)
    : text_(std::move(text)), tree_(nullptr, parseStackCapacity)
{
    parse();
}

void Document::parse()
{
    String::checkUtf8(text_);
    if (text_.empty())
        text_ = "{}";
    // The in-place parser stops at the first zero byte; JSON allows none anywhere, so one that
    // ends the parse early still makes the text invalid.
    const std::size_t zero = text_.find('\0');
    // Iterative parsing: a deeply nested text must fail or load, never exhaust the stack.
    tree_.ParseInsitu<rapidjson::kParseIterativeFlag>(text_.data());
    if (tree_.HasParseError())
        throwInvalidJson(tree_.GetParseError(), tree_.GetErrorOffset());
    if (zero != std::string::npos)
        throwInvalidJson(rapidjson::kParseErrorDocumentRootNotSingular, zero);
    checkUnescapedStrings(tree_, text_.data());
}

} // namespace Json
