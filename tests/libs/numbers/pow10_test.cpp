#include "libs/numbers/pow10.hpp"

#include "libs/numbers/exceptions.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

#include <limits>

namespace {

TEST(Pow10, EveryExponentUpToNineteenAndTheFailureAbove)
{
    std::uint64_t expected = 1;
    for (unsigned exponent = 0; exponent < 20; ++exponent) {
        EXPECT_EQ(Number::pow10(exponent), expected) << exponent;
        if (exponent < 19)
            expected *= 10;
    }
    EXPECT_EQ(Number::pow10(19), 10000000000000000000u);

    for (unsigned exponent : {20u, 21u, std::numeric_limits<unsigned>::max()}) {
        try {
            Number::pow10(exponent);
            ADD_FAILURE() << exponent << " accepted";
        }
        catch (const Number::Exceptions::Pow10ExponentOutOfRange& e) {
            const auto* value = boost::get_error_info<Number::Exceptions::Value_>(e);
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(*value, static_cast<std::int64_t>(exponent));
        }
    }
}

} // namespace
