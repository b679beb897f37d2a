#include "libs/win32/registry/registryfile.hpp"

#include "libs/string/text.hpp"
#include "libs/string/unicode.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>
#include <vector>

namespace Win32::Registry::RegistryFile {
namespace {

constexpr std::string_view editorHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view legacyHeader = "REGEDIT4";
constexpr std::string_view blanks = " \t\f\v";

// Raised inside the parser only; parse() turns it into its ParseFailure.
struct FormatError {
    std::size_t line;
    std::string reason;
};

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return std::string_view();
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           String::compareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The number written by 1 to `maxDigits` hex digits; false for anything else.
bool parseHexNumber(std::string_view digits, std::size_t maxDigits, std::uint32_t& value) {
    if (digits.empty() || digits.size() > maxDigits) {
        return false;
    }
    std::uint32_t result = 0;
    for (char c : digits) {
        const int digit = hexDigitValue(c);
        if (digit < 0) {
            return false;
        }
        result = result * 16 + static_cast<std::uint32_t>(digit);
    }
    value = result;
    return true;
}

std::size_t lineCount(std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

std::string decodeText(std::string_view bytes) {
    if (startsWith(bytes, "\xFF\xFE")) {
        std::u16string units;
        units.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                  static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        std::string text = String::utf16ToUtf8Lenient(units);
        if (bytes.size() % 2 != 0) {
            throw FormatError{lineCount(text), "the file ends inside a UTF-16 character"};
        }
        return text;
    }
    if (startsWith(bytes, "\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
    }
    return std::string(bytes);
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string stripBackslashes(std::string_view path) {
    const auto first = path.find_first_not_of('\\');
    if (first == std::string_view::npos) {
        return std::string();
    }
    return std::string(path.substr(first, path.find_last_not_of('\\') - first + 1));
}

std::string canonicalKey(Root root, std::string_view path) {
    const std::string relative = stripBackslashes(path);
    const std::string name = rootName(root);
    return relative.empty() ? name : name + "\\" + String::toLower(relative);
}

std::string utf16Bytes(std::string_view text) {
    std::string bytes;
    for (char16_t unit : String::utf8ToUtf16Lenient(text)) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    bytes.append(2, '\0');
    return bytes;
}

std::string littleEndian32(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return bytes;
}

class Parser {
public:
    Parser(const std::vector<std::string_view>& lines, std::map<std::string, Values>& keys)
        : lines_(lines), keys_(keys) {}

    void run() {
        bool headerSeen = false;
        for (index_ = 0; index_ < lines_.size(); ++index_) {
            const std::string_view line = trimmed(lines_[index_]);
            if (!headerSeen) {
                if (line.empty()) {
                    continue;
                }
                if (line != editorHeader && line != legacyHeader) {
                    fail("the file does not start with a registry editor header");
                }
                headerSeen = true;
            } else if (line.empty() || line.front() == ';') {
                continue;
            } else if (line.front() == '[') {
                keyLine(line);
            } else {
                valueLine(line);
            }
        }
        if (!headerSeen) {
            index_ = lines_.empty() ? 0 : lines_.size() - 1;
            fail("the file has no registry editor header");
        }
    }

private:
    [[noreturn]] void fail(const std::string& reason) const {
        throw FormatError{index_ + 1, reason};
    }

    void keyLine(std::string_view line) {
        if (line.size() < 2 || line.back() != ']') {
            fail("a key line must end with ']'");
        }
        std::string_view content = line.substr(1, line.size() - 2);
        const bool removal = !content.empty() && content.front() == '-';
        if (removal) {
            content.remove_prefix(1);
        }
        const auto separator = content.find('\\');
        const std::string_view rootText = content.substr(0, separator);
        const Root root = rootFromName(rootText);
        if (root == NoRoot) {
            fail("unknown root key '" + std::string(rootText) + "'");
        }
        const std::string_view path =
            separator == std::string_view::npos ? std::string_view() : content.substr(separator);
        const std::string key = canonicalKey(root, path);
        insideKey_ = true;
        if (removal) {
            removeKey(key);
            current_ = nullptr;
        } else {
            current_ = &keys_[key];
        }
    }

    void removeKey(const std::string& key) {
        keys_.erase(key);
        const std::string below = key + "\\";
        auto it = keys_.lower_bound(below);
        while (it != keys_.end() && startsWith(it->first, below)) {
            it = keys_.erase(it);
        }
    }

    void valueLine(std::string_view line) {
        if (!insideKey_) {
            fail("a value line before the first key line");
        }
        std::size_t pos = 0;
        std::string name;
        if (line.front() == '@') {
            pos = 1;
        } else if (line.front() == '"') {
            name = quoted(line, pos);
        } else {
            fail("a value line must start with a quoted name or '@'");
        }
        const std::string_view rest = trimmed(line.substr(pos));
        if (rest.empty() || rest.front() != '=') {
            fail("expected '=' after the value name");
        }
        const std::string_view data = trimmed(rest.substr(1));
        if (data == "-") {
            if (current_) {
                current_->erase(String::toLower(name));
            }
            return;
        }
        Value value = valueData(data);
        if (current_) {
            (*current_)[String::toLower(name)] = std::move(value);
        }
    }

    Value valueData(std::string_view data) {
        if (data.empty()) {
            fail("missing value data after '='");
        }
        if (data.front() == '"') {
            std::size_t pos = 0;
            const std::string text = quoted(data, pos);
            if (pos != data.size()) {
                fail("unexpected text after the closing quote");
            }
            return Value{ValueType::String, utf16Bytes(text)};
        }
        if (startsWithNoCase(data, "dword:")) {
            std::uint32_t number = 0;
            if (!parseHexNumber(trimmed(data.substr(6)), 8, number)) {
                fail("'dword:' needs one to eight hex digits");
            }
            return Value{ValueType::Dword, littleEndian32(number)};
        }
        if (startsWithNoCase(data, "hex")) {
            return hexValue(data.substr(3));
        }
        fail("unknown value data '" + std::string(data) + "'");
    }

    // The text between the quote at `pos` and its closing quote, with "\\" and "\"" unescaped;
    // `pos` ends after the closing quote.
    std::string quoted(std::string_view text, std::size_t& pos) const {
        std::string result;
        ++pos;
        while (pos < text.size()) {
            const char c = text[pos];
            if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) {
                result += text[pos + 1];
                pos += 2;
            } else if (c == '"') {
                ++pos;
                return result;
            } else {
                result += c;
                ++pos;
            }
        }
        fail("unterminated quoted text");
    }

    Value hexValue(std::string_view rest) {
        Value value{ValueType::Binary, std::string()};
        if (!rest.empty() && rest.front() == '(') {
            const auto close = rest.find(')');
            if (close == std::string_view::npos ||
                !parseHexNumber(rest.substr(1, close - 1), 8, value.type)) {
                fail("'hex(' needs a type of one to eight hex digits and ')'");
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            fail("expected ':' after the hex type");
        }
        std::string_view piece = trimmed(rest.substr(1));
        for (;;) {
            const bool continued = !piece.empty() && piece.back() == '\\';
            if (continued) {
                piece = trimmed(piece.substr(0, piece.size() - 1));
            }
            appendHexBytes(piece, value.data);
            if (!continued) {
                return value;
            }
            if (index_ + 1 >= lines_.size() || trimmed(lines_[index_ + 1]).empty()) {
                fail("a continued hex list has no next line");
            }
            piece = trimmed(lines_[++index_]);
        }
    }

    void appendHexBytes(std::string_view piece, std::string& bytes) const {
        std::size_t start = 0;
        while (start < piece.size()) {
            std::size_t end = piece.find(',', start);
            const bool last = end == std::string_view::npos;
            if (last) {
                end = piece.size();
            }
            const std::string_view item = trimmed(piece.substr(start, end - start));
            std::uint32_t byte = 0;
            if (item.empty()) {
                fail("an empty byte in a hex list");
            }
            if (!parseHexNumber(item, 2, byte)) {
                fail("'" + std::string(item) + "' is not a hex byte");
            }
            bytes.push_back(static_cast<char>(byte));
            start = end + 1;
        }
    }

    const std::vector<std::string_view>& lines_;
    std::map<std::string, Values>& keys_;
    std::size_t index_ = 0;
    bool insideKey_ = false;
    Values* current_ = nullptr;
};

} // namespace

bool Hive::parse(std::string_view bytes, ParseFailure& failure) {
    keys_.clear();
    try {
        const std::string text = decodeText(bytes);
        Parser(splitLines(text), keys_).run();
        return true;
    } catch (const FormatError& error) {
        keys_.clear();
        failure.line = error.line;
        failure.reason = error.reason;
        return false;
    }
}

bool Hive::hasKey(Root root, const std::string& path) const {
    const std::string key = canonicalKey(root, path);
    if (key == rootName(root) || keys_.count(key) != 0) {
        return true;
    }
    const std::string below = key + "\\";
    const auto it = keys_.lower_bound(below);
    return it != keys_.end() && startsWith(it->first, below);
}

Values Hive::values(Root root, const std::string& path) const {
    const auto it = keys_.find(canonicalKey(root, path));
    return it == keys_.end() ? Values() : it->second;
}

std::string location() {
    const char* configured = std::getenv("QELT_REGISTRY_FILE");
    return configured && *configured ? configured : "/etc/qelt/registry.reg";
}

Root rootFromName(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, Root>, 13> names{{
        {"HKEY_CLASSES_ROOT", ClassesRoot},
        {"HKCR", ClassesRoot},
        {"HKEY_CURRENT_USER", CurrentUser},
        {"HKCU", CurrentUser},
        {"HKEY_LOCAL_MACHINE", LocalMachine},
        {"HKLM", LocalMachine},
        {"HKEY_USERS", Users},
        {"HKU", Users},
        {"HKEY_CURRENT_CONFIG", CurrentConfig},
        {"HKCC", CurrentConfig},
        {"HKEY_PERFORMANCE_DATA", PerformanceData},
        {"HKEY_PERFORMANCE_TEXT", PerformanceText},
        {"HKEY_PERFORMANCE_NLSTEXT", PerformanceNlsText},
    }};
    for (const auto& [text, root] : names) {
        if (String::compareNoCase(name, text) == 0) {
            return root;
        }
    }
    return NoRoot;
}

} // namespace Win32::Registry::RegistryFile
