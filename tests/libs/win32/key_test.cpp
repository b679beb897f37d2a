#include "libs/win32/registry/key.hpp"

#include <gtest/gtest.h>

using namespace Win32::Registry;

TEST(KeyName, JoinsRootPathAndValue) {
    const std::string path = "Software\\Quorlin Software\\Qelt\\Service\\Settings";
    EXPECT_EQ(keyName(LocalMachine, path, "DataDirectory"),
              "HKEY_LOCAL_MACHINE\\Software\\Quorlin Software\\Qelt\\Service\\Settings\\DataDirectory");
    EXPECT_EQ(keyName(LocalMachine, path, ""),
              "HKEY_LOCAL_MACHINE\\Software\\Quorlin Software\\Qelt\\Service\\Settings");
    EXPECT_EQ(keyName(LocalMachine, "", ""), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(keyName(LocalMachine, "", "v"), "HKEY_LOCAL_MACHINE\\v");
}

TEST(RootName, NamesPredefinedRootsAndHexForOthers) {
    EXPECT_EQ(rootName(ClassesRoot), "HKEY_CLASSES_ROOT");
    EXPECT_EQ(rootName(CurrentUser), "HKEY_CURRENT_USER");
    EXPECT_EQ(rootName(Users), "HKEY_USERS");
    EXPECT_EQ(rootName(PerformanceData), "HKEY_PERFORMANCE_DATA");
    EXPECT_EQ(rootName(CurrentConfig), "HKEY_CURRENT_CONFIG");
    EXPECT_EQ(rootName(PerformanceText), "HKEY_PERFORMANCE_TEXT");
    EXPECT_EQ(rootName(PerformanceNlsText), "HKEY_PERFORMANCE_NLSTEXT");
    EXPECT_EQ(rootName(static_cast<Root>(0x1A2bu)), "1A2B");
    EXPECT_EQ(rootName(NoRoot), "0");
    EXPECT_EQ(keyName(NoRoot, "a", ""), "0\\a");
}
