#pragma once
// Calendar dates of the proleptic Gregorian calendar, Julian day numbers and day numbers.

#include <cstdint>

namespace Datetime {

struct Date {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
};

// The Julian day number of a date: 0001-01-01 is 1721426, 1970-01-01 is 2440588.
struct JulianDate {
    std::int32_t value = 0;
};

// Julian day number of 0001-01-01, the origin of day numbers.
constexpr std::int32_t dayNumberOrigin = 1721426;

// -99999 <= year <= 99999.
bool isValidYear(std::int32_t year);
// Month 1-12 and day within the month's length (leap years by the Gregorian rule); any year.
bool isValidDate(std::int32_t year, std::int32_t month, std::int32_t day);
// Hour 0-23, minute 0-59, second 0-59, millisecond 0-999.
bool isValidTime(std::int32_t hour, std::int32_t minute, std::int32_t second,
                 std::int32_t millisecond);

// The Julian day number of date. Throws Datetime::Exceptions::InvalidDate when the date is not
// valid or its day number does not fit 32 bits.
void convert(const Date& date, JulianDate& julian);
// The date of a Julian day number; no check.
void convert(const JulianDate& julian, Date& date);

// Days since 0001-01-01; throws as convert does.
std::int32_t dayNumber(const Date& date);
// The date a given number of days after (or before) 0001-01-01.
Date dateFromDayNumber(std::int32_t days);

} // namespace Datetime
