#include "libs/datetime/durationformat.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

using boost::posix_time::hours;
using boost::posix_time::microseconds;
using boost::posix_time::milliseconds;
using boost::posix_time::minutes;
using boost::posix_time::seconds;
using boost::posix_time::time_duration;

std::string format(const time_duration& d, int style, bool ascii = false)
{
    return Datetime::formatDuration(d, Datetime::DurationFormat{style, ascii});
}

TEST(DurationFormat, ShortStyle)
{
    EXPECT_EQ(format(seconds(0), 2), "0");
    EXPECT_EQ(format(microseconds(523), 2), "523\xCE\xBCs");
    EXPECT_EQ(format(microseconds(523), 2, true), "523us");
    EXPECT_EQ(format(microseconds(12300), 2), "12.3ms");
    EXPECT_EQ(format(microseconds(12045), 2), "12.045ms");
    EXPECT_EQ(format(seconds(5), 2), "5s");
    EXPECT_EQ(format(milliseconds(5120), 2), "5.12s");
    EXPECT_EQ(format(minutes(1), 2), "1:0");
    EXPECT_EQ(format(milliseconds(65500), 2), "1:5.5");
    EXPECT_EQ(format(minutes(5) + milliseconds(4718), 2), "5:4.718");
    EXPECT_EQ(format(hours(1) + seconds(5), 2), "1:0:5");
    EXPECT_EQ(format(hours(26), 2), "1 2:0:0");
    EXPECT_EQ(format(seconds(-5), 2), "-5s");
    EXPECT_EQ(format(microseconds(5000300), 2), "5s");
    EXPECT_EQ(format(microseconds(500), 2), "500\xCE\xBCs");
    EXPECT_EQ(format(hours(1), 2), "1:0:0");
    EXPECT_EQ(format(hours(1) + milliseconds(500), 2), "1:0:0");
    EXPECT_EQ(format(milliseconds(50), 2), "50ms");
    EXPECT_EQ(format(microseconds(1005), 2), "1.005ms");
    EXPECT_EQ(format(milliseconds(-12), 2), "-12ms");
}

TEST(DurationFormat, ClockStyles)
{
    EXPECT_EQ(format(seconds(0), 0), "00:00:00");
    EXPECT_EQ(format(seconds(0), 1), "0:0:0");
    EXPECT_EQ(format(seconds(5), 0), "00:00:05");
    EXPECT_EQ(format(seconds(5), 1), "0:0:5");
    EXPECT_EQ(format(milliseconds(5500), 0), "5.5 second");
    EXPECT_EQ(format(milliseconds(5500), 1), "5.5s");
    EXPECT_EQ(format(microseconds(5000300), 0), "5.0003 second");
    EXPECT_EQ(format(microseconds(5000300), 1), "5.0003s");
    EXPECT_EQ(format(microseconds(523), 0), "523 microsecond");
    EXPECT_EQ(format(microseconds(523), 1), "523\xCE\xBCs");
    EXPECT_EQ(format(microseconds(523), 1, true), "523us");
    EXPECT_EQ(format(microseconds(12045), 0), "12.045 millisecond");
    EXPECT_EQ(format(microseconds(12300), 1), "12.3ms");
    EXPECT_EQ(format(milliseconds(61500), 0), "00:01:01.5");
    EXPECT_EQ(format(milliseconds(61500), 1), "0:1:1.5");
    EXPECT_EQ(format(hours(26) + microseconds(7), 0), "1 02:00:00.000007");
    EXPECT_EQ(format(hours(1), 0), "01:00:00");
    EXPECT_EQ(format(seconds(-5), 0), "-00:00:05");
    EXPECT_EQ(format(-milliseconds(5500), 1), "-5.5s");
}

TEST(DurationFormat, SpecialValues)
{
    const Datetime::DurationFormat f;
    EXPECT_EQ(Datetime::formatDuration(time_duration(boost::posix_time::neg_infin), f), "-infinity");
    EXPECT_EQ(Datetime::formatDuration(time_duration(boost::posix_time::pos_infin), f), "+infinity");
    EXPECT_EQ(Datetime::formatDuration(time_duration(boost::posix_time::not_a_date_time), f), "not-a-date-time");
    const std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(Datetime::formatDuration(std::numeric_limits<std::int64_t>::min(), f), "-infinity");
    EXPECT_EQ(Datetime::formatDuration(largest, f), "+infinity");
    EXPECT_EQ(Datetime::formatDuration(largest - 1, f), "not-a-date-time");
    EXPECT_FALSE(Datetime::formatDuration(largest - 2, f).empty());
}

} // namespace
