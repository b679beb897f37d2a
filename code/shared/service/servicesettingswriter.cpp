#include "shared/service/servicesettingswriter.hpp"

#include "libs/config/inifile/inifile.hpp"
#include "shared/service/servicesettingstable.hpp"

#include <algorithm>

namespace Config {

namespace {

bool isKnownKey(const std::string& lowerCaseKey)
{
    const auto& known = knownServiceSettingKeys();
    return std::find(known.begin(), known.end(), lowerCaseKey) != known.end();
}

} // namespace

SettingMap toServiceSettingMap(const ServiceSettings& settings)
{
    SettingMap map;
    writeServiceSettingRows(settings, map);
    return map;
}

SettingMap toServiceSettingMap(const ServiceSettings& settings, const SettingMap& original)
{
    SettingMap map = toServiceSettingMap(settings);
    for (const auto& [key, value] : original) {
        if (!isKnownKey(key))
            map.set(key, value);
    }
    return map;
}

void writeServiceSettings(const ServiceSettings& settings, const std::string& filename)
{
    writeIniFile(toServiceSettingMap(settings), filename);
}

void writeServiceSettings(const ServiceSettings& settings, const SettingMap& original,
                          const std::string& filename)
{
    writeIniFile(toServiceSettingMap(settings, original), filename);
}

} // namespace Config
