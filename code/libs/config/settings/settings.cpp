#include "libs/config/settings/settings.hpp"

#include "libs/config/settings/exceptions.hpp"
#include "libs/string/integer.hpp"
#include "libs/string/text.hpp"

#include <boost/core/demangle.hpp>

#include <typeinfo>

namespace Config {

namespace {

struct BooleanWord {
    const char* text;
    bool value;
};

// True words first: a text is matched against them in this order.
constexpr BooleanWord booleanWords[] = {
    {"y", true},  {"yes", true},  {"on", true},  {"1", true},  {"true", true},
    {"n", false}, {"no", false},  {"off", false}, {"0", false}, {"false", false},
};

template <typename Value>
std::string typeName()
{
    return boost::core::demangle(typeid(Value).name());
}

template <typename Value>
[[noreturn]] void throwInvalidValue(std::string_view text)
{
    BOOST_THROW_EXCEPTION(Exceptions::InvalidValue() << Exceptions::Value_(std::string(text))
                                                     << Exceptions::ExpectedType_(typeName<Value>()));
}

template <typename Number>
bool tryConvertNumber(std::string_view text, Number& output)
{
    return String::tryIntegerFromDec(text, output, true);
}

template <typename Number>
void convertNumber(Number value, std::string& output)
{
    output = String::integerToDec(value);
}

} // namespace

const std::string& SettingMap::get(std::string_view key) const
{
    const auto found = entries_.find(String::toLower(key));
    if (found == entries_.end())
        BOOST_THROW_EXCEPTION(Exceptions::SettingNotFound() << Exceptions::Key_(std::string(key)));
    return found->second;
}

bool SettingMap::tryGet(std::string_view key, std::string& output) const
{
    const auto found = entries_.find(String::toLower(key));
    if (found == entries_.end())
        return false;
    output = found->second;
    return true;
}

void SettingMap::set(std::string_view key, std::string value)
{
    entries_[String::toLower(key)] = std::move(value);
}

void SettingMap::setOrRemove(std::string_view key, std::string value)
{
    if (value.empty())
        remove(key);
    else
        set(key, std::move(value));
}

void SettingMap::remove(std::string_view key)
{
    entries_.erase(String::toLower(key));
}

bool tryConvert(std::string_view text, int& output)
{
    return tryConvertNumber(text, output);
}

bool tryConvert(std::string_view text, unsigned& output)
{
    return tryConvertNumber(text, output);
}

bool tryConvert(std::string_view text, std::uint64_t& output)
{
    return tryConvertNumber(text, output);
}

bool tryConvert(std::string_view text, bool& output)
{
    for (const BooleanWord& word : booleanWords) {
        if (String::compareNoCase(text, word.text) == 0) {
            output = word.value;
            return true;
        }
    }
    return false;
}

template <>
void convert<bool>(std::string_view text, bool& output)
{
    if (!tryConvert(text, output))
        throwInvalidValue<bool>(text);
}

template <>
void convert<std::vector<std::string>>(std::string_view text, std::vector<std::string>& output)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            comma = text.size();
        std::string item = String::trim(text.substr(start, comma - start));
        if (!item.empty())
            output.push_back(std::move(item));
        start = comma + 1;
    }
}

void convert(int value, std::string& output)
{
    convertNumber(value, output);
}

void convert(unsigned value, std::string& output)
{
    convertNumber(value, output);
}

void convert(std::uint64_t value, std::string& output)
{
    convertNumber(value, output);
}

void convert(bool value, std::string& output)
{
    output = value ? "yes" : "no";
}

void convert(Compress::Type::Enum value, std::string& output)
{
    output = Compress::Type::toText(value);
}

void readSetting(const SettingMap& settings, std::string_view key, unsigned& output,
                 unsigned defaultValue)
{
    std::string text;
    if (!settings.tryGet(key, text) || !tryConvert(text, output))
        output = defaultValue;
}

void readSetting(const SettingMap& settings, std::string_view key, bool& output, bool defaultValue)
{
    std::string text;
    if (!settings.tryGet(key, text) || !tryConvert(text, output))
        output = defaultValue;
}

bool readOptionalSetting(const SettingMap& settings, std::string_view key,
                         std::optional<unsigned>& output)
{
    std::string text;
    unsigned value = 0;
    if (!settings.tryGet(key, text) || !tryConvert(text, value))
        return false;
    output = value;
    return true;
}

void writeSetting(SettingMap& settings, std::string_view key, unsigned value)
{
    if (value == 0)
        return;
    std::string text;
    convert(value, text);
    settings.setOrRemove(key, std::move(text));
}

void writeSetting(SettingMap& settings, std::string_view key, const std::optional<unsigned>& value,
                  unsigned defaultValue)
{
    if (!value || *value == defaultValue) {
        settings.remove(key);
        return;
    }
    std::string text;
    convert(*value, text);
    settings.setOrRemove(key, std::move(text));
}

void writeSetting(SettingMap& settings, std::string_view key, std::string_view value,
                  std::string_view defaultValue)
{
    if (value == defaultValue)
        settings.remove(key);
    else
        settings.setOrRemove(key, std::string(value));
}

void writeSetting(SettingMap& settings, std::string_view key, const char* value,
                  const char* defaultValue)
{
    writeSetting(settings, key, std::string_view(value ? value : ""),
                 std::string_view(defaultValue ? defaultValue : ""));
}

} // namespace Config
