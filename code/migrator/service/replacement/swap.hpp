#pragma once
// The all-or-nothing replacement at the end of a migration: every migrated F.new takes the place
// of F, the old F is kept as F.bak until the migration reports success, and the first failure
// undoes every swap made. Before the first rename the migration record (record.hpp) names the
// files of the run, and it is marked committed once every new file is in place and on disk, so
// that a killed run can be undone or finished from the record alone (recovery.hpp). After
// success the backups, the retired files and what the cleared folders held are deleted, and the
// record removed last.

#include "migrator/service/replacement/record.hpp"
#include "migrator/service/replacement/reporter.hpp"

#include <set>
#include <string>
#include <vector>

namespace Migration {

// One rename that creates the destination's folder when missing and replaces an existing
// destination file; a failure is reported as the error "Renaming the file '...' to '...' failed.
// Details: ..." and gives false. Never throws.
bool renameFile(Reporter& reporter, const std::string& from, const std::string& to);

// The folders that are plain folders; one that is a link or a file is reported as a warning and
// left out, one that does not exist is left out silently.
std::vector<std::string> plainFolders(Reporter& reporter, const std::set<std::string>& folders);

// Swaps each file of record.replaced, in its order, for its F.new: gives every F.new the
// attributes of F and flushes it, writes
// the record in recordDirectory (none when empty), renames F to F.bak and F.new to F, flushes
// the changed folders and writes the record again as Committed. Each F.bak made is added to
// backups. On the first failure every rename made is undone (latest first), the record is
// removed when the undo was complete, and false is returned; each failure is reported. Files to
// retire and folders to clear are only named in the record, never touched here.
bool swapFiles(Reporter& reporter, MigrationRecord& record, const std::string& recordDirectory,
               std::set<std::string>& backups);

// What follows a successful swap, for the files given and what the record names: empties the
// record's folders of what they held when it was written, then deletes each file in ascending
// order with the report "Deleting file '...'.". A file the record names is deleted only while it
// has the stamp recorded; one that changed is kept with a warning, and so is one reached from
// dataDirectory through a link. Each file that cannot be deleted gives the warning "Failed to
// delete file '...'.". Finally the changed folders are synced and the record of dataDirectory
// (none when it is empty) removed: leftovers are the administrator's, never a later run's to
// delete. Never throws.
void finishMigration(Reporter& reporter, const MigrationRecord& record, const std::set<std::string>& files,
                     const std::string& dataDirectory);

} // namespace Migration
