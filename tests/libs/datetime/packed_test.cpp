#include "libs/datetime/date.hpp"
#include "libs/datetime/packed.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

using Datetime::DateTime;
using Datetime::DateTimeParts;

DateTimeParts parts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return DateTimeParts{y, mo, d, h, mi, s, ms};
}

void expectParts(const DateTimeParts& p, const DateTimeParts& q)
{
    EXPECT_EQ(p.year, q.year);
    EXPECT_EQ(p.month, q.month);
    EXPECT_EQ(p.day, q.day);
    EXPECT_EQ(p.hour, q.hour);
    EXPECT_EQ(p.minute, q.minute);
    EXPECT_EQ(p.second, q.second);
    EXPECT_EQ(p.millisecond, q.millisecond);
}

TEST(Packed, DateTimeLayout)
{
    EXPECT_EQ(Datetime::pack(parts(2024, 3, 15, 12, 30, 45, 678)).value, 20240315123045678);
    EXPECT_EQ(Datetime::pack(parts(1, 1, 1)).value, DateTime::Start);
    EXPECT_EQ(Datetime::pack(parts(-99999, 1, 1)).value, DateTime::Min);
    EXPECT_EQ(Datetime::pack(parts(99999, 12, 31, 23, 59, 59, 999)).value, DateTime::Max);
    EXPECT_EQ(Datetime::pack(parts(-5, 6, 7, 8, 9, 10, 11)).value, -50607080910011);

    expectParts(Datetime::unpack(DateTime{20240315123045678}), parts(2024, 3, 15, 12, 30, 45, 678));
    expectParts(Datetime::unpack(DateTime{-50607080910011}), parts(-5, 6, 7, 8, 9, 10, 11));
}

TEST(Packed, InvalidPartsGiveTheSentinel)
{
    EXPECT_NE(Datetime::pack(parts(2000, 2, 29)).value, DateTime::NoValue);
    EXPECT_NE(Datetime::pack(parts(2024, 2, 29)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(parts(1900, 2, 29)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(parts(2023, 2, 29)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(parts(2023, 13, 1)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(parts(2023, 1, 32)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(parts(2023, 1, 1, 24)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(parts(2023, 1, 1, 0, 60)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(parts(2023, 1, 1, 0, 0, 60)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(parts(2023, 1, 1, 0, 0, 0, 1000)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(parts(100000, 1, 1)).value, DateTime::NoValue);
    EXPECT_EQ(Datetime::pack(DateTimeParts()).value, DateTime::NoValue);
    EXPECT_FALSE(Datetime::pack(parts(2023, 2, 29)).hasValue());

    expectParts(Datetime::unpack(DateTime{DateTime::NoValue}), DateTimeParts());
}

TEST(Packed, DateAndTime)
{
    EXPECT_EQ(Datetime::pack(Datetime::Date{2024, 3, 15}).value, 20240315);
    EXPECT_EQ(Datetime::pack(Datetime::Date{1, 1, 1}).value, Datetime::PackedDate::Start);
    EXPECT_EQ(Datetime::pack(Datetime::Date{-99999, 1, 1}).value, Datetime::PackedDate::Min);
    EXPECT_EQ(Datetime::pack(Datetime::Date{99999, 12, 31}).value, Datetime::PackedDate::Max);
    EXPECT_EQ(Datetime::pack(Datetime::Date{2023, 2, 29}).value, Datetime::PackedDate::NoValue);
    EXPECT_EQ(Datetime::pack(Datetime::Date{100000, 1, 1}).value, Datetime::PackedDate::NoValue);

    const Datetime::Date d = Datetime::unpack(Datetime::PackedDate{-20240315});
    EXPECT_EQ(d.year, -2024);
    EXPECT_EQ(d.month, 3);
    EXPECT_EQ(d.day, 15);
    const Datetime::Date none = Datetime::unpack(Datetime::PackedDate{Datetime::PackedDate::NoValue});
    EXPECT_EQ(none.year, 0);
    EXPECT_EQ(none.month, -1);
    EXPECT_EQ(none.day, -1);

    EXPECT_EQ(Datetime::pack(Datetime::TimeParts{12, 30, 45, 678}).value, 123045678);
    EXPECT_EQ(Datetime::pack(Datetime::TimeParts{23, 59, 59, 999}).value, Datetime::PackedTime::Max);
    EXPECT_EQ(Datetime::pack(Datetime::TimeParts{0, 0, 0, 0}).value, Datetime::PackedTime::Start);
    EXPECT_EQ(Datetime::pack(Datetime::TimeParts{24, 0, 0, 0}).value, Datetime::PackedTime::NoValue);
    const Datetime::TimeParts t = Datetime::unpack(Datetime::PackedTime{123045678});
    EXPECT_EQ(t.hour, 12);
    EXPECT_EQ(t.minute, 30);
    EXPECT_EQ(t.second, 45);
    EXPECT_EQ(t.millisecond, 678);
    EXPECT_EQ(Datetime::unpack(Datetime::PackedTime{Datetime::PackedTime::NoValue}).hour, -1);
}

TEST(Packed, ExtremeStoredValuesUnpackWithoutOverflow)
{
    const DateTimeParts p = Datetime::unpack(DateTime{std::numeric_limits<std::int64_t>::min()});
    EXPECT_LT(p.year, 0);
    EXPECT_EQ(Datetime::pack(p).value, DateTime::NoValue);
    EXPECT_LT(Datetime::unpack(Datetime::PackedDate{std::numeric_limits<std::int32_t>::min()}).year, 0);
    EXPECT_GE(Datetime::unpack(Datetime::PackedTime{std::numeric_limits<std::int32_t>::min()}).hour, 0);
}

} // namespace
