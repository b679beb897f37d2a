#pragma once
// Enumeration tables: a two-way map between the values of an enumeration and fixed texts, and
// the JSON reading and writing of a value as its text.

#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"
#include "libs/serialize/exceptions.hpp"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace Serialize::Enum {

template <class E>
class Table {
public:
    // name is the enumeration type's qualified name, used in failure reports; values and texts
    // must each be unique.
    Table(std::string name, std::initializer_list<std::pair<E, std::string>> entries)
        : name_(std::move(name)), entries_(entries)
    {
    }

    const std::string& name() const { return name_; }

    // The text of value, or null when the table has none.
    const std::string* text(E value) const
    {
        for (const auto& entry : entries_)
            if (entry.first == value)
                return &entry.second;
        return nullptr;
    }

    // Sets value to the value of text (exact, case-sensitive) and returns true, or returns false.
    bool find(const std::string& text, E& value) const
    {
        for (const auto& entry : entries_)
            if (entry.second == text) {
                value = entry.first;
                return true;
            }
        return false;
    }

private:
    std::string name_;
    std::vector<std::pair<E, std::string>> entries_;
};

// Reads the current value as a string (StringExpected otherwise) and sets value to its entry;
// a text not in the table throws InvalidEnumString with Name_ and String_.
template <class E>
void load(Json::Reader& reader, E& value, const Table<E>& table)
{
    const std::string text = reader.readString();
    if (!table.find(text, value))
        BOOST_THROW_EXCEPTION(Exceptions::InvalidEnumString() << Exceptions::Name_(table.name())
                                                              << Exceptions::String_(Json::diagnosticText(text)));
}

// Writes the value's text as a JSON string; a value not in the table throws InvalidEnumValue
// with Name_.
template <class E>
void save(Json::Writer& writer, E value, const Table<E>& table)
{
    const std::string* text = table.text(value);
    if (text == nullptr)
        BOOST_THROW_EXCEPTION(Exceptions::InvalidEnumValue() << Exceptions::Name_(table.name()));
    writer.writeString(*text);
}

} // namespace Serialize::Enum
