#include "libs/exceptions/exception.hpp"

#include <boost/exception/diagnostic_information.hpp>
#include <boost/thread/tss.hpp>

#include <algorithm>
#include <cstring>
#include <vector>

namespace Exceptions {

namespace {

boost::thread_specific_ptr<int>& nestingCounter()
{
    static boost::thread_specific_ptr<int> counter;
    return counter;
}

// Restores the per-thread nesting counter on every way out of composing a text.
class NestingGuard {
public:
    explicit NestingGuard(int& counter) : counter_(counter) { ++counter_; }
    ~NestingGuard() { --counter_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

private:
    int& counter_;
};

const char* const tagSeparator = "*] = ";

// One "[Name*] = value\n" block of a boost report, with the tag's name split for ordering.
struct TagBlock {
    std::string ownName;
    std::string nameSpace;
    std::string text;
};

bool isNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':';
}

// True when a tag line "[Name*] = " starts at position p.
bool tagLineStartsAt(const std::string& text, std::size_t p)
{
    if (p >= text.size() || text[p] != '[')
        return false;
    std::size_t q = p + 1;
    while (q < text.size() && isNameChar(text[q]))
        ++q;
    return q > p + 1 && text.compare(q, std::strlen(tagSeparator), tagSeparator) == 0;
}

TagBlock makeTagBlock(std::string text)
{
    const std::size_t nameEnd = text.find(tagSeparator);
    std::string name = text.substr(1, nameEnd - 1);
    const std::string tagSuffix = "_Tag";
    if (name.size() > tagSuffix.size() && name.compare(name.size() - tagSuffix.size(), tagSuffix.size(), tagSuffix) == 0)
        name.erase(name.size() - 3);
    TagBlock block;
    const std::size_t split = name.rfind("::");
    block.ownName = split == std::string::npos ? name : name.substr(split + 2);
    block.nameSpace = split == std::string::npos ? std::string() : name.substr(0, split);
    block.text = "[" + name + text.substr(nameEnd);
    return block;
}

bool tagOrder(const TagBlock& a, const TagBlock& b)
{
    if (a.ownName != b.ownName)
        return a.ownName < b.ownName;
    const bool aCommon = a.nameSpace == "Exceptions";
    const bool bCommon = b.nameSpace == "Exceptions";
    if (aCommon != bCommon)
        return aCommon;
    return a.nameSpace < b.nameSpace;
}

// boost lists the tags in the order of their type information; the report lists them by name.
std::string orderTags(const std::string& raw)
{
    const std::string typeLine = "Dynamic exception type: ";
    std::size_t headerEnd = raw.find(typeLine);
    if (headerEnd == std::string::npos)
        return raw;
    headerEnd = raw.find('\n', headerEnd);
    if (headerEnd == std::string::npos)
        return raw;
    ++headerEnd;

    std::vector<TagBlock> blocks;
    std::size_t start = headerEnd;
    while (start < raw.size() && tagLineStartsAt(raw, start)) {
        std::size_t next = start;
        do {
            next = raw.find('\n', next);
            next = next == std::string::npos ? raw.size() : next + 1;
        } while (next < raw.size() && !tagLineStartsAt(raw, next));
        blocks.push_back(makeTagBlock(raw.substr(start, next - start)));
        start = next;
    }
    std::stable_sort(blocks.begin(), blocks.end(), tagOrder);

    std::string result = raw.substr(0, headerEnd);
    for (const TagBlock& block : blocks)
        result += block.text;
    result += raw.substr(start);
    return result;
}

std::string replaceAll(const std::string& text, const std::string& from, const std::string& to)
{
    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    for (std::size_t hit; (hit = text.find(from, pos)) != std::string::npos; pos = hit + from.size())
        result.append(text, pos, hit - pos).append(to);
    result.append(text, pos, std::string::npos);
    return result;
}

// Replaces prefix X suffix by newPrefix X newSuffix where X holds no line break.
std::string unwrap(const std::string& text, const std::string& prefix, const std::string& suffix,
                   const std::string& newPrefix, const std::string& newSuffix)
{
    std::string result;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t begin = text.find(prefix, pos);
        if (begin == std::string::npos)
            break;
        const std::size_t inner = begin + prefix.size();
        const std::size_t end = text.find(suffix, inner);
        if (end == std::string::npos)
            break;
        const std::size_t lineBreak = text.find_first_of("\n\r", inner);
        if (lineBreak != std::string::npos && lineBreak < end) {
            result.append(text, pos, lineBreak + 1 - pos);
            pos = lineBreak + 1;
            continue;
        }
        result.append(text, pos, begin - pos).append(newPrefix).append(text, inner, end - inner).append(newSuffix);
        pos = end + suffix.size();
    }
    result.append(text, pos, std::string::npos);
    return result;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\f' || c == '\r' || c == '\t' || c == '\v';
}

std::string removeBlankLines(const std::string& text)
{
    std::string result;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const bool hasLineFeed = end != std::string::npos;
        if (!hasLineFeed)
            end = text.size();
        const bool blank = std::all_of(text.begin() + pos, text.begin() + end, isBlank);
        if (!blank)
            result.append(text, pos, end - pos + (hasLineFeed ? 1 : 0));
        pos = end + 1;
    }
    return result;
}

