#pragma once
// The four-part version number of a migrator, as shown in its banner.

#include <cstdint>
#include <string>

namespace Migration {

struct Version {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    std::uint32_t build = 0;

    // "major.minor", with withPatch ".patch", with withPatch and withBuild ".patch.build" too.
    // Empty when major or minor exceeds 65535, or when major, minor and patch are all 0.
    std::string text(bool withPatch, bool withBuild) const;
};

} // namespace Migration
