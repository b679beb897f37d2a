#pragma once
// The check that the migrator program falls back to the default data directory for a registry
// whose settings name no usable data directory.

#include "e2e/transcript.hpp"

#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"

#include <gtest/gtest.h>

#include <string>

namespace E2e {

// Puts migrated configurations in the sandbox's and in the default data directory, gives the
// registry this text and expects "m" to use the default directory (exit code and log).
inline void expectDefaultDirectoryUsed(const std::string& registry) {
    const TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    TestSupport::writeFile(sandbox.defaultDataDirectory() + "/conf/main.conf", "data.version = 13\n");
    sandbox.writeRegistry(registry);
    TestSupport::writeFile(sandbox.data("conf/main.conf"), "data.version = 13\n");
    const TestSupport::ChildResult result = sandbox.run({"m"});
    EXPECT_EQ(alreadyMigrated, result.out) << registry;
    EXPECT_EQ(1, result.exitCode) << registry;
    EXPECT_TRUE(TestSupport::exists(sandbox.defaultDataDirectory() + "/log/migrator.log")) << registry;
    EXPECT_FALSE(TestSupport::exists(sandbox.data("log"))) << registry;
}

} // namespace E2e
