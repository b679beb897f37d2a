#include "e2e/defaultdirectory.hpp"
#include "e2e/transcript.hpp"

#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"
#include "support/platform.hpp"

#include <gtest/gtest.h>

namespace {

using TestSupport::ChildResult;
using TestSupport::MigratorSandbox;
using TestSupport::exists;
using TestSupport::writeFile;

using E2e::alreadyMigrated;

// Puts migrated configurations in the registry's and in the default data directory, so that the
// exit code and the log tell which one the program used.
void prepareBoth(const MigratorSandbox& sandbox) {
    writeFile(sandbox.data("conf/main.conf"), "data.version = 13\n");
    writeFile(sandbox.defaultDataDirectory() + "/conf/main.conf", "data.version = 13\n");
}

TEST(RegistryTest, DataDirectoryFromTheRegistry) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    prepareBoth(sandbox);
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(alreadyMigrated, result.out);
    EXPECT_EQ(1, result.exitCode);
    EXPECT_TRUE(exists(sandbox.data("log/migrator.log")));
    EXPECT_FALSE(exists(sandbox.defaultDataDirectory() + "/log"));
}

TEST(RegistryTest, DataDirectoryIsNotCreatedByTheEntry) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    const std::string missing = sandbox.root() + "/elsewhere/data";
    sandbox.setDataDirectoryValue(missing);
    const ChildResult result = sandbox.run({"h"});
    EXPECT_EQ(0, result.exitCode);
    // Only the log's first write creates the folder, with its missing parents.
    EXPECT_EQ(std::vector<std::string>{"log/migrator.log"}, TestSupport::listFiles(missing));
    EXPECT_FALSE(exists(sandbox.defaultDataDirectory()));
}

TEST(RegistryTest, TrailingSeparatorGivesNoDoubledSeparator) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    const std::string separator = TestSupport::pathSeparator();
    sandbox.setDataDirectoryValue(sandbox.dataDirectory() + separator);
    writeFile(sandbox.data("conf/main.conf"), "data.version = 11\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(255, result.exitCode);
    EXPECT_TRUE(exists(sandbox.data("log/migrator.log")));
    writeFile(sandbox.data("conf/main.conf"), "data.version = 12\n[broken\n");
    const ChildResult broken = sandbox.run({"m"});
    EXPECT_NE(std::string::npos, broken.out.find("Filename=" + sandbox.data("conf/main.conf"))) << broken.out;
    EXPECT_EQ(std::string::npos, broken.out.find(separator + separator)) << broken.out;
}

TEST(RegistryTest, RelativeValueIsRelativeToTheWorkingDirectory) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    sandbox.setDataDirectoryValue("relative/data");
    writeFile(sandbox.workingDirectory() + "/relative/data/conf/main.conf", "data.version = 13\n");
    const ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(alreadyMigrated, result.out);
    EXPECT_TRUE(exists(sandbox.workingDirectory() + "/relative/data/log/migrator.log"));
}

TEST(RegistryTest, UnusableValuesFallBackToTheDefaultDirectory) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\Quorlin Software\\Qelt\\Service\\Settings]\n";
    const std::vector<std::string> registries{
        TestSupport::registryText("DataDirectory", ""),
        // REG_EXPAND_SZ "/tmp" in UTF-16LE.
        header + key + "\"DataDirectory\"=hex(2):2f,00,74,00,6d,00,70,00,00,00\n",
        header + key + "\"Other\"=\"" + sandbox.dataDirectory() + "\"\n",
        header + key + "\"DataDirectory\"=dword:00000001\n",
        header + "[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"DataDirectory\"=\"" + sandbox.dataDirectory() + "\"\n",
    };
    for (const std::string& registry : registries)
        E2e::expectDefaultDirectoryUsed(registry);
}

TEST(RegistryTest, MissingRegistryFileAndDefaultDirectoryCreated) {
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    sandbox.removeRegistry();
    const ChildResult result = sandbox.run({"a"});
    EXPECT_EQ(E2e::banner, result.out);
    EXPECT_EQ(0, result.exitCode);
    EXPECT_TRUE(exists(sandbox.defaultDataDirectory() + "/log/migrator.log"));
}

} // namespace
