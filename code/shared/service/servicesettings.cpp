#include "shared/service/servicesettings.hpp"

#include "libs/config/settings/exceptions.hpp"
#include "libs/config/settings/version.hpp"
#include "shared/service/servicesettingstable.hpp"

#include <string>

namespace Config {

namespace {

// A service that registers must have no identifier of its own yet. A text that is no identifier
// counts as none, as the registration part reads it.
void rejectOwnInstitutionId(const SettingMap& settings)
{
    std::string text;
    Institution::Id id;
    if (settings.tryGet(institutionIdKey, text) && id.fromText(text) && !id.isEmpty())
        BOOST_THROW_EXCEPTION(Exceptions::MyInstitutionIdAlreadyExist());
}

} // namespace

ServiceRegistrationSettings readServiceRegistrationSettings(const SettingMap& settings,
                                                            bool checkVersion,
                                                            bool rejectInstitutionId)
{
    if (checkVersion)
        checkConfigVersion(settings, currentConfigVersion);
    if (rejectInstitutionId)
        rejectOwnInstitutionId(settings);
    ServiceRegistrationSettings result;
    readRegistrationSettingRows(settings, result);
    return result;
}

ServiceSettings readServiceSettings(const SettingMap& settings, bool checkVersion)
{
    ServiceSettings result;
    static_cast<ServiceRegistrationSettings&>(result) =
        readServiceRegistrationSettings(settings, checkVersion, false);
    // Checked only after the registration part, so that its failures come first.
    convert(settings.get(institutionIdKey), result.institution.id);
    readOtherServiceSettingRows(settings, result);
    return result;
}

} // namespace Config
