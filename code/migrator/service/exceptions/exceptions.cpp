#include "migrator/service/exceptions/exceptions.hpp"

#include <boost/exception/get_error_info.hpp>

#include <type_traits>

namespace Migration::Exceptions {

namespace {

// The text of the tag, empty when it is not attached.
template <class Tag>
std::string textOf(const Exception& e) {
    const auto* value = boost::get_error_info<Tag>(e);
    if (!value)
        return std::string();
    if constexpr (std::is_same_v<typename Tag::value_type, std::string>)
        return *value;
    else
        return std::to_string(*value);
}

} // namespace

const char* Exception::what() const noexcept {
    try {
        sentence_ = sentence();
        return sentence_.c_str();
    } catch (...) {
        return ::Exceptions::Exception::what();
    }
}

std::string DataVersionTooOld::sentence() const {
    return "Service data version " + textOf<Version_>(*this) + " is too old for this migrator, expected at least " +
           textOf<Expected_>(*this);
}

std::string DirectoryLocked::sentence() const {
    return "Another migration of the data directory '" + textOf<Directory_>(*this) + "' is running";
}

std::string UnfinishedDatabaseChanges::sentence() const {
    return "The database '" + textOf<Filename_>(*this) + "' has unfinished changes in '" +
           textOf<Companion_>(*this) +
           "'. Start the service and stop it once so that it completes them, then run the migration again.";
}

std::string RecordUnreadable::sentence() const {
    return "The migration record '" + textOf<Filename_>(*this) + "' cannot be used: " + textOf<Reason_>(*this);
}

std::string RecordPathOutside::sentence() const {
    return "The migration record '" + textOf<Filename_>(*this) + "' names '" + textOf<Path_>(*this) +
           "', which is not inside the data directory";
}

std::string RecordEntryRefused::sentence() const {
    return "The migration record '" + textOf<Filename_>(*this) + "' names '" + textOf<Path_>(*this) + "', which " +
           textOf<Reason_>(*this);
}

std::string NotEnoughSpace::sentence() const {
    return "Not enough free space in '" + textOf<Directory_>(*this) + "': the migration needs at least " +
           textOf<NeededBytes_>(*this) + " bytes there, " + textOf<FreeBytes_>(*this) + " bytes are free.";
}

} // namespace Migration::Exceptions
