#pragma once
// The fixtures of the file operation tests: a temporary folder, and for the deletions the main
// logger writing into it at verbosity debug, so that the warnings of failed deletions show.

#include "libs/files/errortags.hpp"
#include "libs/log/logger.hpp"

#include "support/filecontent.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <string>

namespace FilesTest {

template <class E>
void expectFileNames(const E& e, const std::string& from, const std::string& to)
{
    EXPECT_EQ(tagOf<::Exceptions::SourceFilename_>(e), from);
    EXPECT_EQ(tagOf<::Exceptions::DestinationFilename_>(e), to);
}

class OperationsTest : public ::testing::Test {
protected:
    TestSupport::TemporaryDirectory dir;
};

class DeletionTest : public OperationsTest {
protected:
    void SetUp() override
    {
        Log::Logger& logger = Log::mainLogger();
        savedVerbosity_ = logger.verbosity();
        savedPath_ = logger.path();
        savedOutput_ = logger.output();
        logger.setVerbosity(Log::Debug);
        logger.setFile(dir / "test.log", "");
    }

    void TearDown() override
    {
        Log::Logger& logger = Log::mainLogger();
        logger.setVerbosity(savedVerbosity_);
        logger.setFile(savedOutput_ == Log::Output::File ? savedPath_ : "", "");
    }

    std::string logText() const
    {
        return TestSupport::exists(dir / "test.log") ? TestSupport::readFile(dir / "test.log") : "";
    }

    // A directory outside the tree, full of files, that links inside the tree point at.
    std::string makeOutside()
    {
        const std::string outside = dir / "outside";
        TestSupport::writeFile(outside + "/one", "1");
        TestSupport::writeFile(outside + "/sub/two", "2");
        return outside;
    }

private:
    Log::Verbosity savedVerbosity_ = Log::Normal;
    std::string savedPath_;
    Log::Output savedOutput_ = Log::Output::StdOut;
};

} // namespace FilesTest
