#pragma once
// The program entry of the migrator: finding the service's data directory, reading the
// configuration for the log, starting the log and running the one migrator of the program.

#include <string>

namespace Migration {

// The string value of that name under the HKEY_LOCAL_MACHINE key
// "Software\Quorlin Software\Qelt\Service\Settings", or the empty string when the key or a
// REG_SZ value of that name is missing or unreadable (a failure other than a missing value is
// logged at info, debug). Never throws.
std::string readRegistrySetting(const std::string& valueName);

// The registry's "DataDirectory" when not empty, used as it stands. Otherwise "Quorlin Software/
// Qelt/Service" below the all-users application data folder (or below the working directory when
// that folder is unknown), created with its missing parents. Throws when it cannot be created.
std::string dataDirectory();

// Runs the migrator on the data directory with the command line and returns its exit code.
// Throws what the start-up throws (creating the default directory, starting the log).
int runMigrator(int argc, const char* const argv[]);

} // namespace Migration
