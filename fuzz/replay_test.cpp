// Runs every committed seed and regression input of each fuzz target through its target
// function, so that a finding once fixed stays fixed. A broken promise aborts the test.
#include "targets/targets.hpp"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Target = int (*)(const std::uint8_t*, std::size_t);

std::vector<boost::filesystem::path> inputsOf(const std::string& name)
{
    std::vector<boost::filesystem::path> inputs;
    for (const char* kind : {"corpus", "regressions"}) {
        const boost::filesystem::path folder = boost::filesystem::path(QELT_FUZZ_INPUTS) / kind / name;
        if (!boost::filesystem::is_directory(folder))
            continue;
        for (const auto& entry : boost::filesystem::directory_iterator(folder))
            if (boost::filesystem::is_regular_file(entry.path()))
                inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::string contentOf(const boost::filesystem::path& path)
{
    std::ifstream stream(path.string(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

// Returns the number of inputs replayed.
std::size_t replay(const std::string& name, Target target)
{
    const std::vector<boost::filesystem::path> inputs = inputsOf(name);
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.string());
        const std::string content = contentOf(input);
        EXPECT_EQ(target(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()), 0);
    }
    return inputs.size();
}

TEST(FuzzReplay, Integer) { EXPECT_GT(replay("integer", &Fuzz::integer), 0u); }
TEST(FuzzReplay, Unicode) { EXPECT_GT(replay("unicode", &Fuzz::unicode), 0u); }
TEST(FuzzReplay, InstitutionId) { EXPECT_GT(replay("institutionid", &Fuzz::institutionId), 0u); }
TEST(FuzzReplay, IniFile) { EXPECT_GT(replay("inifile", &Fuzz::iniFile), 0u); }
TEST(FuzzReplay, RegistryFile) { EXPECT_GT(replay("registryfile", &Fuzz::registryFile), 0u); }
TEST(FuzzReplay, SendingRules) { EXPECT_GT(replay("sendingrules", &Fuzz::sendingRules), 0u); }
TEST(FuzzReplay, StoringRules) { EXPECT_GT(replay("storingrules", &Fuzz::storingRules), 0u); }

} // namespace
