// The POSIX calendar conversions: the reentrant gmtime_r and localtime_r, and timegm.

#include "libs/log/calendar.hpp"

namespace Log::Calendar {

bool utcFields(std::time_t now, std::tm& fields) {
    return gmtime_r(&now, &fields) != nullptr;
}

bool localFields(std::time_t now, std::tm& fields) {
    return localtime_r(&now, &fields) != nullptr;
}

std::time_t fromUtcFields(std::tm& fields) {
    return timegm(&fields);
}

} // namespace Log::Calendar
