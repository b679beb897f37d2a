#pragma once
// Recovery from a migration that was killed: brings a data directory back to one of the two
// states an uninterrupted run leaves, unmigrated or completely migrated.
//
// A migration changes the service's files only in its final swap: each F becomes F.bak and its
// F.new becomes F, a retired F becomes F.bak, conf/main.conf is swapped last; then the backups
// are removed. So every F.bak of a handled file tells where a killed run stopped: while
// conf/main.conf does not record the new data version the swap was unfinished and the backups are
// the data to keep, afterwards only the removal of the backups was.

#include <string>
#include <vector>

namespace Migration {

// Every file of the data directory that a migration may swap or retire: the configuration, the
// rule files and the databases, one job.db for each subfolder of study except "session".
std::vector<std::string> handledFiles(const std::string& dataDirectory);

// Completes or undoes what a killed migration left. First a missing conf/main.conf is put back
// from its backup. Then, when conf/main.conf records data version 13 or later, the session
// folder is emptied and the backups of the handled files are deleted, as the killed run would
// have done (nothing happens without a backup). Otherwise, when a swap was under way
// (conf/main.conf.new still there), every handled F.bak is put back as F; without one only a
// backup whose file is missing is. Every handled F.new is deleted, so the directory is the one
// before the killed run. Silent; throws the file layer's exception when a backup cannot be put
// back.
void recoverInterruptedMigration(const std::string& dataDirectory);

} // namespace Migration
