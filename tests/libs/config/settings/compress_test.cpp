#include "libs/config/settings/compress.hpp"

#include <gtest/gtest.h>

namespace {

TEST(CompressType, NamesAndReading)
{
    EXPECT_EQ(Compress::Type::toText(Compress::Type::none), "none");
    EXPECT_EQ(Compress::Type::toText(Compress::Type::gzip), "gzip");
    EXPECT_EQ(Compress::Type::toText(Compress::Type::bzip2), "bzip2");
    EXPECT_EQ(Compress::Type::toText(static_cast<Compress::Type::Enum>(3)), "invalid");
    EXPECT_EQ(Compress::Type::toText(static_cast<Compress::Type::Enum>(-1)), "invalid");

    EXPECT_EQ(Compress::Type::fromText("bzip2"), Compress::Type::bzip2);
    EXPECT_EQ(Compress::Type::fromText("BZip2"), Compress::Type::bzip2);
    EXPECT_EQ(Compress::Type::fromText("GZIP"), Compress::Type::gzip);
    for (const char* text : {"none", "", " gzip", "gzip2", "zip", "invalid", "1"})
        EXPECT_EQ(Compress::Type::fromText(text), Compress::Type::none) << text;
}

} // namespace
