#pragma once
// The identifier of an institution: a code of up to four ASCII letters or digits and a number
// within that code, written as code, "#" and number («SK#12»), with its conversions to and from
// setting texts and JSON values, found by argument-dependent lookup.

#include <cstdint>
#include <string>
#include <string_view>

namespace Config {
class SettingMap;
}

namespace Json {
class Reader;
class Writer;
}

namespace Institution {

class Id {
public:
    // The empty identifier: no code, number 0.
    Id() = default;

    // The identifier whose 64-bit value is code half * 2^32 + number; the code half holds the
    // code's characters from its least significant byte up.
    explicit Id(std::uint64_t value) : value_(value) {}

    std::uint64_t value() const { return value_; }
    std::uint32_t codeHalf() const { return static_cast<std::uint32_t>(value_ >> 32); }
    std::uint32_t number() const { return static_cast<std::uint32_t>(value_); }

    // The code's characters up to the first zero byte.
    std::string code() const;

    // True for the all-zero identifier.
    bool isEmpty() const { return value_ == 0; }

    // The code, "#" and the decimal number; the empty identifier gives «#0».
    std::string toText() const;

    // Reads a plain unsigned 64-bit decimal value or the form code "#" number, with at most
    // four letters or digits before "#" and an unsigned 32-bit decimal number after it.
    // A plain value is accepted only when its code half holds a code that toText writes back
    // (letters or digits, then zero bytes), so that no reading yields an unwritable identifier.
    // Returns false, leaving the empty identifier, on any other text.
    bool fromText(std::string_view text);

    // Also accepts the old form: a text for fromText, ":" and an unsigned 64-bit decimal number
    // that is dropped. Returns false, leaving the empty identifier, on any other text.
    bool fromLegacyText(std::string_view text);

    friend bool operator==(const Id& left, const Id& right) { return left.value_ == right.value_; }
    friend bool operator!=(const Id& left, const Id& right) { return left.value_ != right.value_; }
    friend bool operator<(const Id& left, const Id& right) { return left.value_ < right.value_; }
    friend bool operator>(const Id& left, const Id& right) { return left.value_ > right.value_; }
    friend bool operator<=(const Id& left, const Id& right) { return left.value_ <= right.value_; }
    friend bool operator>=(const Id& left, const Id& right) { return left.value_ >= right.value_; }

private:
    bool readStrict(std::string_view text);

    std::uint64_t value_ = 0;
};

// The strict text form of an identifier (Id::fromText); a text that does not parse throws
// Config::Exceptions::InvalidValue with Value_ and ExpectedType_ = "Institution::Id", output
// untouched.
void convert(std::string_view text, Id& output);

// A non-empty identifier is written as its text form, the empty one leaves the map unchanged.
void writeSetting(Config::SettingMap& settings, std::string_view key, const Id& value);

// The current JSON value as an identifier: a string in the text form or the old form
// (Id::fromLegacyText); JSON null or a text that does not read gives the empty identifier.
// Throws what Json::Reader::load throws for a string.
void readJson(Json::Reader& reader, Id& value);

// The identifier as a JSON string of its text form.
void writeJson(Json::Writer& writer, const Id& value);

} // namespace Institution
