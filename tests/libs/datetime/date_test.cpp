#include "libs/datetime/date.hpp"
#include "libs/datetime/exceptions.hpp"

#include <gtest/gtest.h>

namespace {

using Datetime::Date;
using Datetime::JulianDate;

TEST(Date, ValidityFollowsTheGregorianRules)
{
    EXPECT_TRUE(Datetime::isValidDate(2000, 2, 29));
    EXPECT_TRUE(Datetime::isValidDate(2024, 2, 29));
    EXPECT_FALSE(Datetime::isValidDate(1900, 2, 29));
    EXPECT_FALSE(Datetime::isValidDate(2023, 2, 29));
    EXPECT_TRUE(Datetime::isValidDate(2023, 4, 30));
    EXPECT_FALSE(Datetime::isValidDate(2023, 4, 31));
    EXPECT_FALSE(Datetime::isValidDate(2023, 13, 1));
    EXPECT_FALSE(Datetime::isValidDate(2023, 0, 1));
    EXPECT_FALSE(Datetime::isValidDate(2023, 1, 0));
    EXPECT_FALSE(Datetime::isValidDate(2023, 1, 32));
    EXPECT_TRUE(Datetime::isValidDate(-4, 2, 29));

    EXPECT_TRUE(Datetime::isValidYear(-99999));
    EXPECT_TRUE(Datetime::isValidYear(99999));
    EXPECT_FALSE(Datetime::isValidYear(100000));
    EXPECT_FALSE(Datetime::isValidYear(-100000));

    EXPECT_TRUE(Datetime::isValidTime(23, 59, 59, 999));
    EXPECT_FALSE(Datetime::isValidTime(24, 0, 0, 0));
    EXPECT_FALSE(Datetime::isValidTime(0, 60, 0, 0));
    EXPECT_FALSE(Datetime::isValidTime(0, 0, 60, 0));
    EXPECT_FALSE(Datetime::isValidTime(0, 0, 0, 1000));
    EXPECT_FALSE(Datetime::isValidTime(0, 0, 0, -1));
}

TEST(Date, JulianDayNumbersOfKnownDates)
{
    JulianDate julian;
    Datetime::convert(Date{2000, 1, 1}, julian);
    EXPECT_EQ(julian.value, 2451545);
    Datetime::convert(Date{1970, 1, 1}, julian);
    EXPECT_EQ(julian.value, 2440588);
    Datetime::convert(Date{1, 1, 1}, julian);
    EXPECT_EQ(julian.value, 1721426);

    Date date;
    Datetime::convert(JulianDate{2451545}, date);
    EXPECT_EQ(date.year, 2000);
    EXPECT_EQ(date.month, 1);
    EXPECT_EQ(date.day, 1);
}

TEST(Date, RoundTripAcrossMonthYearAndLeapBoundaries)
{
    const Date dates[] = {{2024, 2, 28}, {2024, 2, 29}, {2024, 3, 1}, {2023, 12, 31}, {2024, 1, 1},
                          {1600, 2, 29}, {-1, 12, 31}, {0, 1, 1}, {99999, 12, 31}, {-99999, 1, 1}};
    for (const Date& d : dates) {
        const Date back = Datetime::dateFromDayNumber(Datetime::dayNumber(d));
        EXPECT_EQ(back.year, d.year);
        EXPECT_EQ(back.month, d.month);
        EXPECT_EQ(back.day, d.day);
    }
    EXPECT_EQ(Datetime::dayNumber(Date{2024, 3, 1}) - Datetime::dayNumber(Date{2024, 2, 28}), 2);
    EXPECT_EQ(Datetime::dayNumber(Date{2023, 3, 1}) - Datetime::dayNumber(Date{2023, 2, 28}), 1);
    EXPECT_EQ(Datetime::dayNumber(Date{2024, 1, 1}) - Datetime::dayNumber(Date{2023, 12, 31}), 1);
    EXPECT_EQ(Datetime::dayNumber(Date{1, 1, 1}), 0);
}

TEST(Date, InvalidDatesThrow)
{
    JulianDate julian;
    EXPECT_THROW(Datetime::convert(Date{2023, 2, 29}, julian), Datetime::Exceptions::InvalidDate);
    EXPECT_THROW(Datetime::convert(Date{2023, 0, 1}, julian), Datetime::Exceptions::InvalidDate);
    EXPECT_THROW(Datetime::dayNumber(Date{2023, 1, 32}), Datetime::Exceptions::InvalidDate);
    // A valid calendar date whose day number does not fit 32 bits.
    EXPECT_THROW(Datetime::convert(Date{2000000000, 1, 1}, julian), Datetime::Exceptions::InvalidDate);
}

} // namespace
