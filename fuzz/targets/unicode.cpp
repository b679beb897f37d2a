// UTF-8 and UTF-16 checks, repair and conversions: repaired text is well formed and stable,
// the decoders agree with the repair, and the strict and lenient conversions agree.
#include "targets/targets.hpp"

#include "libs/string/unicode.hpp"

#include <utf8.h>

#include <exception>
#include <string>

namespace Fuzz {

namespace {

bool isValidUtf8(std::string_view text)
{
    try {
        String::checkUtf8(text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The text as the decoder sees it, each invalid run standing as one U+FFFD.
std::string decodedUtf8(std::string_view text)
{
    std::string result;
    String::decodeUtf8(
        text.data(), text.data() + text.size(),
        [&](char32_t codePoint) { utf8::append(static_cast<std::uint32_t>(codePoint), std::back_inserter(result)); },
        [&](std::size_t count) {
            require(count > 0, "decodeUtf8 reports non-empty invalid runs");
            utf8::append(0xFFFDu, std::back_inserter(result));
        });
    return result;
}

std::u16string decodedUtf16(std::u16string_view text)
{
    std::u16string result;
    String::decodeUtf16(
        text.data(), text.data() + text.size(),
        [&](char32_t codePoint) {
            if (codePoint < 0x10000) {
                result += static_cast<char16_t>(codePoint);
                return;
            }
            const char32_t offset = codePoint - 0x10000;
            result += static_cast<char16_t>(0xD800 + (offset >> 10));
            result += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
        },
        [&](std::size_t count) {
            require(count > 0, "decodeUtf16 reports non-empty invalid runs");
            result += u'\xFFFD';
        });
    return result;
}

void checkUtf8Side(std::string_view text)
{
    const std::string fixed = String::fixUtf8(text);
    require(isValidUtf8(fixed), "fixUtf8 gives valid UTF-8");
    require(String::fixUtf8(fixed) == fixed, "fixing UTF-8 twice changes nothing");
    require(decodedUtf8(text) == fixed, "decodeUtf8 sees the text that fixUtf8 gives");
    if (isValidUtf8(text))
        require(fixed == text, "fixUtf8 keeps valid UTF-8 as it is");

    const std::u16string wide = String::utf8ToUtf16(fixed);
    require(String::utf16ToUtf8(wide) == fixed, "valid UTF-8 converts to UTF-16 and back unchanged");
    require(String::utf8ToUtf16Lenient(text) == wide, "lenient conversion to UTF-16 converts the repaired text");
}

void checkUtf16Side(std::u16string_view text)
{
    const std::u16string fixed = String::fixUtf16(text);
    require(String::fixUtf16(fixed) == fixed, "fixing UTF-16 twice changes nothing");
    require(decodedUtf16(text) == fixed, "decodeUtf16 sees the text that fixUtf16 gives");

    const std::string narrow = String::utf16ToUtf8(fixed);
    require(isValidUtf8(narrow), "repaired UTF-16 converts to valid UTF-8");
    require(String::utf8ToUtf16(narrow) == fixed, "repaired UTF-16 converts to UTF-8 and back unchanged");
    require(String::utf16ToUtf8Lenient(text) == narrow, "lenient conversion to UTF-8 converts the repaired text");

    const std::u16string terminated(text);
    const std::u16string_view untilZero(terminated.c_str());
    require(String::utf16ToUtf8Lenient(terminated.c_str()) == String::utf16ToUtf8Lenient(untilZero),
            "a zero-terminated array converts up to its first zero");
}

std::u16string unitsOf(const std::uint8_t* data, std::size_t size)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return units;
}

} // namespace

int unicode(const std::uint8_t* data, std::size_t size)
{
    checkUtf8Side(asText(data, size));
    checkUtf16Side(unitsOf(data, size));
    return 0;
}

} // namespace Fuzz
