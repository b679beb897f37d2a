// The header in POSIX time zones (TZ) and with the kernel's thread identifier (gettid).

#include "libs/log/headergenerator.hpp"
#include "libs/log/threadid.hpp"

#include "libs/log/logtestsupport.hpp"
#include "libs/log/timezone.hpp"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <stdexcept>

namespace {

std::time_t utcTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return timegm(&fields);
}

const std::time_t march5 = utcTime(2021, 3, 5, 8, 5, 7);

std::string localHeader(const char* zone, std::time_t when) {
    LogTest::TimeZone timeZone(zone);
    return Log::DefaultHeaderGenerator(true).header("migrator", Log::Info, when, 4321);
}

} // namespace

TEST(DefaultHeaderGenerator, LocalTimeCarriesTheWholeHourOffset) {
    LogTest::TimeZone oneHourEast("<+01>-1");
    const Log::DefaultHeaderGenerator local(true);
    EXPECT_EQ(local.header("migrator", Log::Info, march5, 4321),
              "[ 5.03.2021 09:05:07+1] [   info] [migrator] ( 4321) ");
    EXPECT_EQ(local.header("migrator", Log::Error, march5, 4321),
              "[ 5.03.2021 09:05:07+1] [  ERROR] [migrator] ( 4321) ");
    EXPECT_EQ(local.header("migrator", Log::Warn, march5, 4321),
              "[ 5.03.2021 09:05:07+1] [Warning] [migrator] ( 4321) ");
}

TEST(DefaultHeaderGenerator, OffsetsAreTruncatedTowardZeroAndSigned) {
    EXPECT_EQ(localHeader("UTC0", march5), "[ 5.03.2021 08:05:07+0] [   info] [migrator] ( 4321) ");
    EXPECT_EQ(localHeader("<-0330>3:30", march5),
              "[ 5.03.2021 04:35:07-3] [   info] [migrator] ( 4321) ");
    EXPECT_EQ(localHeader("<+0545>-5:45", march5),
              "[ 5.03.2021 13:50:07+5] [   info] [migrator] ( 4321) ");
    EXPECT_EQ(localHeader("<-10>10", utcTime(2021, 1, 1, 3, 0, 0)),
              "[31.12.2020 17:00:00-10] [   info] [migrator] ( 4321) ");
}

TEST(DefaultHeaderGenerator, UtcModeHasNoOffset) {
    LogTest::TimeZone oneHourEast("<+01>-1");
    const Log::DefaultHeaderGenerator utc(false);
    EXPECT_EQ(utc.header("migrator", Log::Info, march5, 4321),
              "[ 5.03.2021 08:05:07] [   info] [migrator] ( 4321) ");
    EXPECT_EQ(utc.header("m", Log::Info, utcTime(1969, 12, 31, 23, 59, 59), 1),
              "[31.12.1969 23:59:59] [   info] [       m] (    1) ");
}

TEST(DefaultHeaderGenerator, LocalTimeBefore1970Fails) {
    LogTest::TimeZone utcZone("UTC0");
    try {
        Log::DefaultHeaderGenerator(true).header("m", Log::Info, -1, 1);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Cannot convert dates prior to Jan 1, 1970");
    }
}

TEST(DefaultHeaderGenerator, CurrentHeaderNamesTheKernelThread) {
    const std::string tid = std::to_string(syscall(SYS_gettid));
    EXPECT_EQ(Log::currentThreadId(), static_cast<unsigned long>(syscall(SYS_gettid)));
    const std::string header = Log::DefaultHeaderGenerator(false).header("main", Log::Info);
    EXPECT_NE(header.find("(" + std::string(tid.size() < 5 ? 5 - tid.size() : 0, ' ') + tid + ") "),
              std::string::npos)
        << header;
}
