#pragma once
// The one table of the service's settings: for each key of conf/main.conf, the member of
// ServiceSettings it fills, its default and its kind (how its text is read and written). The
// reader, the writer and the list of known keys all walk this table.

#include "libs/config/settings/settings.hpp"
#include "shared/service/servicesettings.hpp"

namespace Config {

// The key of the service's own institution identifier. The registration part reads it leniently
// (a service that is not registered yet has none); the whole configuration requires it.
inline constexpr const char* institutionIdKey = "institution.id";

// Fills every member of the registration part from the map, setting by setting in the table's
// order, so that of several bad settings the first in that order is reported: a missing or bad
// "server.institutionId" (SettingNotFound, InvalidValue), a missing or empty "server.address"
// (SettingNotFound, NoServerAddress), then a bad proxy switch (InvalidValue, MissingProxyServer).
// Checks neither the version nor the own identifier.
void readRegistrationSettingRows(const SettingMap& settings, ServiceRegistrationSettings& record);

// Fills every member outside the registration part from the map. Never throws: each of these
// settings takes its default when missing or not convertible.
void readOtherServiceSettingRows(const SettingMap& settings, ServiceSettings& record);

// Puts every setting of the record into the map, leaving out (removing) those equal to their
// defaults.
void writeServiceSettingRows(const ServiceSettings& record, SettingMap& settings);

} // namespace Config
