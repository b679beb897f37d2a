// The registry file that stands in for the Windows registry on POSIX, read by the program.

#include "e2e/defaultdirectory.hpp"

#include <gtest/gtest.h>

namespace {

TEST(RegistryFileTest, AFileThatIsNoRegistryFileFallsBackToTheDefaultDirectory) {
    E2e::expectDefaultDirectoryUsed("not a registry file\n");
}

} // namespace
