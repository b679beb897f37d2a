#pragma once
// How serious a log message is (its level) and how much detail a reader must have asked for
// to see it (its verbosity), with the names that the configuration uses for them.

#include <cstdint>
#include <string>

namespace Log {

// A plain integer enumeration: a lower number is more serious. Values outside the named ones
// are allowed and print an empty level column.
enum Level : std::int32_t { Error = 0, Warn = 1, Info = 2 };

// A higher number means more detail.
enum Verbosity : std::int32_t { Silent = 0, Summary = 1, Normal = 2, Details = 3, Debug = 4 };

// Where a logger writes.
enum class Output : std::int32_t { None = 0, StdOut = 1, StdErr = 2, File = 3 };

// The configuration name of a level ("error", "warn", "info"); empty for other values.
std::string levelName(Level level);

// The text of the level column in a log line ("ERROR", "Warning", "info"); empty for other values.
std::string levelHeaderText(Level level);

// Looks up a configuration name exactly (the caller folds case). True and `level` set when the
// name is in the table; false and `level` untouched otherwise.
bool levelFromName(const std::string& name, Level& level);

// The configuration name of a verbosity ("silent" ... "debug"); empty for other values.
std::string verbosityName(Verbosity verbosity);

// As levelFromName, for the verbosity names.
bool verbosityFromName(const std::string& name, Verbosity& verbosity);

} // namespace Log
