#include "libs/log/settings.hpp"

#include <algorithm>

namespace Log {
namespace {

std::vector<Channel*>& registeredChannels() {
    static std::vector<Channel*> channels;
    return channels;
}

std::vector<std::string> splitParents(const std::string& parents) {
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    while (start <= parents.size()) {
        std::string::size_type end = parents.find(',', start);
        if (end == std::string::npos) {
            end = parents.size();
        }
        pieces.push_back(parents.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

} // namespace

Channel::Channel(Logger& logger, const std::string& name, const std::string& prefix, bool inherit,
                 const std::string& parents, Fixed fixed)
    : logger_(logger), prefix_(prefix.empty() ? name : prefix), inherit_(inherit),
      parents_(parents), fixed_(std::move(fixed)) {
    logger_.setName(name);
    registeredChannels().push_back(this);
}

Channel::~Channel() {
    auto& channels = registeredChannels();
    channels.erase(std::remove(channels.begin(), channels.end(), this), channels.end());
}

std::vector<Channel*> Channel::all() {
    return registeredChannels();
}

bool Channel::hasAllFixedValues() const {
    return !fixed_.fileName.empty() && fixed_.verbosity && fixed_.level && fixed_.localTime &&
           fixed_.performance;
}

void Channel::configure(const SettingsReader& read, const std::string& directory) const {
    const std::string name = logger_.name();
    if (!hasAllFixedValues()) {
        if (inherit_ && &logger_ != &mainLogger()) {
            logger_.copyFrom(mainLogger());
        }
        if (!parents_.empty()) {
            for (const std::string& parent : splitParents(parents_)) {
                logger_.applySettings(read(parent), directory);
            }
        }
    }
    Settings fixed;
    fixed.fileName = fixed_.fileName;
    fixed.verbosity = fixed_.verbosity;
    fixed.level = fixed_.level;
    fixed.localTime = fixed_.localTime;
    fixed.performance = fixed_.performance;
    logger_.applySettings(fixed, directory);
    logger_.applySettings(read(prefix_), directory);
    logger_.setName(name);
}

Logger& dbLogger() {
    static Logger logger;
    return logger;
}

Logger& threadLogger() {
    static Logger logger;
    return logger;
}

Logger& registryLogger() {
    static Logger logger;
    return logger;
}

namespace {

const Channel dbChannel(dbLogger(), "db");
const Channel threadChannel(threadLogger(), "thread");
const Channel registryChannel(registryLogger(), "registry");

} // namespace

} // namespace Log
