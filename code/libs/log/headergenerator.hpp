#pragma once
// The text that starts every line of a log message: time, level, logger name and thread.

#include "libs/log/level.hpp"

#include <ctime>
#include <string>

namespace Log {

// Builds the header of one message. A logger may be given its own generator.
class HeaderGenerator {
public:
    virtual ~HeaderGenerator() = default;
    // The header for a message of `level` from the logger called `name`.
    virtual std::string header(const std::string& name, Level level) const = 0;
};

// "[dd.mm.yyyy hh:mm:ss+o] [  level] [    name] (tid) ": the current time in local time with
// the whole-hour offset from UTC, or in UTC without an offset, and the kernel's thread id.
class DefaultHeaderGenerator : public HeaderGenerator {
public:
    explicit DefaultHeaderGenerator(bool localTime) : localTime_(localTime) {}

    // Throws std::runtime_error when the current time cannot be converted.
    std::string header(const std::string& name, Level level) const override;

    // The header for the calendar time `now` and the thread number `threadId`; throws
    // std::runtime_error when `now` cannot be converted.
    std::string header(const std::string& name, Level level, std::time_t now,
                       unsigned long threadId) const;

private:
    bool localTime_;
};

} // namespace Log
