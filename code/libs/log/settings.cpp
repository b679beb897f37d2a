#include "libs/log/settings.hpp"

namespace Log {

void start(const SettingsReader& read, const std::string& name, const std::string& prefix,
           const std::string& fileName, const std::string& directory, Verbosity verbosity,
           Level level, bool localTime, bool performance) {
    const Settings own = read(prefix.empty() ? name : prefix);
    Logger& logger = mainLogger();
    logger.setName(name);
    logger.setFile(fileName, directory);
    logger.setVerbosity(verbosity);
    logger.setLevel(level);
    logger.setLocalTime(localTime);
    logger.setPerformance(performance);
    logger.applySettings(own, directory);
    for (const Channel* channel : Channel::all()) {
        channel->configure(read, directory);
    }
}

} // namespace Log
