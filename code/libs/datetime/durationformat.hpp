#pragma once
// Short human-readable texts of elapsed times, such as "12.3ms", "5.12s" or "5:4.718".

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <cstdint>
#include <string>

namespace Datetime {

struct DurationFormat {
    // 0: "00:00:05", "5.5 second"; 1: "0:0:5", "5.5s"; 2: "5s", "1:5.5", "523μs".
    std::int32_t style = 2;
    // Writes the micro symbol as "us".
    bool ascii = false;
};

// The text of a duration of microsecond resolution, including boost's special values
// ("-infinity", "+infinity", "not-a-date-time").
std::string formatDuration(const boost::posix_time::time_duration& duration,
                           const DurationFormat& format = DurationFormat());
// The same for a signed count of microseconds; the smallest value is -infinity, the largest
// +infinity and the largest minus one not-a-date-time.
std::string formatDuration(std::int64_t microseconds, const DurationFormat& format = DurationFormat());

} // namespace Datetime
