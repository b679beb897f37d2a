#pragma once
// The fixture of the tests of the swap of migrated files: a folder of files, each with an old
// content and a migrated ".new" beside it, registered with a framework double.

#include "support/filecontent.hpp"
#include "support/frameworkdouble.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ReplacementTesting {

class Replacing : public TestSupport::FrameworkDouble {
public:
    explicit Replacing(const std::string& configFile = "none") : FrameworkDouble(configFile) {}
};

class Fixture : public ::testing::Test {
protected:
    // Registers each name with an old content and a migrated ".new" beside it.
    void prepare(Replacing& framework, const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            TestSupport::writeFile(path(name), "old " + name);
            TestSupport::writeFile(path(name) + ".new", "new " + name);
            framework.addFileToReplace(path(name));
        }
    }

    std::string path(const std::string& name) const { return directory / name; }

    void expectUntouched(const std::string& name) {
        EXPECT_EQ("old " + name, TestSupport::readFile(path(name)));
        EXPECT_EQ("new " + name, TestSupport::readFile(path(name) + ".new"));
    }

    TestSupport::TemporaryDirectory directory;
};

} // namespace ReplacementTesting
