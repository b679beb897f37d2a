#include "libs/datetime/packed.hpp"

#include "libs/datetime/date.hpp"


namespace Datetime {

namespace {

std::int64_t magnitude(std::int64_t v)
{
    return v < 0 ? -v : v;
}

// The magnitude of any stored value, the most negative one included.
std::uint64_t storedMagnitude(std::int64_t v)
{
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

// Field f of width 10^digits, stored as its magnitude modulo the width.
std::int64_t field(std::int32_t f, std::int64_t width)
{
    return magnitude(f) % width;
}

bool isValid(const DateTimeParts& p)
{
    return isValidYear(p.year) && isValidDate(p.year, p.month, p.day)
        && isValidTime(p.hour, p.minute, p.second, p.millisecond);
}

} // namespace

DateTime pack(const DateTimeParts& p)
{
    if (!isValid(p))
        return DateTime{DateTime::NoValue};
    const std::int64_t m = magnitude(p.year) * 10000000000000LL + field(p.month, 100) * 100000000000LL
        + field(p.day, 100) * 1000000000LL + field(p.hour, 100) * 10000000LL
        + field(p.minute, 100) * 100000LL + field(p.second, 100) * 1000LL
        + field(p.millisecond, 1000);
    return DateTime{p.year < 0 ? -m : m};
}

PackedDate pack(const Date& d)
{
    if (!isValidYear(d.year) || !isValidDate(d.year, d.month, d.day))
        return PackedDate{PackedDate::NoValue};
    const std::int64_t m = magnitude(d.year) * 10000 + field(d.month, 100) * 100 + field(d.day, 100);
    return PackedDate{static_cast<std::int32_t>(d.year < 0 ? -m : m)};
}

PackedTime pack(const TimeParts& t)
{
    if (!isValidTime(t.hour, t.minute, t.second, t.millisecond))
        return PackedTime{PackedTime::NoValue};
    return PackedTime{t.hour * 10000000 + t.minute * 100000 + t.second * 1000 + t.millisecond};
}

DateTimeParts unpack(DateTime packed)
{
    if (packed.value == DateTime::NoValue)
        return DateTimeParts();
    const std::uint64_t m = storedMagnitude(packed.value);
    const std::int64_t year = static_cast<std::int64_t>(m / 10000000000000ULL);
    DateTimeParts p;
    p.year = static_cast<std::int32_t>(packed.value < 0 ? -year : year);
    p.month = static_cast<std::int32_t>(m / 100000000000ULL % 100);
    p.day = static_cast<std::int32_t>(m / 1000000000ULL % 100);
    p.hour = static_cast<std::int32_t>(m / 10000000ULL % 100);
    p.minute = static_cast<std::int32_t>(m / 100000ULL % 100);
    p.second = static_cast<std::int32_t>(m / 1000ULL % 100);
    p.millisecond = static_cast<std::int32_t>(m % 1000);
    return p;
}

Date unpack(PackedDate packed)
{
    if (packed.value == PackedDate::NoValue)
        return Date{0, -1, -1};
    const std::uint64_t m = storedMagnitude(packed.value);
    const auto year = static_cast<std::int32_t>(m / 10000);
    return Date{packed.value < 0 ? -year : year, static_cast<std::int32_t>(m / 100 % 100),
                static_cast<std::int32_t>(m % 100)};
}

TimeParts unpack(PackedTime packed)
{
    if (packed.value == PackedTime::NoValue)
        return TimeParts{-1, -1, -1, -1};
    const std::uint64_t m = storedMagnitude(packed.value);
    return TimeParts{static_cast<std::int32_t>(m / 10000000 % 100),
                     static_cast<std::int32_t>(m / 100000 % 100),
                     static_cast<std::int32_t>(m / 1000 % 100), static_cast<std::int32_t>(m % 1000)};
}

} // namespace Datetime
