#include "libs/datetime/timepoint.hpp"

#include "libs/datetime/date.hpp"
#include "libs/datetime/exceptions.hpp"

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <limits>

namespace Datetime {

namespace {

constexpr std::int64_t millisecondsPerDay = 86400000;

std::uint64_t magnitude(std::int64_t v)
{
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

std::int64_t floorDivide(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

std::int32_t clampToInt32(std::int64_t v)
{
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

} // namespace

Duration days(std::int64_t n)
{
    std::int64_t result = 0;
    if (__builtin_mul_overflow(n, millisecondsPerDay, &result))
        result = n < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    return Duration{result};
}

TimePoint toTimePoint(const DateTimeParts& p)
{
    if (!isValidDate(p.year, p.month, p.day) || !isValidTime(p.hour, p.minute, p.second, p.millisecond))
        return TimePoint{0};
    std::int64_t d = 0;
    try {
        d = dayNumber(Date{p.year, p.month, p.day});
    } catch (const Exceptions::InvalidDate&) {
        return TimePoint{0};
    }
    const std::int64_t t = ((static_cast<std::int64_t>(p.hour % 24) * 60 + p.minute % 60) * 60 + p.second % 60) * 1000
        + p.millisecond % 1000;
    const std::int64_t m = (d < 0 ? -d : d) * millisecondsPerDay + t;
    return TimePoint{d < 0 ? -m : m};
}

DateTimeParts toParts(TimePoint point)
{
    const std::uint64_t m = magnitude(point.milliseconds);
    const Date date = dateFromDayNumber(clampToInt32(point.milliseconds / millisecondsPerDay));
    DateTimeParts p;
    p.year = date.year;
    p.month = date.month;
    p.day = date.day;
    p.hour = static_cast<std::int32_t>(m / 3600000 % 24);
    p.minute = static_cast<std::int32_t>(m / 60000 % 60);
    p.second = static_cast<std::int32_t>(m / 1000 % 60);
    p.millisecond = static_cast<std::int32_t>(m % 1000);
    return p;
}

DateTime toDateTime(TimePoint point)
{
    return pack(toParts(point));
}

TimePoint operator-(DateTime packed, Duration d)
{
    const std::int64_t start = toTimePoint(unpack(packed)).milliseconds;
    std::int64_t result = 0;
    if (__builtin_sub_overflow(start, d.milliseconds, &result))
        result = d.milliseconds > 0 ? std::numeric_limits<std::int64_t>::min()
                                    : std::numeric_limits<std::int64_t>::max();
    return TimePoint{result};
}

DateTimeParts now(Zone zone)
{
    using boost::posix_time::microsec_clock;
    const boost::posix_time::ptime t
        = zone == Zone::Utc ? microsec_clock::universal_time() : microsec_clock::local_time();
    const boost::gregorian::date::ymd_type ymd = t.date().year_month_day();
    const boost::posix_time::time_duration clock = t.time_of_day();
    DateTimeParts p;
    p.year = ymd.year;
    p.month = ymd.month;
    p.day = ymd.day;
    p.hour = static_cast<std::int32_t>(clock.hours());
    p.minute = static_cast<std::int32_t>(clock.minutes());
    p.second = static_cast<std::int32_t>(clock.seconds());
    p.millisecond = static_cast<std::int32_t>(clock.total_microseconds() % 1000000 / 1000);
    return p;
}

DateTime nowDateTime()
{
    return pack(now(Zone::Utc));
}

std::time_t toTimeT(const DateTimeParts& p)
{
    const std::int64_t month = p.month;
    const std::int64_t y = static_cast<std::int64_t>(p.year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = floorDivide(y, 400);
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month <= 2 ? month + 9 : month - 3) + 2) / 5 + p.day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t daysSinceEpoch = era * 146097 + dayOfEra - 719468;
    return static_cast<std::time_t>(((daysSinceEpoch * 24 + p.hour) * 60 + p.minute) * 60 + p.second);
}

} // namespace Datetime
