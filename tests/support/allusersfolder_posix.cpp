#include "support/allusersfolder.hpp"

#include "support/platform.hpp"

namespace TestSupport {

AllUsersFolder::AllUsersFolder(const std::string& sandboxRoot) : path_(joinPath(sandboxRoot, "appdata")) {}

AllUsersFolder::~AllUsersFolder() = default;

void AllUsersFolder::addTo(std::map<std::string, std::string>& environment) const {
    environment["QELT_COMMON_APPDATA"] = path_;
}

} // namespace TestSupport
