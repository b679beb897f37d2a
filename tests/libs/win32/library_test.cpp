#include "libs/win32/library.hpp"

#include "libs/win32/exceptions.hpp"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

TEST(Library, CopiesShareTheModule) {
    Win32::Library library;
    EXPECT_FALSE(library.isOpen());
    EXPECT_EQ(library.handle(), nullptr);
    library.open("libm.so.6");
    ASSERT_TRUE(library.isOpen());
    Win32::Library copy = library;
    library.reset();
    EXPECT_FALSE(library.isOpen());
    EXPECT_TRUE(copy.isOpen());
    EXPECT_NE(copy.handle(), nullptr);
}

TEST(Library, FailedLoadNamesTheLibrary) {
    Win32::Library library;
    library.open("libm.so.6");
    try {
        library.open("/nonexistent/libqelt-missing.so");
        FAIL() << "no exception";
    } catch (const Win32::Exceptions::LoadLib& e) {
        ASSERT_NE(boost::get_error_info<Exceptions::Filename_>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<Exceptions::Filename_>(e), "/nonexistent/libqelt-missing.so");
        ASSERT_NE(boost::get_error_info<Exceptions::Error_>(e), nullptr);
        EXPECT_NE(boost::get_error_info<Exceptions::Error_>(e)->find("libqelt-missing"),
                  std::string::npos);
        EXPECT_NE(boost::get_error_info<Exceptions::WinErrorCode_>(e), nullptr);
    }
    EXPECT_FALSE(library.isOpen()) << "the old module is released before loading";
}
