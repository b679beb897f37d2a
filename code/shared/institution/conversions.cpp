#include "shared/institution/id.hpp"

#include "libs/config/settings/exceptions.hpp"
#include "libs/config/settings/settings.hpp"
#include "libs/json/reader.hpp"
#include "libs/json/writer.hpp"

namespace Institution {

void convert(std::string_view text, Id& output)
{
    Id id;
    if (!id.fromText(text))
        BOOST_THROW_EXCEPTION(Config::Exceptions::InvalidValue()
                              << Config::Exceptions::Value_(std::string(text))
                              << Config::Exceptions::ExpectedType_("Institution::Id"));
    output = id;
}

void writeSetting(Config::SettingMap& settings, std::string_view key, const Id& value)
{
    if (!value.isEmpty())
        settings.setOrRemove(key, value.toText());
}

void readJson(Json::Reader& reader, Id& value)
{
    std::string text;
    reader.load(text);
    Id id;
    id.fromLegacyText(text);
    value = id;
}

void writeJson(Json::Writer& writer, const Id& value)
{
    writer.writeString(value.toText());
}

} // namespace Institution
