#include "libs/datetime/timepoint.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <limits>

namespace {

using Datetime::DateTime;
using Datetime::DateTimeParts;
using Datetime::TimePoint;

DateTimeParts parts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return DateTimeParts{y, mo, d, h, mi, s, ms};
}

TEST(TimePoint, OriginAndInvalidParts)
{
    EXPECT_EQ(Datetime::toTimePoint(parts(1, 1, 1)).milliseconds, 0);
    EXPECT_EQ(Datetime::toDateTime(TimePoint{0}).value, 10101000000000);
    EXPECT_EQ(Datetime::toTimePoint(parts(1, 1, 2, 0, 0, 0, 1)).milliseconds, 86400001);
    EXPECT_EQ(Datetime::toTimePoint(Datetime::unpack(DateTime{DateTime::NoValue})).milliseconds, 0);
    EXPECT_EQ(Datetime::toTimePoint(parts(2023, 2, 29)).milliseconds, 0);
    EXPECT_EQ(Datetime::toTimePoint(parts(2023, 1, 1, 24)).milliseconds, 0);
    EXPECT_EQ(Datetime::toTimePoint(parts(2000000000, 1, 1)).milliseconds, 0);
}

TEST(TimePoint, RoundTripsIncludingDatesBeforeTheOrigin)
{
    const DateTimeParts samples[] = {parts(2024, 2, 29, 23, 59, 59, 999), parts(1970, 1, 1),
                                     parts(-1, 12, 31, 12, 0, 0, 5), parts(-99999, 1, 1),
                                     parts(99999, 12, 31, 23, 59, 59, 999)};
    for (const DateTimeParts& p : samples) {
        const DateTime packed = Datetime::pack(p);
        EXPECT_EQ(Datetime::toDateTime(Datetime::toTimePoint(p)).value, packed.value);
    }
}

TEST(TimePoint, PackedSubtractionAcrossBoundaries)
{
    const auto minus = [](std::int64_t packed, Datetime::Duration d) {
        return Datetime::toDateTime(DateTime{packed} - d).value;
    };
    EXPECT_EQ(minus(20240315123045678, Datetime::days(365)), 20230316123045678);
    EXPECT_EQ(minus(20230315123045678, Datetime::days(365)), 20220315123045678);
    EXPECT_EQ(minus(20240301000000000, Datetime::days(1)), 20240229000000000);
    EXPECT_EQ(minus(20230301000000000, Datetime::days(1)), 20230228000000000);
    EXPECT_EQ(minus(21000301000000000, Datetime::days(1)), 21000228000000000);
    EXPECT_EQ(minus(20240101000000000, Datetime::Duration{1}), 20231231235959999);
    EXPECT_EQ(minus(20240501000000000, Datetime::Duration{-1}), 20240501000000001);
    EXPECT_EQ(minus(10101000000000, Datetime::days(1)), 1231000000000); // 0000-12-31, year 0 has no sign
    EXPECT_EQ(minus(10101000000000, Datetime::days(367)), -11231000000000);

    EXPECT_EQ(Datetime::days(-2).milliseconds, -172800000);
    const TimePoint saturated = DateTime{20240101000000000} - Datetime::Duration{std::numeric_limits<std::int64_t>::min()};
    EXPECT_EQ(saturated.milliseconds, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Datetime::toDateTime(saturated).value, DateTime::NoValue);
}

TEST(TimePoint, TimeTOfKnownMoments)
{
    EXPECT_EQ(Datetime::toTimeT(parts(1970, 1, 1, 0, 0, 0, 999)), 0);
    EXPECT_EQ(Datetime::toTimeT(parts(2000, 3, 1)), 951868800);
    EXPECT_EQ(Datetime::toTimeT(parts(1969, 12, 31, 23, 59, 59)), -1);
    EXPECT_EQ(Datetime::toTimeT(parts(2024, 2, 29, 12, 0, 0)), 1709208000);
}

TEST(TimePoint, NowAgreesWithTheSystemClock)
{
    // time() reads the coarse clock, which may still show the previous second: the bounds are
    // read from the precise system clock, as now() does.
    const auto systemSeconds = [] { return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()); };
    const std::time_t before = systemSeconds();
    const DateTimeParts utc = Datetime::now(Datetime::Zone::Utc);
    const std::time_t after = systemSeconds();
    const std::time_t seen = Datetime::toTimeT(utc);
    EXPECT_GE(seen, before);
    EXPECT_LE(seen, after);
    EXPECT_TRUE(Datetime::pack(utc).hasValue());
    EXPECT_TRUE(Datetime::nowDateTime().hasValue());

    const DateTimeParts zoned = Datetime::now(Datetime::Zone::Local);
    const std::time_t t = std::time(nullptr);
    const std::tm local = *std::localtime(&t);
    EXPECT_EQ(zoned.year, local.tm_year + 1900);
    EXPECT_GE(zoned.millisecond, 0);
    EXPECT_LE(zoned.millisecond, 999);
}

} // namespace
