#pragma once
// Millisecond time points and durations, the current time, and conversions between them, the
// broken-down parts, packed date-times and C time_t values.

#include "libs/datetime/packed.hpp"

#include <cstdint>
#include <ctime>

namespace Datetime {

// Milliseconds since 0001-01-01 00:00:00.000.
struct TimePoint {
    std::int64_t milliseconds = 0;
};

// Signed milliseconds.
struct Duration {
    std::int64_t milliseconds = 0;
};

inline bool operator==(TimePoint a, TimePoint b) { return a.milliseconds == b.milliseconds; }
inline bool operator!=(TimePoint a, TimePoint b) { return a.milliseconds != b.milliseconds; }
inline bool operator==(Duration a, Duration b) { return a.milliseconds == b.milliseconds; }
inline bool operator!=(Duration a, Duration b) { return a.milliseconds != b.milliseconds; }

// n days.
Duration days(std::int64_t n);

// The time point of valid parts; 0 when the date or the time is invalid or out of reach.
TimePoint toTimePoint(const DateTimeParts& parts);
// The parts of a time point (the sign applies to the date, the time is read from the
// magnitude), and their packed form (NoValue beyond the valid years).
DateTimeParts toParts(TimePoint point);
DateTime toDateTime(TimePoint point);

// packed turned into a time point (0 when it is not a valid date-time), minus d. Saturates at
// the limits of 64 bits instead of overflowing.
TimePoint operator-(DateTime packed, Duration d);

enum class Zone { Utc = 0, Local = 1 };

// The current date and time from the system clock, in UTC or local time, milliseconds
// truncated. Boost's conversion errors (std::runtime_error, std::out_of_range) pass through.
DateTimeParts now(Zone zone);
// The current UTC date and time, packed.
DateTime nowDateTime();

// Seconds since 1970-01-01 00:00:00 of the parts, milliseconds dropped.
std::time_t toTimeT(const DateTimeParts& parts);

} // namespace Datetime
