#pragma once
// Failures that the migrator itself decides on: data it refuses to work on, a directory another
// migration holds, a migration record it cannot trust. Unlike the libraries' reports, each is
// a sentence for the administrator: what() builds it from the tags, and the migrate command
// shows it after "Migration failed: ".
//
//     BOOST_THROW_EXCEPTION(Migration::Exceptions::DirectoryLocked()
//                           << Migration::Exceptions::Directory_(directory));

#include "libs/exceptions/exception.hpp"

#include <cstdint>
#include <string>

namespace Migration::Exceptions {

struct Exception : ::Exceptions::Exception {
    // The sentence of the failure; the library's diagnostic text when the sentence cannot be
    // made. Never throws; valid until the next call on this object.
    const char* what() const noexcept override;

private:
    // The sentence from the tags attached; may throw.
    virtual std::string sentence() const = 0;

    mutable std::string sentence_;
};

// The data version found is below the one the migrator migrates from. Version_, Expected_.
struct DataVersionTooOld : Exception {
    std::string sentence() const override;
};

// Another process holds the lock of the data directory. Directory_.
struct DirectoryLocked : Exception {
    std::string sentence() const override;
};

// A database has a journal or write-ahead log with changes not yet in the file. Filename_,
// Companion_.
struct UnfinishedDatabaseChanges : Exception {
    std::string sentence() const override;
};

// The migration record exists but is not a complete record this migrator wrote. Filename_,
// Reason_.
struct RecordUnreadable : Exception {
    std::string sentence() const override;
};

// The migration record names a path that does not lie inside the data directory. Filename_,
// Path_.
struct RecordPathOutside : Exception {
    std::string sentence() const override;
};

// The migration record names a path that no run of this migrator names there, or one that is
// reached through a link, a junction or a file. Filename_, Path_, Reason_.
struct RecordEntryRefused : Exception {
    std::string sentence() const override;
};

using Companion_ = boost::error_info<struct Companion_Tag, std::string>;
using Directory_ = boost::error_info<struct Directory_Tag, std::string>;
using Expected_ = boost::error_info<struct Expected_Tag, std::uint32_t>;
using Filename_ = boost::error_info<struct Filename_Tag, std::string>;
using Path_ = boost::error_info<struct Path_Tag, std::string>;
using Reason_ = boost::error_info<struct Reason_Tag, std::string>;
using Version_ = boost::error_info<struct Version_Tag, std::uint32_t>;

// A file system that holds databases has no room for the largest copy a step must make there.
// Directory_ (the folder of that database), NeededBytes_, FreeBytes_.
struct NotEnoughSpace : Exception {
    std::string sentence() const override;
};

using NeededBytes_ = boost::error_info<struct NeededBytes_Tag, std::uintmax_t>;
using FreeBytes_ = boost::error_info<struct FreeBytes_Tag, std::uintmax_t>;

} // namespace Migration::Exceptions
