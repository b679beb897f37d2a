#include "libs/exceptions/exception.hpp"
#include "libs/files/exceptions.hpp"
#include "libs/db/exceptions.hpp"
#include "libs/config/settings/exceptions.hpp"

#include <gtest/gtest.h>

#include <boost/exception_ptr.hpp>

#include <string>

namespace {

const std::string thisFile = __FILE__;

std::string textOf(const std::exception& e)
{
    return e.what();
}


int throwNoTag()
{
    BOOST_THROW_EXCEPTION(Config::Exceptions::VersionNotFound());
}

} // namespace

TEST(ExceptionText, NoTagGivesLocationAndTypeOnly)
{
    int line = __LINE__ - 6;
    try {
        throwNoTag();
        FAIL();
    } catch (const std::exception& e) {
        EXPECT_EQ(textOf(e), thisFile + "(" + std::to_string(line) + "): Throw in function int {anonymous}::throwNoTag()"
                  "|boost::wrapexcept<Config::Exceptions::VersionNotFound>");
    }
}
