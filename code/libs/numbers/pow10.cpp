#include "libs/numbers/pow10.hpp"

#include "libs/numbers/exceptions.hpp"

#include <array>

namespace Number {

namespace {

constexpr std::array<std::uint64_t, 20> makePowersOfTen()
{
    std::array<std::uint64_t, 20> powers{};
    std::uint64_t power = 1;
    for (std::size_t i = 0; i < powers.size(); ++i) {
        powers[i] = power;
        if (i + 1 < powers.size())
            power *= 10;
    }
    return powers;
}

constexpr std::array<std::uint64_t, 20> powersOfTen = makePowersOfTen();

} // namespace

std::uint64_t pow10(unsigned exponent)
{
    if (exponent >= powersOfTen.size())
        BOOST_THROW_EXCEPTION(Exceptions::Pow10ExponentOutOfRange() << Exceptions::Value_(exponent));
    return powersOfTen[exponent];
}

} // namespace Number
