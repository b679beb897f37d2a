#include "libs/config/inifile/inifile.hpp"

#include "libs/config/settings/exceptions.hpp"
#include "libs/files/file.hpp"
#include "libs/files/paths.hpp"
#include "libs/log/logger.hpp"
#include "libs/string/text.hpp"

#include <cstdint>
#include <exception>

namespace Config {

namespace {

bool isWhitespace(char c)
{
    return String::whitespace.find(c) != std::string_view::npos;
}

bool isCommentStart(char c)
{
    return c == '#' || c == '!';
}

bool isSeparator(char c)
{
    return c == '=' || c == ':';
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

std::string trimRight(const std::string& text)
{
    std::size_t end = text.size();
    while (end > 0 && isWhitespace(text[end - 1]))
        --end;
    return text.substr(0, end);
}

std::string decodeEscapeChar(char c)
{
    switch (c) {
    case ' ': return " ";
    case '!': return "!";
    case '#': return "#";
    case ':': return ":";
    case ';': return ";";
    case '=': return "=";
    case '\\': return "\\";
    case 'a': return "\a";
    case 'b': return "\b";
    case 'f': return "\f";
    case 'n': return "\n";
    case 'r': return "\r";
    case 't': return "\t";
    case 'x': BOOST_THROW_EXCEPTION(Exceptions::HexEscapesNotSupported());
    case 'u':
    case 'U': BOOST_THROW_EXCEPTION(Exceptions::UnicodeEscapesNotSupported());
    default:
        BOOST_THROW_EXCEPTION(Exceptions::InvalidEscapeChar() << Exceptions::EscapeChar_(c));
    }
}

// The state of one parse of an INI text.
class IniParser {
public:
    explicit IniParser(const std::string& text) : text_(text) {}

    SettingMap parse()
    {
        SettingMap settings;
        while (pos_ < text_.size()) {
            std::string key;
            std::string value;
            if (parseLine(key, value))
                settings.set(key, value);
            ++line_;
            pos_ = lineEnd_ + 1;
        }
        return settings;
    }

private:
    bool parseLine(std::string& key, std::string& value)
    {
        try {
            return parseLineImpl(key, value);
        } catch (Exceptions::Exception& e) {
            e << Exceptions::Line_(line_);
            throw;
        }
    }

    bool parseLineImpl(std::string& key, std::string& value)
    {
        lineEnd_ = text_.find('\n', pos_);
        if (lineEnd_ == std::string::npos)
            lineEnd_ = text_.size();
        skipWhitespace();
        if (pos_ == lineEnd_)
            return false;
        const char first = text_[pos_];
        if (isCommentStart(first))
            return false;
        if (isSeparator(first))
            BOOST_THROW_EXCEPTION(Exceptions::EmptyKey());
        if (first == '[') {
            readSection();
            return false;
        }
        key = readKey();
        value = readValue();
        return true;
    }

    void readSection()
    {
        ++pos_;
        const std::size_t close = text_.find(']', pos_);
        if (close == std::string::npos || close >= lineEnd_)
            BOOST_THROW_EXCEPTION(Exceptions::InvalidSection());
        section_ = text_.substr(pos_, close - pos_);
    }

    std::string readKey()
    {
        std::size_t separator = pos_;
        while (separator < lineEnd_ && !isSeparator(text_[separator]))
            ++separator;
        if (separator == lineEnd_)
            BOOST_THROW_EXCEPTION(Exceptions::InvalidKey());
        const std::string key = trimRight(text_.substr(pos_, separator - pos_));
        pos_ = separator + 1;
        return section_.empty() ? key : section_ + "." + key;
    }

    std::string readValue()
    {
        skipWhitespace();
        std::size_t end = pos_;
        while (end < lineEnd_ && !isCommentStart(text_[end]))
            end += text_[end] == '\\' ? 2 : 1;
        if (end > lineEnd_)
            end = lineEnd_;
        std::string raw = trimRight(text_.substr(pos_, end - pos_));
        if (raw.empty())
            return raw;
        if (raw.size() >= 2 && isQuote(raw.front()) && raw.back() == raw.front())
            raw = raw.substr(1, raw.size() - 2);
        return decodeValue(raw);
    }

    void skipWhitespace()
    {
        while (pos_ < lineEnd_ && isWhitespace(text_[pos_]))
            ++pos_;
    }

    const std::string& text_;
    std::uint32_t line_ = 1;
    std::size_t pos_ = 0;
    std::size_t lineEnd_ = 0;
    std::string section_;
};

bool needsEscape(char c)
{
    return c == '\\' || c == '#' || c == '!' || c == '\n' || c == '\r';
}

std::string encodeValue(const std::string& value)
{
    const std::string trimmed = String::trim(value);
    std::string encoded;
    encoded.reserve(trimmed.size() + 2);
    for (const char c : trimmed) {
        if (!needsEscape(c)) {
            encoded += c;
            continue;
        }
        encoded += '\\';
        encoded += c == '\n' ? 'n' : c == '\r' ? 'r' : c;
    }
    // The reader strips one pair of enclosing quotes; a value that has them keeps them this way.
    if (trimmed.size() >= 2 && isQuote(trimmed.front()) && trimmed.back() == trimmed.front())
        encoded = '"' + encoded + '"';
    return encoded;
}

// True when a "key = value" line gives back exactly this key.
bool isFlatKey(const std::string& key)
{
    if (key.empty() || isWhitespace(key.front()) || isWhitespace(key.back()))
        return false;
    if (isCommentStart(key.front()) || key.front() == '[')
        return false;
    return key.find_first_of("=:\n") == std::string::npos;
}

// A key that came from an unusual section name («[ a=b ]») cannot be written flat; it is written
// below a header of that section instead. Returns the position of the dot that ends the section
// part, or npos when no split reads back as the key.
std::size_t sectionSplit(const std::string& key)
{
    for (std::size_t dot = key.rfind('.'); dot != std::string::npos && dot > 0;
         dot = key.rfind('.', dot - 1)) {
        const std::string section = key.substr(0, dot);
        if (section.find_first_of("]\n") == std::string::npos && isFlatKey(key.substr(dot + 1)))
            return dot;
    }
    return std::string::npos;
}

void appendLine(std::string& text, const std::string& key, const std::string& value)
{
    text += key;
    text += " = ";
    text += encodeValue(value);
    text += '\n';
}

std::string readText(const std::string& filename)
{
    Files::File file(filename, Files::Flags::Read | Files::Flags::Text | Files::Flags::DenyWrite);
    std::string text;
    Files::readAll(file, text);
    file.close();
    return text;
}

void writeText(const std::string& filename, const std::string& text)
{
    Files::File file(filename, Files::Flags::Write | Files::Flags::Overwrite | Files::Flags::Text
                                   | Files::Flags::CreateDirectories | Files::Flags::DenyWrite);
    Files::writeAll(file, text);
    file.close();
}

} // namespace

std::string decodeValue(const std::string& raw)
{
    std::string decoded;
    decoded.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\') {
            decoded += raw[i];
            continue;
        }
        if (i + 1 == raw.size())
            BOOST_THROW_EXCEPTION(Exceptions::EscapeAtTheEndOfLine());
        decoded += decodeEscapeChar(raw[++i]);
    }
    return decoded;
}

