#include "libs/log/headergenerator.hpp"

#include <gtest/gtest.h>

#include <ctime>

TEST(DefaultHeaderGenerator, ColumnsKeepWidthAndNeverCut) {
    const Log::DefaultHeaderGenerator utc(false);
    const std::time_t november = 1637020740; // 15.11.2021 23:59:00 UTC
    EXPECT_EQ(utc.header("db", static_cast<Log::Level>(7), november, 123456),
              "[15.11.2021 23:59:00] [       ] [      db] (123456) ");
    EXPECT_EQ(utc.header("a-much-longer-name", static_cast<Log::Level>(-1), november, 0),
              "[15.11.2021 23:59:00] [       ] [a-much-longer-name] (    0) ");
}
