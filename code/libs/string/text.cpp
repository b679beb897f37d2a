#include "libs/string/text.hpp"

namespace String {

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string toLower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = lowerAscii(c);
    return result;
}

int compareNoCase(std::string_view left, std::string_view right)
{
    const std::size_t common = left.size() < right.size() ? left.size() : right.size();
    for (std::size_t i = 0; i < common; ++i) {
        const auto l = static_cast<signed char>(lowerAscii(left[i]));
        const auto r = static_cast<signed char>(lowerAscii(right[i]));
        if (l != r)
            return l < r ? -1 : 1;
    }
    if (left.size() == right.size())
        return 0;
    return left.size() < right.size() ? -1 : 1;
}

bool isAlphanumeric(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string trim(std::string_view text, std::string_view set)
{
    const std::size_t first = text.find_first_not_of(set);
    if (first == std::string_view::npos)
        return std::string();
    const std::size_t last = text.find_last_not_of(set);
    return std::string(text.substr(first, last - first + 1));
}

} // namespace String
