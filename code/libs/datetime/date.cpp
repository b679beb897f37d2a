#include "libs/datetime/date.hpp"

#include "libs/datetime/exceptions.hpp"

#include <limits>

namespace Datetime {

namespace {

bool isLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int32_t monthLength(std::int32_t year, std::int32_t month)
{
    static const std::int32_t lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : lengths[month - 1];
}

bool fitsInt32(std::int64_t v)
{
    return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

// Division rounding toward minus infinity. The Julian day rules need it to stay correct for
// the years before 4713 BC, where their intermediate values turn negative; for later years it
// gives the same results as truncating division.
std::int64_t fdiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The inverse of the Julian day rule, in 64 bits so that no day number overflows.
Date dateOfJulianDay(std::int64_t julian)
{
    std::int64_t l = julian + 68569;
    const std::int64_t n = fdiv(4 * l, 146097);
    l = l - fdiv(146097 * n + 3, 4);
    const std::int64_t i = fdiv(4000 * (l + 1), 1461001);
    l = l - fdiv(1461 * i, 4) + 31;
    const std::int64_t j = fdiv(80 * l, 2447);
    const std::int64_t day = l - fdiv(2447 * j, 80);
    l = fdiv(j, 11);
    const std::int64_t month = j + 2 - 12 * l;
    const std::int64_t year = 100 * (n - 49) + i + l;
    return Date{static_cast<std::int32_t>(year), static_cast<std::int32_t>(month),
                static_cast<std::int32_t>(day)};
}

} // namespace

bool isValidYear(std::int32_t year)
{
    return year >= -99999 && year <= 99999;
}

bool isValidDate(std::int32_t year, std::int32_t month, std::int32_t day)
{
    return month >= 1 && month <= 12 && day >= 1 && day <= monthLength(year, month);
}

bool isValidTime(std::int32_t hour, std::int32_t minute, std::int32_t second,
                 std::int32_t millisecond)
{
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59
        && millisecond >= 0 && millisecond <= 999;
}

void convert(const Date& date, JulianDate& julian)
{
    if (!isValidDate(date.year, date.month, date.day))
        BOOST_THROW_EXCEPTION(Exceptions::InvalidDate());
    const std::int64_t year = date.year;
    const std::int64_t month = date.month;
    const std::int64_t a = (month - 14) / 12;
    const std::int64_t j = fdiv(1461 * (year + 4800 + a), 4) + (367 * (month - 2 - 12 * a)) / 12
        - fdiv(3 * fdiv(year + 4900 + a, 100), 4) + date.day - 32075;
    if (!fitsInt32(j) || !fitsInt32(j - dayNumberOrigin))
        BOOST_THROW_EXCEPTION(Exceptions::InvalidDate());
    julian.value = static_cast<std::int32_t>(j);
}

void convert(const JulianDate& julian, Date& date)
{
    date = dateOfJulianDay(julian.value);
}

std::int32_t dayNumber(const Date& date)
{
    JulianDate julian;
    convert(date, julian);
    return julian.value - dayNumberOrigin;
}

Date dateFromDayNumber(std::int32_t days)
{
    return dateOfJulianDay(static_cast<std::int64_t>(days) + dayNumberOrigin);
}

} // namespace Datetime
