#pragma once
// Writes the service's configuration record back as a compact INI file: one line per setting
// that differs from the default the reader would give it.

#include "libs/config/settings/settings.hpp"
#include "shared/service/servicesettings.hpp"

#include <string>

namespace Config {

// Returns the setting map of the record: every setting whose value differs from the reader's
// default, "data.version" when not 0, both identifiers when not empty, the addresses joined with
// ", ". Members the service rarely changes (connection and internal timeouts, low-speed limits,
// alternative download, duplicate checker, temporary file lifetime) follow the same rules, so a
// record of defaults with version, identifiers and one address gives exactly those four keys.
SettingMap toServiceSettingMap(const ServiceSettings& settings);

// As above, and carries over unchanged every entry of `original` whose key the service settings
// reader does not know (logging keys, keys of other components). Keys the reader knows take
// their value from the record only, so a known key set to its default is left out.
SettingMap toServiceSettingMap(const ServiceSettings& settings, const SettingMap& original);

// Writes toServiceSettingMap(settings) to the file with writeIniFile: missing parent directories
// are created, earlier content replaced. Failures of the file layer reach the caller unchanged;
// the file may then be left incomplete.
void writeServiceSettings(const ServiceSettings& settings, const std::string& filename);

// Writes toServiceSettingMap(settings, original) to the file, as above: the rewrite of a
// configuration that keeps everything the service does not read into the record.
void writeServiceSettings(const ServiceSettings& settings, const SettingMap& original,
                          const std::string& filename);

} // namespace Config
