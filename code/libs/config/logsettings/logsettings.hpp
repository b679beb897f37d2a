#pragma once
// The log's own keys in the configuration: the log settings of a prefix read from a setting map,
// and the start-up of the log from that map.

#include "libs/config/settings/settings.hpp"
#include "libs/log/settings.hpp"

#include <string>

namespace Log {

// Reads "<prefix>.logfile", ".loglevel", ".logverbosity", ".loglocaltime" and ".logperformance"
// (the bare key words for an empty prefix). A plain file name is placed in the directory of
// "prefix.log" when that key exists. Names outside the tables and unreadable booleans are left
// absent. Never fails.
Settings readSettings(const Config::SettingMap& settings, const std::string& prefix);

// Log::start with the settings of each prefix read from the map by readSettings.
void start(const Config::SettingMap& settings, const std::string& name, const std::string& prefix,
           const std::string& fileName, const std::string& directory, Verbosity verbosity,
           Level level, bool localTime, bool performance);

} // namespace Log
