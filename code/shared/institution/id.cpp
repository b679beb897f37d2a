#include "shared/institution/id.hpp"

#include "libs/string/integer.hpp"
#include "libs/string/text.hpp"

namespace Institution {

namespace {

constexpr std::size_t maxCodeLength = 4;

// Packs up to four code characters, the first one into the least significant byte.
bool packCode(std::string_view code, std::uint32_t& half)
{
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '\0')
            break;
        if (!String::isAlphanumeric(c))
            return false;
        packed |= static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << (8 * i);
    }
    half = packed;
    return true;
}

// True when the half holds letters or digits from its least significant byte up, then only
// zero bytes: the codes that the text form writes back unchanged.
bool isWritableCode(std::uint32_t half)
{
    for (; half != 0; half >>= 8) {
        if (!String::isAlphanumeric(static_cast<char>(half & 0xFF)))
            return false;
    }
    return true;
}

} // namespace

std::string Id::code() const
{
    std::string result;
    std::uint32_t half = codeHalf();
    while (half != 0 && (half & 0xFF) != 0) {
        result.push_back(static_cast<char>(half & 0xFF));
        half >>= 8;
    }
    return result;
}

std::string Id::toText() const
{
    return code() + "#" + String::integerToDec(number());
}

bool Id::fromText(std::string_view text)
{
    if (readStrict(text))
        return true;
    value_ = 0;
    return false;
}

bool Id::fromLegacyText(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return fromText(text);
    std::uint64_t dropped = 0;
    if (readStrict(text.substr(0, colon))
        && String::tryIntegerFromDec(text.substr(colon + 1), dropped, true))
        return true;
    value_ = 0;
    return false;
}

bool Id::readStrict(std::string_view text)
{
    value_ = 0;
    if (text.empty())
        return false;
    std::uint64_t whole = 0;
    if (String::tryIntegerFromDec(text, whole, true)) {
        if (!isWritableCode(static_cast<std::uint32_t>(whole >> 32)))
            return false;
        value_ = whole;
        return true;
    }
    const std::size_t hash = text.find('#');
    if (hash == std::string_view::npos || hash > maxCodeLength)
        return false;
    std::uint32_t half = 0;
    unsigned number = 0;
    if (!packCode(text.substr(0, hash), half)
        || !String::tryIntegerFromDec(text.substr(hash + 1), number, true))
        return false;
    value_ = (static_cast<std::uint64_t>(half) << 32) | number;
    return true;
}

} // namespace Institution
