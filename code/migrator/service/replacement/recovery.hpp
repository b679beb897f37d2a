#pragma once
// Recovery from a migration that was killed, driven only by the migration record (record.hpp):
// it brings the files that record names to one of the two states an uninterrupted run leaves,
// unmigrated or completely migrated, and touches nothing else. Without a record nothing is
// changed: an F.bak, an F.new or a session file then belongs to someone else, or is a leftover
// that the next swap or step overwrites.

#include "migrator/service/replacement/record.hpp"
#include "migrator/service/replacement/reporter.hpp"

#include <string>

namespace Migration {

// Reads the record of the data directory, checked against the scope, and acts on it, then
// removes it:
// - Swapping: each replaced F whose swap had begun is put back from F.bak. A swap had begun
//   when F.bak still has the stamp F had when the record was written and F is missing (renamed
//   to F.bak) or its F.new is gone (renamed to F); otherwise an F.bak beside F is someone
//   else's. Each revert is reported as the swap reports one. What a begun swap had already put
//   in place of F is overwritten by the backup; the next run's steps write every F.new again.
// - Committed: the recorded content of the cleared folders, the backups and the retired files
//   are deleted as after a successful migration (finishMigration of swap.hpp), each only while
//   it has the stamp recorded.
// The folders changed are synced before the record is removed, so a second kill, or a power
// failure, during recovery finds the record again and converges the same way. A write of a
// record that never completed leaves nothing to undo and is discarded.
// Throws, before changing anything, what readRecord throws when the record cannot be trusted,
// and Exceptions::RecordEntryRefused when a replaced file is missing and its backup is not the
// file the swap made; the file layer's exception when a backup cannot be put back (the record
// stays for the next run).
void recoverInterruptedMigration(Reporter& reporter, const std::string& dataDirectory, const RecordScope& scope);

} // namespace Migration
