#include "support/allusersfolder.hpp"

#include "support/platform.hpp"

namespace TestSupport {

std::string AllUsersFolder::serviceFolder() const {
    return joinPath(path_, "Quorlin Software");
}

std::string AllUsersFolder::defaultDataDirectory() const {
    return joinPath(serviceFolder(), "Qelt/Service");
}

} // namespace TestSupport
