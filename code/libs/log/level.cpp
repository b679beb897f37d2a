#include "libs/log/level.hpp"

#include <array>
#include <utility>

namespace Log {
namespace {

struct LevelNames {
    Level level;
    const char* name;
    const char* header;
};

constexpr std::array<LevelNames, 3> levelTable{{
    {Error, "error", "ERROR"},
    {Warn, "warn", "Warning"},
    {Info, "info", "info"},
}};

constexpr std::array<std::pair<Verbosity, const char*>, 5> verbosityTable{{
    {Silent, "silent"},
    {Summary, "summary"},
    {Normal, "normal"},
    {Details, "details"},
    {Debug, "debug"},
}};

const LevelNames* findLevel(Level level) {
    for (const auto& entry : levelTable) {
        if (entry.level == level) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

std::string levelName(Level level) {
    const LevelNames* entry = findLevel(level);
    return entry ? entry->name : "";
}

std::string levelHeaderText(Level level) {
    const LevelNames* entry = findLevel(level);
    return entry ? entry->header : "";
}

bool levelFromName(const std::string& name, Level& level) {
    for (const auto& entry : levelTable) {
        if (name == entry.name) {
            level = entry.level;
            return true;
        }
    }
    return false;
}

std::string verbosityName(Verbosity verbosity) {
    for (const auto& [value, name] : verbosityTable) {
        if (value == verbosity) {
            return name;
        }
    }
    return "";
}

bool verbosityFromName(const std::string& name, Verbosity& verbosity) {
    for (const auto& [value, tableName] : verbosityTable) {
        if (name == tableName) {
            verbosity = value;
            return true;
        }
    }
    return false;
}

} // namespace Log
