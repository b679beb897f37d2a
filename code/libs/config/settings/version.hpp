#pragma once
// The configuration version kept under "data.version", and its check against the version the
// code expects.

#include "libs/config/settings/settings.hpp"

namespace Config {

// The configuration version this code reads and writes.
inline constexpr unsigned currentConfigVersion = 13;

// The key that holds the configuration version.
inline constexpr const char* configVersionKey = "data.version";

// True and the version stored when "data.version" exists and is an unsigned decimal number;
// false, output untouched, otherwise.
bool tryReadConfigVersion(const SettingMap& settings, unsigned& version);

// The version; throws Exceptions::VersionNotFound when the key is missing or not a number.
unsigned readConfigVersion(const SettingMap& settings);

// Returns when the version equals `expected`; throws Exceptions::VersionNotFound as
// readConfigVersion does, or Exceptions::BadVersion with Version_ = the version found and
// ExpectedVersion_ = `expected`.
void checkConfigVersion(const SettingMap& settings, unsigned expected);

} // namespace Config
