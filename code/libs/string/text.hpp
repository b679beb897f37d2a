#pragma once
// ASCII case folding, case-insensitive comparison and trimming of byte strings.

#include <string>
#include <string_view>

namespace String {

// The whitespace set: space, form feed, line feed, carriage return, horizontal and vertical tab.
inline constexpr std::string_view whitespace = " \f\n\r\t\v";

// A copy in which "A" to "Z" become "a" to "z"; every other byte is unchanged.
std::string toLower(std::string_view text);

// -1, 0 or 1 as `left` sorts before, equal to or after `right`, comparing byte by byte after
// folding "A" to "Z" to lower case. At the first difference the byte that is smaller as a
// signed 8-bit number sorts first; a text that is a prefix of the other sorts first.
int compareNoCase(std::string_view left, std::string_view right);

// True for "0" to "9", "A" to "Z" and "a" to "z" only.
bool isAlphanumeric(char c);

// The text without its leading and trailing bytes that belong to `set`; empty when every byte
// belongs to it.
std::string trim(std::string_view text, std::string_view set = whitespace);

} // namespace String
