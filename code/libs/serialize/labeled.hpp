#pragma once
// A variant whose JSON form is an object with one member: the label of the active alternative
// (from the variant's label table) holding that alternative's content, «{"folder":{...}}».

#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"
#include "libs/serialize/labels.hpp"

#include <boost/variant.hpp>

#include <cstddef>
#include <tuple>
#include <utility>

namespace Serialize {

// labelsOf returns the table, one label per alternative.
template <const Labels& (*labelsOf)(), class... Alternatives>
class Labeled : public boost::variant<Alternatives...> {
public:
    using Variant = boost::variant<Alternatives...>;
    using Variant::Variant;
    using Variant::operator=;
    Labeled() = default;

    static const Labels& labels() { return labelsOf(); }

    bool operator==(const Labeled& other) const { return variant() == other.variant(); }
    bool operator!=(const Labeled& other) const { return !(*this == other); }
    const Variant& variant() const { return *this; }
};

namespace Detail {

template <class Alternative, class Value>
bool loadAlternative(Json::Reader& reader, Value& value)
{
    Alternative alternative{};
    reader.load(alternative);
    value = std::move(alternative);
    return true;
}

template <class Value, class... Alternatives, std::size_t... Index>
bool loadLabeled(Json::Reader& reader, Value& value, const Labels& labels, const std::string& label,
                 std::index_sequence<Index...>)
{
    return ((labels.get(Index) == label && loadAlternative<Alternatives>(reader, value)) || ...);
}

struct SaveAlternative : boost::static_visitor<void> {
    explicit SaveAlternative(Json::Writer& writer) : writer(writer) {}
    template <class T>
    void operator()(const T& alternative) const { writer.save(alternative); }
    Json::Writer& writer;
};

} // namespace Detail

// Null leaves the value unchanged. Otherwise the current value must be an object
// (ObjectExpected) whose first member names an alternative (InvalidLabel with Label_ and
// Key_ = path otherwise, also for an object without members); that alternative is
// default-constructed and loaded from the member's value. Further members are ignored.
template <const Labels& (*labelsOf)(), class... Alternatives>
void readJson(Json::Reader& reader, Labeled<labelsOf, Alternatives...>& value)
{
    if (reader.isNull())
        return;
    std::string label;
    const bool loaded = reader.enterFirstMember([&](const std::string& name) {
        label = name;
        return Detail::loadLabeled<Labeled<labelsOf, Alternatives...>, Alternatives...>(
            reader, value, labelsOf(), name, std::index_sequence_for<Alternatives...>());
    });
    if (!loaded)
        BOOST_THROW_EXCEPTION(Json::Exceptions::InvalidLabel() << Json::Exceptions::Label_(Json::diagnosticText(label))
                                                               << Json::Exceptions::Key_(reader.path()));
}

// Opens the object at once and writes the active alternative's content under its label
// ("null" when the content writes nothing).
template <const Labels& (*labelsOf)(), class... Alternatives>
void writeJson(Json::Writer& writer, const Labeled<labelsOf, Alternatives...>& value)
{
    writer.openObject();
    const std::string& label = labelsOf().get(static_cast<unsigned int>(value.which()));
    writer.member(label, [&] { boost::apply_visitor(Detail::SaveAlternative(writer), value.variant()); });
}

} // namespace Serialize
