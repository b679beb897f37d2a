#pragma once
// The written record of a migration in progress, the only thing from which a later run infers
// what a killed run did. It is written, synced and put in place atomically before the first
// rename of the swap, names exactly the files of that run with their stamps, and is deleted as
// the last act of the run; a data directory without it holds no leftovers of the migrator that
// anyone may touch.
//
// Its state decides recovery: while it says Swapping the run had not reached the end of the
// swap and is undone; once it says Committed every migrated file was in place and on disk, and
// only the removal of the run's backups, retired files and session files remains. A file is
// only ever acted on while it still has the stamp recorded, so a file made later under the
// same name is never taken for the run's own.

#include "libs/files/stamp.hpp"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Migration {

// A file of the run: its path below the data directory and its stamp when the record was
// written (none for a folder, or for a file that did not exist then).
struct RecordedFile {
    std::string path;
    std::optional<Files::Stamp> stamp;

    bool operator==(const RecordedFile& other) const { return path == other.path && stamp == other.stamp; }
};

struct MigrationRecord {
    enum class State { Swapping, Committed };

    State state = State::Swapping;
    // Each F swapped for F.new, in swap order, with the stamp of the old F, which F.bak keeps.
    std::vector<RecordedFile> replaced;
    // Each file deleted after success because the new data version no longer has it.
    std::vector<RecordedFile> retired;
    // Each folder emptied after success.
    std::vector<std::string> cleared;
    // What the cleared folders held, each folder before what it holds; only this is deleted.
    std::vector<RecordedFile> content;
};

// The paths that a run of the migrator can name in its record, each given as its components
// below the data directory. A record naming anything else is refused.
struct RecordScope {
    using Test = std::function<bool(const std::vector<std::string>& components)>;
    Test replaceable;
    Test retirable;
    Test clearable;
};

// The record's place in the data directory.
std::string recordFile(const std::string& dataDirectory);

// The record of a run about to swap: the files to replace and to retire with their current
// stamps, and the folders to clear (those that are plain folders) with what they now hold,
// listed without following any link.
MigrationRecord recordOfSwap(const std::vector<std::string>& replaced, const std::vector<std::string>& retired,
                             const std::vector<std::string>& cleared);

// Makes the record the one in the data directory: writes it beside its place, syncs it, renames
// it into place (replacing an older one) and syncs the folder. Every path must lie inside the
// data directory and consist of plain names (no control characters). Throws the file layer's
// exceptions, Exceptions::RecordPathOutside or Exceptions::RecordEntryRefused; a failed write
// leaves the older record, if any, in place.
void writeRecord(const std::string& dataDirectory, const MigrationRecord& record);

// The record of the data directory, none when there is no record. Before anything is changed it
// throws Exceptions::RecordUnreadable when the file is not a complete record in this migrator's
// form, Exceptions::RecordPathOutside when it names a path that is not inside the data
// directory, Exceptions::RecordEntryRefused when it names a path the scope does not allow, or
// one reached through a link, a junction or something else than a folder; the file layer's
// exceptions when it cannot be read.
std::optional<MigrationRecord> readRecord(const std::string& dataDirectory, const RecordScope& scope);

// The state the record of the data directory says; none when there is no record or it cannot
// be read. Never throws.
std::optional<MigrationRecord::State> recordedState(const std::string& dataDirectory);

// Deletes what a write of the record that never completed left; nothing else. Never throws.
void discardUnfinishedRecord(const std::string& dataDirectory);

// Deletes the record and what an unfinished write of it left, then syncs the folder. False when
// either cannot be done (logged by the file layer); never throws.
bool removeRecord(const std::string& dataDirectory);

// True when path is a folder itself, not a link, junction or file. Never throws.
bool isPlainFolder(const std::string& path);

// True when every folder between the data directory and path (both excluded) is a plain folder
// or missing: no link, junction or file stands in the way, so acting on path acts inside the
// data directory. Never throws.
bool reachedThroughFolders(const std::string& dataDirectory, const std::string& path);

// Forces the entries of each existing folder to the storage device, so that renames and
// deletions in it survive a power failure; a folder that does not exist has nothing to sync.
// Calls onFailure with the folder and the reason for each that cannot be synced and returns
// false then. Never throws.
bool syncFolders(const std::vector<std::string>& folders,
                 const std::function<void(const std::string& folder, const std::string& reason)>& onFailure = {});

} // namespace Migration
