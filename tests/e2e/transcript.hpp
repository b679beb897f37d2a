#pragma once
// The fixed console texts of the migrator program, as its end-to-end tests expect them.

#include <sstream>
#include <string>
#include <vector>

namespace E2e {

inline const std::string banner = "Service Migrator v13.0.0.0\n";

// The whole output of "m" on data that is already migrated.
inline const std::string alreadyMigrated = banner + "The current data has already been migrated.\n";

inline const std::string prompt =
    "(A)nalyze, (M)igrate, (R)epair, command line (H)elp, or anything else to exit: \n";

// The help command's output after the banner, for the program name as received.
inline std::string help(const std::string& program) {
    return program +
           " [harmi]\n"
           "\n"
           "h help         - prints this help (default)\n"
           "a analyze      - checks data integrity of current version\n"
           "r repair       - repairs data of current version\n"
           "m migrate      - migrate previous version of data to current\n"
           "i interactive  - runs in interactive mode\n"
           "\n"
           "\n"
           "\n";
}

inline const std::vector<std::string> stepReports{
    "Migrating institutions...", "Migrating studies...", "Migrating messages...",
    "Migrating history records...", "Migrating users...", "Migrating notifications...",
    "Migrating settings.json...", "Migrating config...",
};

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

inline bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The lines of the text that start with the prefix, in order.
inline std::vector<std::string> linesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> result;
    for (const std::string& line : lines(text)) {
        if (startsWith(line, prefix))
            result.push_back(line);
    }
    return result;
}

} // namespace E2e
