#include "libs/db/stopwatch.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

#include <optional>
#include <stdexcept>

namespace {

namespace E = Sqlite::Exceptions;

TEST(SqliteStopwatch, ReportsTheElapsedTimeWhenDestroyed)
{
    std::optional<boost::posix_time::time_duration> reported;
    {
        Sqlite::Stopwatch stopwatch([&reported](const boost::posix_time::time_duration& elapsed) {
            reported = elapsed;
        });
        EXPECT_FALSE(stopwatch.elapsed().is_negative());
        EXPECT_FALSE(stopwatch.elapsedText().empty());
    }
    ASSERT_TRUE(reported.has_value());
    EXPECT_FALSE(reported->is_special());
    EXPECT_FALSE(reported->is_negative());

    EXPECT_NO_THROW(Sqlite::Stopwatch([](const boost::posix_time::time_duration&) {
        throw std::runtime_error("callback failed");
    }));
    EXPECT_NO_THROW(Sqlite::Stopwatch());
}

TEST(SqliteStopwatch, ElapsedTimeGoesOnlyToBusyAndLockedOnce)
{
    const Sqlite::Stopwatch stopwatch;

    E::Busy busy;
    busy << E::StatusCode_(5);
    Sqlite::attachElapsedTime(busy, stopwatch);
    ASSERT_NE(boost::get_error_info<E::ElapsedTime_>(busy), nullptr);
    EXPECT_FALSE(boost::get_error_info<E::ElapsedTime_>(busy)->empty());

    E::Locked locked;
    locked << E::StatusCode_(6) << E::ElapsedTime_("first pass");
    Sqlite::attachElapsedTime(locked, stopwatch);
    EXPECT_EQ(*boost::get_error_info<E::ElapsedTime_>(locked), "first pass");

    E::Error error;
    error << E::StatusCode_(1);
    Sqlite::attachElapsedTime(error, stopwatch);
    EXPECT_EQ(boost::get_error_info<E::ElapsedTime_>(error), nullptr);

    E::NoConnection noCode;
    Sqlite::attachElapsedTime(noCode, stopwatch);
    EXPECT_EQ(boost::get_error_info<E::ElapsedTime_>(noCode), nullptr);
}

} // namespace
