#pragma once
// The written record of a migration in progress, the only thing from which a later run infers
// what a killed run did. It is written, synced and put in place atomically before the first
// rename of the swap, names exactly the files of that run, and is deleted as the last act of
// the run; a data directory without it holds no leftovers of the migrator that anyone may touch.
//
// Its state decides recovery: while it says Swapping the run had not reached the end of the
// swap and is undone; once it says Committed every migrated file was in place and on disk, and
// only the removal of the run's backups, retired files and session files remains.

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Migration {

struct MigrationRecord {
    enum class State { Swapping, Committed };

    State state = State::Swapping;
    // Each F swapped for F.new, with F.bak the old version once swapped; swap order.
    std::vector<std::string> replaced;
    // Each file deleted after success because the new data version no longer has it.
    std::vector<std::string> retired;
    // Each folder emptied after success.
    std::vector<std::string> cleared;
};

// The record's place in the data directory.
std::string recordFile(const std::string& dataDirectory);

// Makes the record the one in the data directory: writes it beside its place, syncs it, renames
// it into place (replacing an older one) and syncs the folder. Every path must lie inside the
// data directory (it is written relative to it). Throws the file layer's exceptions, or
// Exceptions::RecordPathOutside; a failed write leaves the older record, if any, in place.
void writeRecord(const std::string& dataDirectory, const MigrationRecord& record);

// The record of the data directory, none when there is no record. Throws
// Exceptions::RecordUnreadable when it is not a complete record in this migrator's form, and
// Exceptions::RecordPathOutside when it names a path that is not inside the data directory;
// the file layer's exceptions when it cannot be read.
std::optional<MigrationRecord> readRecord(const std::string& dataDirectory);

// Deletes what a write of the record that never completed left; nothing else. Never throws.
void discardUnfinishedRecord(const std::string& dataDirectory);

// Deletes the record and what an unfinished write of it left, then syncs the folder. False when
// either cannot be done (logged by the file layer); never throws.
bool removeRecord(const std::string& dataDirectory);

// Forces the entries of each folder to the storage device, so that renames and deletions in it
// survive a power failure. False when one cannot be synced; never throws.
bool syncFolders(const std::set<std::string>& folders);

} // namespace Migration
