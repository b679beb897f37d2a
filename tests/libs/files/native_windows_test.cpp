// The file calls against the real Windows interfaces.

#include "libs/files/operations.hpp"

#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

namespace {

// Windows names are UTF-16: a name that is not UTF-8 cannot be handed to the system, and the
// failure says so rather than that the file is missing.
TEST(NativeFiles, ANameThatIsNotUtf8IsReportedAsSuch) {
    TestSupport::TemporaryDirectory folder;
    const std::string name = folder.path() + "\\latin1-\xE9.db";
    for (const auto& call : {&Files::syncFile, &Files::syncDirectory}) {
        try {
            call(name);
            ADD_FAILURE() << "synced a name that is not UTF-8";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find("SystemErrorCode=" + std::to_string(EILSEQ)))
                << e.what();
        }
    }
}

} // namespace
