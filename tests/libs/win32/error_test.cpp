#include "libs/win32/error.hpp"

#include "libs/win32/exceptions.hpp"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <cerrno>

TEST(ErrorDescription, GivesTheLibraryTextOnOneLine) {
    EXPECT_EQ(Win32::errorDescription(ENOENT), "No such file or directory");
    EXPECT_EQ(Win32::errorDescription(EACCES), "Permission denied");
    EXPECT_EQ(Win32::errorDescription(0), "Success");
    EXPECT_EQ(Win32::errorDescription(99999), "");
    EXPECT_EQ(Win32::errorDescription(0xFFFFFFFFu), "");
}

TEST(ErrorCode, AttachesTheCodeAndItsText) {
    errno = EEXIST;
    const Win32::ErrorCode last;
    EXPECT_EQ(last.value(), static_cast<std::uint32_t>(EEXIST));
    try {
        BOOST_THROW_EXCEPTION(Win32::Exceptions::LoadLib() << Win32::ErrorCode(ENOENT));
    } catch (const Win32::Exceptions::LoadLib& e) {
        ASSERT_NE(boost::get_error_info<Exceptions::WinErrorCode_>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<Exceptions::WinErrorCode_>(e),
                  static_cast<unsigned>(ENOENT));
        ASSERT_NE(boost::get_error_info<Exceptions::Error_>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<Exceptions::Error_>(e), "No such file or directory");
    }
}
