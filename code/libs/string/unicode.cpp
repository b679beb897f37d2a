#include "libs/string/unicode.hpp"

#include "libs/string/exceptions.hpp"

#include <utf8.h>

#include <iterator>

namespace String {

namespace {

constexpr std::uint32_t maxCodePoint = 0x10FFFF;
constexpr char16_t replacementUnit = 0xFFFD;
constexpr std::string_view replacementUtf8 = "\xEF\xBF\xBD";

bool isHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Counts invalid units and reports each run once, when a valid code point follows or at the end.
class InvalidRun {
public:
    explicit InvalidRun(const InvalidRunHandler& onInvalid) : onInvalid_(onInvalid) {}

    void count() { ++count_; }

    void flush()
    {
        if (count_ != 0) {
            const std::size_t reported = count_;
            count_ = 0;
            onInvalid_(reported);
        }
    }

private:
    const InvalidRunHandler& onInvalid_;
    std::size_t count_ = 0;
};

void appendUtf16(std::u16string& output, char32_t codePoint)
{
    if (codePoint >= 0x10000) {
        const std::uint32_t offset = codePoint - 0x10000;
        output.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
        output.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
    }
    else {
        output.push_back(static_cast<char16_t>(codePoint));
    }
}

// Every surrogate of the text stands in a high-low pair (see utf16ToUtf8 for the failures).
void checkSurrogatePairs(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isLowSurrogate(text[i]))
            BOOST_THROW_EXCEPTION(Exceptions::InvalidUtf16FirstSurrogate() << Exceptions::Utf16Code_(text[i])
                                                                           << Exceptions::ErrorPosition_(i));
        if (!isHighSurrogate(text[i]))
            continue;
        ++i;
        if (i == text.size())
            BOOST_THROW_EXCEPTION(Exceptions::InvalidUtf16SecondSurrogate() << Exceptions::ErrorPosition_(i));
        if (!isLowSurrogate(text[i]))
            BOOST_THROW_EXCEPTION(Exceptions::InvalidUtf16SecondSurrogate() << Exceptions::Utf16Code_(text[i])
                                                                            << Exceptions::ErrorPosition_(i));
    }
}

} // namespace

void checkUtf32Code(std::uint32_t code)
{
    if (code > maxCodePoint)
        BOOST_THROW_EXCEPTION(Exceptions::InvalidUtf32Code() << Exceptions::Utf32Code_(code));
}

void checkUtf16FirstSurrogate(std::uint16_t unit)
{
    if (!isHighSurrogate(unit))
        BOOST_THROW_EXCEPTION(Exceptions::InvalidUtf16FirstSurrogate() << Exceptions::Utf16Code_(unit));
}

void checkUtf16SecondSurrogate(std::uint16_t unit)
{
    if (!isLowSurrogate(unit))
        BOOST_THROW_EXCEPTION(Exceptions::InvalidUtf16SecondSurrogate() << Exceptions::Utf16Code_(unit));
}

void decodeUtf16(const char16_t* first, const char16_t* last, const CodePointHandler& onCodePoint,
                 const InvalidRunHandler& onInvalid)
{
    InvalidRun invalid(onInvalid);
    bool highPending = false;
    char16_t high = 0;
    for (; first != last; ++first) {
        const char16_t unit = *first;
        if (isHighSurrogate(unit)) {
            if (highPending)
                invalid.count();
            high = unit;
            highPending = true;
        }
        else if (isLowSurrogate(unit)) {
            if (!highPending) {
                invalid.count();
                continue;
            }
            invalid.flush();
            checkUtf16FirstSurrogate(high);
            checkUtf16SecondSurrogate(unit);
            highPending = false;
            onCodePoint(static_cast<char32_t>((high - 0xD800) * 0x400 + (unit - 0xDC00) + 0x10000));
        }
        else {
            if (highPending) {
                invalid.count();
                highPending = false;
            }
            invalid.flush();
            onCodePoint(unit);
        }
    }
    if (highPending)
        invalid.count();
    invalid.flush();
}

void decodeUtf8(const char* first, const char* last, const CodePointHandler& onCodePoint,
                const InvalidRunHandler& onInvalid)
{
    InvalidRun invalid(onInvalid);
    while (first != last) {
        std::uint32_t codePoint = 0;
        // The decoder leaves `first` in place on failure and past the sequence on success.
        if (utf8::internal::validate_next(first, last, codePoint) != utf8::internal::UTF8_OK) {
            ++first;
            invalid.count();
            continue;
        }
        invalid.flush();
        onCodePoint(codePoint);
    }
    invalid.flush();
}

std::u16string fixUtf16(std::u16string_view text)
{
    std::u16string result;
    result.reserve(text.size());
    decodeUtf16(
        text.data(), text.data() + text.size(),
        [&result](char32_t codePoint) {
            checkUtf32Code(codePoint);
            appendUtf16(result, codePoint);
        },
        [&result](std::size_t) { result.push_back(replacementUnit); });
    return result;
}

std::string fixUtf8(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    decodeUtf8(
        text.data(), text.data() + text.size(),
        [&result](char32_t codePoint) {
            checkUtf32Code(codePoint);
            utf8::append(codePoint, std::back_inserter(result));
        },
        [&result](std::size_t) { result.append(replacementUtf8); });
    return result;
}

void checkUtf8(std::string_view text)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* const fault = utf8::find_invalid(begin, end);
    if (fault != end)
        BOOST_THROW_EXCEPTION(Exceptions::InvalidUtf8String()
                              << Exceptions::ErrorPosition_(static_cast<std::size_t>(fault - begin)));
}

std::u16string utf8ToUtf16(std::string_view text)
{
    checkUtf8(text);
    std::u16string result;
    result.reserve(text.size());
    utf8::unchecked::utf8to16(text.begin(), text.end(), std::back_inserter(result));
    return result;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    checkSurrogatePairs(text);
    std::string result;
    result.reserve(text.size());
    utf8::unchecked::utf16to8(text.begin(), text.end(), std::back_inserter(result));
    return result;
}

std::u16string utf8ToUtf16Lenient(std::string_view text) noexcept
{
    try {
        return utf8ToUtf16(fixUtf8(text));
    }
    catch (...) {
        return std::u16string();
    }
}

std::string utf16ToUtf8Lenient(std::u16string_view text) noexcept
{
    try {
        return utf16ToUtf8(fixUtf16(text));
    }
    catch (...) {
        return std::string();
    }
}

std::string utf16ToUtf8Lenient(const char16_t* text) noexcept
{
    if (text == nullptr)
        return std::string();
    return utf16ToUtf8Lenient(std::u16string_view(text));
}

} // namespace String
