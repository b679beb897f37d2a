#pragma once
// Recovery from a migration that was killed, driven only by the migration record (record.hpp):
// it brings the files that record names to one of the two states an uninterrupted run leaves,
// unmigrated or completely migrated, and touches nothing else. Without a record nothing is
// changed: an F.bak, an F.new or a session file then belongs to someone else, or is a leftover
// that the next swap or step overwrites.

#include <string>

namespace Migration {

class Framework;

// Reads the record of the data directory and acts on it, then removes it:
// - Swapping: each replaced F whose swap had begun is put back from F.bak. A swap had begun
//   when F is missing (renamed to F.bak) or its F.new is gone (renamed to F); while F and F.new
//   both exist the swap had not reached F, and an F.bak beside them is someone else's. Each
//   revert is reported as the swap reports one. The F.new files stay for the next run's steps.
// - Committed: the session folders are emptied and the backups and retired files deleted, with
//   the reports and warnings of the removal after a successful migration.
// The folders changed are synced before the record is removed, so a second kill, or a power
// failure, during recovery finds the record again and converges the same way. A write of a
// record that never completed leaves nothing to undo and is discarded.
// Throws Exceptions::RecordUnreadable or Exceptions::RecordPathOutside before changing anything
// when the record cannot be trusted, and the file layer's exception when a backup cannot be put
// back (the record stays for the next run).
void recoverInterruptedMigration(Framework& framework, const std::string& dataDirectory);

} // namespace Migration
