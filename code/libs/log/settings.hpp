#pragma once
// The log configuration of one settings prefix, the start-up of the main logger, and the named
// channel loggers configured beside it. Where the values come from is the caller's choice: the
// program reads them from its setting map (libs/config/logsettings).

#include "libs/log/level.hpp"
#include "libs/log/logger.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Log {

// The values found for one prefix; absent values leave a logger's own value alone.
struct Settings {
    std::string fileName;
    std::optional<Level> level;
    std::optional<Verbosity> verbosity;
    std::optional<bool> localTime;
    std::optional<bool> performance;
};

// The settings found for a prefix. Never fails: what is not found is left absent.
using SettingsReader = std::function<Settings(const std::string& prefix)>;

// Configures the main logger from the arguments, lets the settings under `prefix` (or under
// `name` when the prefix is empty) override them, then configures every channel.
void start(const SettingsReader& read, const std::string& name, const std::string& prefix,
           const std::string& fileName, const std::string& directory, Verbosity verbosity,
           Level level, bool localTime, bool performance);

// A named logger configured at start-up from its own settings prefix. Channels register
// themselves in construction order and unregister on destruction; the channel must not outlive
// its logger.
class Channel {
public:
    struct Fixed {
        std::string fileName;
        std::optional<Verbosity> verbosity;
        std::optional<Level> level;
        std::optional<bool> localTime;
        std::optional<bool> performance;
    };

    // Names the logger `name`. The prefix defaults to the name; `parents` is a comma-separated
    // list of prefixes applied before the channel's own.
    Channel(Logger& logger, const std::string& name, const std::string& prefix = std::string(),
            bool inherit = true, const std::string& parents = std::string(), Fixed fixed = Fixed());
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    // Inherits from the main logger and the parents unless every value is fixed, applies the
    // fixed values and the channel's own settings, and keeps the logger's name.
    void configure(const SettingsReader& read, const std::string& directory) const;

    Logger& logger() const { return logger_; }
    const std::string& prefix() const { return prefix_; }

    // The registered channels in registration order.
    static std::vector<Channel*> all();

private:
    bool hasAllFixedValues() const;

    Logger& logger_;
    std::string prefix_;
    bool inherit_;
    std::string parents_;
    Fixed fixed_;
};

// The loggers of the channels "db", "thread" and "registry".
Logger& dbLogger();
Logger& threadLogger();
Logger& registryLogger();

} // namespace Log
