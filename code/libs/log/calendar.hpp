#pragma once
// Calendar fields of a point in time, in UTC or in the local time zone of the process, for the
// time stamp of the log line header.

#include <ctime>

namespace Log::Calendar {

// The fields of now in UTC; false when they cannot be computed. Never throws.
bool utcFields(std::time_t now, std::tm& fields);

// The fields of now in local time (TZ and the system's zone data); false when they cannot be
// computed. Never throws.
bool localFields(std::time_t now, std::tm& fields);

// The calendar time whose UTC fields these are; the fields are normalised. Never throws.
std::time_t fromUtcFields(std::tm& fields);

} // namespace Log::Calendar