SettingMap readIniFile(const std::string& filename)
{
    std::string absolute = filename;
    try {
        absolute = Files::systemComplete(filename);
        const std::string text = readText(absolute);
        return IniParser(text).parse();
    } catch (const std::exception& e) {
        BOOST_THROW_EXCEPTION(Exceptions::ReadIniFile() << ::Exceptions::Filename_(absolute)
                                                        << ::Exceptions::Error_(e.what()));
    }
}

bool tryReadIniFile(const std::string& filename, SettingMap& settings)
{
    try {
        settings = readIniFile(filename);
        return true;
    } catch (const std::exception& e) {
        Log::mainLogger().write(Log::Warn, Log::Debug,
                                "read ini file " + filename + ": " + e.what());
        return false;
    }
}

std::string toIniText(const SettingMap& settings)
{
    std::string flat;
    std::string sectioned;
    for (const auto& [key, value] : settings) {
        if (value.empty())
            continue;
        if (isFlatKey(key)) {
            appendLine(flat, key, value);
            continue;
        }
        const std::size_t dot = sectionSplit(key);
        if (dot == std::string::npos)
            BOOST_THROW_EXCEPTION(Exceptions::InvalidKey() << Exceptions::Key_(key));
        sectioned += "[" + key.substr(0, dot) + "]\n";
        appendLine(sectioned, key.substr(dot + 1), value);
    }
    return flat + sectioned;
}

void writeIniFile(const SettingMap& settings, const std::string& filename)
{
    const std::string text = toIniText(settings);
    writeText(Files::systemComplete(filename), text);
}

} // namespace Config
