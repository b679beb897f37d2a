#include "migrator/service/datalock.hpp"

#include <stdexcept>

namespace Migration {

DataLock::DataLock(const std::string& directory) {
    const DirectoryLock::Attempt attempt = DirectoryLock::tryLock(directory);
    if (attempt.outcome == DirectoryLock::Outcome::HeldElsewhere)
        throw std::runtime_error("Another migration of the data directory '" + directory + "' is running");
    handle_ = attempt.handle;
}

DataLock::~DataLock() {
    if (held())
        DirectoryLock::release(handle_);
}

} // namespace Migration