std::string trimmed(const std::string& text)
{
    const char* const spaces = " \f\n\r\t\v";
    const std::size_t first = text.find_first_not_of(spaces);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

} // namespace

Exception::Exception(const Exception& other)
    : std::exception(other), boost::exception(other)
{
}

Exception::~Exception() noexcept = default;

const char* Exception::description() const noexcept
{
    return "";
}

const char* Exception::what() const noexcept
{
    const char* const d = description();
    try {
        boost::thread_specific_ptr<int>& counter = nestingCounter();
        if (counter.get() && *counter > 0)
            return "";
        if (!counter.get())
            counter.reset(new int(0));
        NestingGuard guard(*counter);
        try {
            const char* raw = boost::diagnostic_information_what(static_cast<const boost::exception&>(*this), true);
            composed_ = raw ? raw : "";
            if (!composed_.empty())
                composed_ = cleanDiagnostic(orderTags(composed_));
            if (*d) {
                if (!composed_.empty())
                    composed_ += "\n";
                composed_ += "error: ";
                composed_ += d;
            }
        } catch (...) {
        }
    } catch (...) {
    }
    if (!composed_.empty())
        return composed_.c_str();
    return *d ? d : "unknown";
}

std::string cleanDiagnostic(const std::string& raw)
{
    std::string t = raw;
    t = replaceAll(t, "Throw in function (unknown)\n", "\n");
    t = replaceAll(t, "Throw location unknown (consider using BOOST_THROW_EXCEPTION)\n", "\n");
    t = replaceAll(t, "std::exception::what: Unknown exception\n", "\n");
    t = replaceAll(t, "std::exception::what: \n", "\n");
    t = replaceAll(t, "__thiscall ", "");
    t = replaceAll(t, "Dynamic exception type: struct ", "");
    t = replaceAll(t, "Dynamic exception type: class ", "");
    t = replaceAll(t, "std::basic_string<char,struct std::char_traits<char>,class std::allocator<char> >", "std::string");
    // g++ writes the string type in these two forms.
    t = replaceAll(t, "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >", "std::string");
    t = replaceAll(t, "std::__cxx11::basic_string<char>", "std::string");
    t = replaceAll(t, "(void)", "()");
    t = replaceAll(t, "`anonymous-namespace'", "#");
    t = replaceAll(t, "{anonymous}", "#");
    t = unwrap(t, "boost::exception_detail::clone_impl<struct ", ">", "", "");
    t = unwrap(t, "Dynamic exception type: boost::exception_detail::clone_impl<", ">", "", "");
    t = unwrap(t, "[struct ", "_ *] = ", "", "=");
    // g++ names a pointer to the tag without "struct " and without a blank before the "*".
    t = unwrap(t, "[", "_*] = ", "", "=");
    t = replaceAll(t, "Dynamic exception type: ", "");
    t = replaceAll(t, "struct ", "");
    t = replaceAll(t, "class ", "");
    t = replaceAll(t, "boost::errinfo_nested_exception=", ">>");
    t = removeBlankLines(t);
    t = trimmed(t);
    return replaceAll(t, "\n", "|");
}

} // namespace Exceptions
