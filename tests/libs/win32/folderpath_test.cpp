#include "libs/win32/file/folderpath.hpp"

#include "libs/log/logger.hpp"
#include "libs/win32/exceptions.hpp"
#include "libs/win32/win32testsupport.hpp"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <iterator>

using Win32Test::Environment;
using Win32Test::TempFolder;

TEST(AllUsersAppDataPath, IsTheConfiguredFolderCreatedWhenMissing) {
    TempFolder folder;
    const std::string wanted = folder / "common/app data";
    Environment environment("QELT_COMMON_APPDATA", wanted.c_str());
    EXPECT_EQ(Win32::Files::allUsersAppDataPath(), wanted);
    EXPECT_TRUE(boost::filesystem::is_directory(wanted));
    EXPECT_EQ(Win32::Files::allUsersAppDataPath(), wanted) << "an existing folder is fine";
}

TEST(AllUsersAppDataPath, DefaultsToVarLib) {
    {
        Environment environment("QELT_COMMON_APPDATA", nullptr);
        EXPECT_EQ(Win32::Files::allUsersAppDataPath(), "/var/lib");
    }
    Environment environment("QELT_COMMON_APPDATA", "");
    EXPECT_EQ(Win32::Files::allUsersAppDataPath(), "/var/lib");
}

TEST(AllUsersAppDataPath, FailureIsLoggedAndGivesTheEmptyPath) {
    TempFolder folder;
    Win32Test::writeFile(folder / "file", "x");
    const std::string below = folder / "file/sub";
    Environment environment("QELT_COMMON_APPDATA", below.c_str());

    Log::Logger saved;
    Log::mainLogger().setFile("main.log", folder.path());
    Log::mainLogger().setVerbosity(Log::Debug);
    EXPECT_EQ(Win32::Files::allUsersAppDataPath(), "");
    Log::mainLogger().copyFrom(saved);

    std::ifstream in(folder / "main.log", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("] [Warning] ["), std::string::npos) << text;
    EXPECT_NE(text.find(") get all useres app data path: "), std::string::npos) << text;
}

TEST(FolderPath, OnlyCreatesWithTheCreateFlag) {
    TempFolder folder;
    const std::string wanted = folder / "later";
    Environment environment("QELT_COMMON_APPDATA", wanted.c_str());
    EXPECT_EQ(Win32::Files::folderPath(Win32::Files::Folder::CommonAppData), wanted);
    EXPECT_FALSE(boost::filesystem::exists(wanted));
}

TEST(FolderPath, UnknownFolderThrowsWithItsIdentifier) {
    for (int folder : {0x1a, 0x23 + 1, 0x10023}) {
        try {
            Win32::Files::folderPath(folder);
            FAIL() << folder;
        } catch (const Win32::Files::Exceptions::ShGetFolderPath& e) {
            ASSERT_NE(boost::get_error_info<Win32::Files::Exceptions::FolderType_>(e), nullptr);
            EXPECT_EQ(*boost::get_error_info<Win32::Files::Exceptions::FolderType_>(e), folder);
            EXPECT_NE(boost::get_error_info<Exceptions::WinErrorCode_>(e), nullptr);
        }
    }
}
