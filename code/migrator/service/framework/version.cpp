#include "migrator/service/framework/version.hpp"

namespace Migration {

std::string Version::text(bool withPatch, bool withBuild) const {
    const std::uint32_t largestPart = 65535;
    if (major > largestPart || minor > largestPart || (major == 0 && minor == 0 && patch == 0))
        return std::string();
    std::string result = std::to_string(major) + "." + std::to_string(minor);
    if (withPatch) {
        result += "." + std::to_string(patch);
        if (withBuild)
            result += "." + std::to_string(build);
    }
    return result;
}

} // namespace Migration
