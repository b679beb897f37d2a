#pragma once
// Checks, decoding, repair and conversion of UTF-8, UTF-16 and UTF-32 text. Byte strings hold
// UTF-8; UTF-16 text (std::u16string) is only used at the operating system's wide interfaces.
// Malformed text fails with String::Exceptions naming where it goes wrong; no exception of the
// UTF-8 library underneath leaves this interface.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace String {

// Receives each decoded code point.
using CodePointHandler = std::function<void(char32_t codePoint)>;
// Receives the length of each maximal run of invalid units, once per run.
using InvalidRunHandler = std::function<void(std::size_t count)>;

// Returns when the code is at most 10FFFF; otherwise throws Exceptions::InvalidUtf32Code with
// Utf32Code_.
void checkUtf32Code(std::uint32_t code);

// Returns for D800 to DBFF; otherwise throws Exceptions::InvalidUtf16FirstSurrogate with Utf16Code_.
void checkUtf16FirstSurrogate(std::uint16_t unit);

// Returns for DC00 to DFFF; otherwise throws Exceptions::InvalidUtf16SecondSurrogate with Utf16Code_.
void checkUtf16SecondSurrogate(std::uint16_t unit);

// Walks the UTF-16 units of [first, last), delivering each code point in order. Each maximal
// run of unpaired surrogates is reported once, before the next code point or at the end.
void decodeUtf16(const char16_t* first, const char16_t* last, const CodePointHandler& onCodePoint,
                 const InvalidRunHandler& onInvalid);

// Walks the bytes of [first, last) with the validating UTF-8 decoder, delivering each code
// point in order. A byte that does not start a valid sequence is skipped and counted; each
// maximal run of such bytes is reported once, before the next code point or at the end.
void decodeUtf8(const char* first, const char* last, const CodePointHandler& onCodePoint,
                const InvalidRunHandler& onInvalid);

// Well-formed UTF-16: every maximal run of invalid units replaced by one U+FFFD. Never throws
// on malformed input.
std::u16string fixUtf16(std::u16string_view text);

// Well-formed UTF-8: every maximal run of bytes that form no valid sequence replaced by one
// U+FFFD (EF BF BD). Never throws on malformed input.
std::string fixUtf8(std::string_view text);

// Returns for valid UTF-8; otherwise throws Exceptions::InvalidUtf8String with ErrorPosition_ =
// the byte offset of the first sequence that is not valid (a bad or unexpected byte, an overlong
// form, a surrogate, a value above 10FFFF, a sequence cut off by the end of the text).
void checkUtf8(std::string_view text);

// The UTF-16 form of valid UTF-8; invalid UTF-8 fails as in checkUtf8.
std::u16string utf8ToUtf16(std::string_view text);

// The UTF-8 form of valid UTF-16. A low surrogate without a high one before it throws
// Exceptions::InvalidUtf16FirstSurrogate, a high surrogate without a low one after it
// Exceptions::InvalidUtf16SecondSurrogate; both with ErrorPosition_ = the unit offset where a
// surrogate was expected and Utf16Code_ = the unit found there (none at the end of the text).
std::string utf16ToUtf8(std::u16string_view text);

// utf8ToUtf16 of the repaired text; never throws (the empty text if anything fails).
std::u16string utf8ToUtf16Lenient(std::string_view text) noexcept;

// utf16ToUtf8 of the repaired text; never throws (the empty text if anything fails).
std::string utf16ToUtf8Lenient(std::u16string_view text) noexcept;

// The same for a zero-terminated array; a null pointer gives the empty text.
std::string utf16ToUtf8Lenient(const char16_t* text) noexcept;

} // namespace String
