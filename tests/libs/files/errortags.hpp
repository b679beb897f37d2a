#pragma once
// Checks of the tags that the failures of file system calls carry.

#include "libs/exceptions/errnodescription.hpp"
#include "libs/exceptions/exception.hpp"

#include <boost/exception/get_error_info.hpp>

#include <string>

namespace FilesTest {

// A copy of the tag's value, or the default value when the exception does not carry the tag.
template <class Tag, class E>
typename Tag::value_type tagOf(const E& e)
{
    const auto* value = boost::get_error_info<Tag>(e);
    return value != nullptr ? *value : typename Tag::value_type();
}

template <class Tag, class E>
bool hasTag(const E& e)
{
    return boost::get_error_info<Tag>(e) != nullptr;
}

// Expects errno tags for number: its code and the runtime library's description.
template <class E>
void expectSystemError(const E& e, int number);

} // namespace FilesTest

#include <gtest/gtest.h>

template <class E>
void FilesTest::expectSystemError(const E& e, int number)
{
    EXPECT_EQ(tagOf<::Exceptions::SystemErrorCode_>(e), number);
    EXPECT_EQ(tagOf<::Exceptions::SystemErrorDescription_>(e), ::Exceptions::errnoDescription(number));
}
