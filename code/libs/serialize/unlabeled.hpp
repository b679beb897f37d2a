#pragma once
// A variant whose JSON form is the active alternative's value alone; reading tries the
// alternatives in order and keeps the first that reads.

#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"
#include "libs/serialize/labeled.hpp"

#include <boost/variant.hpp>

#include <exception>

namespace Serialize {

template <class... Alternatives>
class Unlabeled : public boost::variant<Alternatives...> {
public:
    using Variant = boost::variant<Alternatives...>;
    using Variant::Variant;
    using Variant::operator=;
    Unlabeled() = default;

    bool operator==(const Unlabeled& other) const { return variant() == other.variant(); }
    bool operator!=(const Unlabeled& other) const { return !(*this == other); }
    const Variant& variant() const { return *this; }
};

namespace Detail {

template <class Alternative, class Value>
bool tryAlternative(Json::Reader& reader, Value& value)
{
    try {
        return loadAlternative<Alternative>(reader, value);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace Detail

// Null leaves the value unchanged. Otherwise the first alternative that reads from the current
// value without an exception is stored; when none does, Json::Exceptions::BadVariant with
// Key_ = path.
template <class... Alternatives>
void readJson(Json::Reader& reader, Unlabeled<Alternatives...>& value)
{
    if (reader.isNull())
        return;
    if (!(Detail::tryAlternative<Alternatives>(reader, value) || ...))
        BOOST_THROW_EXCEPTION(Json::Exceptions::BadVariant() << Json::Exceptions::Key_(reader.path()));
}

// The active alternative's value.
template <class... Alternatives>
void writeJson(Json::Writer& writer, const Unlabeled<Alternatives...>& value)
{
    boost::apply_visitor(Detail::SaveAlternative(writer), value.variant());
}

} // namespace Serialize
