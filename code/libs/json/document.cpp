#include "libs/json/document.hpp"

#include "libs/json/exceptions.hpp"
#include "libs/string/unicode.hpp"

namespace Json {

namespace {

constexpr std::size_t chunkSize = 16384;
constexpr std::size_t parseStackCapacity = 1024;

[[noreturn]] void throwInvalidJson(rapidjson::ParseErrorCode code, std::size_t offset)
{
    BOOST_THROW_EXCEPTION(Exceptions::InvalidJson() << Exceptions::ParseError_(code)
                                                    << Exceptions::ErrorPosition_(static_cast<unsigned int>(offset)));
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
    tree_.ParseInsitu(text_.data());
    if (tree_.HasParseError())
        throwInvalidJson(tree_.GetParseError(), tree_.GetErrorOffset());
    if (zero != std::string::npos)
        throwInvalidJson(rapidjson::kParseErrorDocumentRootNotSingular, zero);
}

} // namespace Json
