#pragma once
// The configuration as a flat map of lower-case dotted keys to text values, the conversions
// between setting texts and typed values, and reading and writing typed settings with defaults.

#include "libs/config/settings/compress.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace Config {

// Settings ordered by the byte order of their keys. Every key is folded to ASCII lower case
// before use, so «Server.Address» and «server.address» name the same setting.
class SettingMap {
public:
    using Entries = std::map<std::string, std::string>;
    using const_iterator = Entries::const_iterator;

    // The value of the setting; throws Exceptions::SettingNotFound with Exceptions::Key_ = the
    // key as passed when there is none.
    const std::string& get(std::string_view key) const;

    // True and the value copied to `output` when the setting exists; false, output untouched,
    // otherwise.
    bool tryGet(std::string_view key, std::string& output) const;

    // Inserts the setting or replaces its value; an empty value is kept as such.
    void set(std::string_view key, std::string value);

    // set for a non-empty value, remove for an empty one.
    void setOrRemove(std::string_view key, std::string value);

    // Erases the setting if present.
    void remove(std::string_view key);

    // All settings in key order.
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }

    friend bool operator==(const SettingMap& left, const SettingMap& right)
    {
        return left.entries_ == right.entries_;
    }
    friend bool operator!=(const SettingMap& left, const SettingMap& right) { return !(left == right); }

private:
    Entries entries_;
};

// True and the number stored when the whole text is a decimal number of the type (strict:
// no blanks, no "+", no "-" for unsigned types, within range); false, output untouched, otherwise.
bool tryConvert(std::string_view text, int& output);
bool tryConvert(std::string_view text, unsigned& output);
bool tryConvert(std::string_view text, std::uint64_t& output);

// True and the flag stored when the whole text is one of the words y/yes/on/1/true or
// n/no/off/0/false, ASCII letter case ignored; false, output untouched, otherwise.
bool tryConvert(std::string_view text, bool& output);

// Text to value with a typed failure; defined for bool and std::vector<std::string> (below).
template <typename Value>
void convert(std::string_view text, Value& output);

// As tryConvert for bool; a text outside the boolean words throws Exceptions::InvalidValue
// with Value_ = the text and ExpectedType_ = "bool", output untouched.
template <>
void convert<bool>(std::string_view text, bool& output);

// Appends the comma-separated items of the text, each trimmed of whitespace, empty items
// dropped. Never fails.
template <>
void convert<std::vector<std::string>>(std::string_view text, std::vector<std::string>& output);

// Value to text: decimal digits ("-" before a negative int), "yes"/"no" for a flag, the name
// of a compression type.
void convert(int value, std::string& output);
void convert(unsigned value, std::string& output);
void convert(std::uint64_t value, std::string& output);
void convert(bool value, std::string& output);
void convert(Compress::Type::Enum value, std::string& output);

// `output` = the setting converted by tryConvert; `defaultValue` when the key is missing or
// its text does not convert.
void readSetting(const SettingMap& settings, std::string_view key, unsigned& output,
                 unsigned defaultValue);
void readSetting(const SettingMap& settings, std::string_view key, bool& output, bool defaultValue);

// True and the number stored when the key exists and converts; false, output untouched, otherwise.
bool readOptionalSetting(const SettingMap& settings, std::string_view key,
                         std::optional<unsigned>& output);

namespace Detail {

template <typename Value>
struct WriteDefault {
    using Type = Value;
};

// A 64-bit setting takes a 32-bit default, compared widened.
template <>
struct WriteDefault<std::uint64_t> {
    using Type = std::uint32_t;
};

template <typename Value>
inline constexpr bool hasWriteDefault =
    std::is_same_v<Value, int> || std::is_same_v<Value, unsigned> ||
    std::is_same_v<Value, std::uint64_t> || std::is_same_v<Value, bool> ||
    std::is_same_v<Value, Compress::Type::Enum>;

} // namespace Detail

// A number or flag with a default: removes the key when the value equals the default, else
// writes the value's text from convert (zero and "no" included). The default's type follows
// the value's, so a literal default needs no cast.
template <typename Value, typename = std::enable_if_t<Detail::hasWriteDefault<Value>>>
void writeSetting(SettingMap& settings, std::string_view key, Value value,
                  typename Detail::WriteDefault<Value>::Type defaultValue)
{
    if (value == defaultValue) {
        settings.remove(key);
        return;
    }
    std::string text;
    convert(value, text);
    settings.setOrRemove(key, std::move(text));
}

// An unsigned number without a default: zero leaves the map unchanged, any other value is written.
void writeSetting(SettingMap& settings, std::string_view key, unsigned value);

// An optional number with a default: absent or equal to the default removes the key, any other
// value is written (zero included).
void writeSetting(SettingMap& settings, std::string_view key, const std::optional<unsigned>& value,
                  unsigned defaultValue);

// A text with a default: equal to the default (letter case significant) removes the key, any
// other value is written with setOrRemove, so the empty text removes it too.
void writeSetting(SettingMap& settings, std::string_view key, std::string_view value,
                  std::string_view defaultValue);
void writeSetting(SettingMap& settings, std::string_view key, const char* value,
                  const char* defaultValue);

} // namespace Config
