#include "libs/string/builder.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(Builder, WritesValuesLikeADefaultStream)
{
    EXPECT_EQ(String::Builder().str(), "");

    std::ostringstream reference;
    reference << "Migrating " << 42 << ' ' << -7L << ' ' << 2.5 << ' ' << 1e20 << ' ' << true << ' '
              << 18446744073709551615ull << std::string(" done");
    String::Builder builder;
    builder << "Migrating " << 42 << ' ' << -7L << ' ' << 2.5 << ' ' << 1e20 << ' ' << true << ' '
            << 18446744073709551615ull << std::string(" done");
    EXPECT_EQ(builder.str(), reference.str());

    const std::string converted = String::Builder() << "a" << 1 << std::endl;
    EXPECT_EQ(converted, "a1\n");
}

} // namespace
