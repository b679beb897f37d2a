#include "migrator/service/replacement/datalock.hpp"

#include "migrator/service/exceptions/exceptions.hpp"

namespace Migration {

DataLock::DataLock(const std::string& directory) {
    const DirectoryLock::Attempt attempt = DirectoryLock::tryLock(directory);
    if (attempt.outcome == DirectoryLock::Outcome::HeldElsewhere)
        BOOST_THROW_EXCEPTION(Exceptions::DirectoryLocked() << Exceptions::Directory_(directory));
    handle_ = attempt.handle;
}

DataLock::~DataLock() {
    if (held())
        DirectoryLock::release(handle_);
}

} // namespace Migration
