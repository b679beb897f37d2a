// The Windows calendar conversions of the runtime library: gmtime_s, localtime_s and _mkgmtime.

#include "libs/log/calendar.hpp"

#include <time.h>

namespace Log::Calendar {

bool utcFields(std::time_t now, std::tm& fields) {
    return gmtime_s(&fields, &now) == 0;
}

bool localFields(std::time_t now, std::tm& fields) {
    return localtime_s(&fields, &now) == 0;
}

std::time_t fromUtcFields(std::tm& fields) {
    return _mkgmtime(&fields);
}

} // namespace Log::Calendar
