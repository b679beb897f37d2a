#include "libs/config/settings/version.hpp"

#include "libs/config/settings/exceptions.hpp"

#include <string>

namespace Config {

bool tryReadConfigVersion(const SettingMap& settings, unsigned& version)
{
    std::string text;
    return settings.tryGet(configVersionKey, text) && tryConvert(text, version);
}

unsigned readConfigVersion(const SettingMap& settings)
{
    unsigned version = 0;
    if (!tryReadConfigVersion(settings, version))
        BOOST_THROW_EXCEPTION(Exceptions::VersionNotFound());
    return version;
}

void checkConfigVersion(const SettingMap& settings, unsigned expected)
{
    const unsigned version = readConfigVersion(settings);
    if (version != expected)
        BOOST_THROW_EXCEPTION(Exceptions::BadVersion() << Exceptions::Version_(static_cast<long>(version))
                                                       << Exceptions::ExpectedVersion_(static_cast<long>(expected)));
}

} // namespace Config
