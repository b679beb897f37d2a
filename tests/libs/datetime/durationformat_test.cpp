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

TEST(DurationFormat, FractionsGroupsAndTheAsciiFlag)
{
    EXPECT_EQ(format(microseconds(523), 2, true), "523us");
    EXPECT_EQ(format(microseconds(523), 1, true), "523us");
    EXPECT_EQ(format(microseconds(523), 0, true), "523 microsecond");
    EXPECT_EQ(format(hours(1) + milliseconds(500), 2), "1:0:0");
    EXPECT_EQ(format(milliseconds(50), 2), "50ms");
    EXPECT_EQ(format(microseconds(1005), 2), "1.005ms");
    EXPECT_EQ(format(milliseconds(-12), 2), "-12ms");
    EXPECT_EQ(format(milliseconds(61500), 0), "00:01:01.5");
    EXPECT_EQ(format(hours(26) + microseconds(7), 0), "1 02:00:00.000007");
    EXPECT_EQ(format(-milliseconds(5500), 1), "-5.5s");
    // Styles outside 0 to 2 write the short form.
    EXPECT_EQ(format(seconds(5), 7), "5s");
}

TEST(DurationFormat, EveryStyleOfTheReferenceDurations)
{
    struct Case {
        time_duration duration;
        const char* full;
        const char* clock;
        const char* brief;
    };
    const Case cases[] = {
        {seconds(0), "00:00:00", "0:0:0", "0"},
        {microseconds(523), "523 microsecond", "523\xCE\xBCs", "523\xCE\xBCs"},
        {microseconds(12300), "12.3 millisecond", "12.3ms", "12.3ms"},
        {microseconds(12045), "12.045 millisecond", "12.045ms", "12.045ms"},
        {seconds(5), "00:00:05", "0:0:5", "5s"},
        {milliseconds(5120), "5.12 second", "5.12s", "5.12s"},
        {minutes(1), "00:01:00", "0:1:0", "1:0"},
        {milliseconds(65500), "00:01:05.5", "0:1:5.5", "1:5.5"},
        {minutes(5) + milliseconds(4718), "00:05:04.718", "0:5:4.718", "5:4.718"},
        {hours(1) + seconds(5), "01:00:05", "1:0:5", "1:0:5"},
        {hours(26), "1 02:00:00", "1 2:0:0", "1 2:0:0"},
        {seconds(-5), "-00:00:05", "-0:0:5", "-5s"},
        {microseconds(5000300), "5.0003 second", "5.0003s", "5s"},
        {microseconds(500), "500 microsecond", "500\xCE\xBCs", "500\xCE\xBCs"},
        {hours(1), "01:00:00", "1:0:0", "1:0:0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.brief);
        EXPECT_EQ(format(c.duration, 0), c.full);
        EXPECT_EQ(format(c.duration, 1), c.clock);
        EXPECT_EQ(format(c.duration, 2), c.brief);
    }
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
