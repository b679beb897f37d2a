#pragma once
// The six database steps of the version-13 migration: the institution database is retired, and
// the study, deleted-jobs, message, history record, user and notification databases are each
// copied to their name with ".new" appended and upgraded in the copy. The service's own files
// are never written; every copied database is entered for the final replacement.

#include "libs/datetime/packed.hpp"
#include "libs/db/sqlitedb.hpp"
#include "libs/files/freespace.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace Migration {

class Framework;

// How the steps treat blocked databases; the defaults are those of a normal run.
struct DatabaseOptions {
    // Decides, for every call blocked by another connection, whether to wait and retry. Empty:
    // the layer's default back-off of about five minutes.
    Sqlite::BusyHandler busyHandler;
};

// The upgrade script of a job database (study/jobs.db and each study/<name>/job.db).
extern const char* const jobsScript;
extern const char* const messagesScript;
extern const char* const usersScript;
extern const char* const notificationsScript;
// The upgrade script of the history record database, deleting every event older than cutoff.
std::string historyScript(std::int64_t cutoff);

// The packed date-time 365 days before nowUtc: history events below it are dropped.
std::int64_t historyCutoff(Datetime::DateTime nowUtc);

// An open working copy of a database, made by prepareDatabaseCopy and closed by destroying it.
struct DatabaseCopy {
    std::unique_ptr<Sqlite::Connection> connection;
    // The original is a write-ahead-log database: finishDatabaseCopy makes the copy one again.
    bool writeAheadLog = false;
};

// Makes the working copy of an existing database and opens it ready for an upgrade script.
// Refuses, with Exceptions::UnfinishedDatabaseChanges naming the file, a database with unfinished
// changes: a hot "-journal" (one whose header is not zeroed) or a "-wal" holding frames; an empty
// or zeroed journal, as the engine leaves one after a clean close, is accepted, and a journal that
// cannot be read is refused with the file layer's failure. Nothing is registered or written then.
// Otherwise enters path for the final replacement, copies it to path + ".new" (replacing an older
// copy) while holding a read lock on the original, so no other connection can change it meanwhile,
// and returns the connection on the copy with legacy table renames (references to a renamed table
// are kept as written), foreign keys off, no journal, no syncing and a 12 MiB page cache. While
// the database is locked by another program, a shown progress line names it and the time waited.
// SQLite failures carry the engine's tags and the file name; copy failures the file layer's.
DatabaseCopy prepareDatabaseCopy(Framework& framework, const std::string& path,
                                 const DatabaseOptions& options = DatabaseOptions());

// Gives the finished copy the journal mode of its original back (write-ahead log or rollback
// journal), so the header bytes 18 and 19 are those of the original.
void finishDatabaseCopy(DatabaseCopy& copy);

// Runs an upgrade script on a working copy. Every lookup by a column that the triggers fired by
// the script's DELETE and UPDATE statements make is given a temporary index first, dropped again
// before the script's VACUUM, so the cost stays linear in the data whatever indexes the database
// has. The indexes the script discards itself are dropped first, and a DELETE that starts the
// script is done ahead in batches, so memory stays flat whatever the number of rows (see
// libs/db/discardedwork.hpp). The result is what the script alone makes. Failures carry the
// whole script as SqlQuery_.
void runUpgradeScript(Sqlite::Connection& copy, const std::string& script);

// Refuses, before anything is written, a migration whose database copies cannot fit. Every copy
// exists at its full size before its script runs, while the copies made before it may by then
// have been compacted to a few pages, and VACUUM's temporary copy can be as small: so on each
// file system that holds databases of the steps, each of them must fit in the free space that
// query reports plus the ".new" files left there by an earlier run that the copies made up to
// it overwrite. A larger need is not certain, and a run that would fit is never refused: where
// a size or the free space cannot be read, nothing more is checked on that file system.
// Throws Exceptions::NotEnoughSpace naming the folder of that database, the bytes needed and
// those free.
void checkRoomForDatabaseCopies(const std::string& dataDirectory,
                                const Files::FreeSpaceQuery& query = Files::freeSpace);

// Enters institution/institution.db, when it is a regular file, in the files to delete after a
// successful migration. The file is not opened.
void migrateInstitutions(Framework& framework, const std::string& dataDirectory);

// Upgrades study/jobs.db and the job.db of every subfolder of study except "session" and converts
// study/deleted.db; missing databases are skipped. The session folder, whose transfers cannot
// be resumed by the new version, is entered in the folders to clear after a successful
// migration, so a failed or reverted one leaves it as it was.
void migrateStudies(Framework& framework, const std::string& dataDirectory,
                    const DatabaseOptions& options = DatabaseOptions());

// Runs jobsScript on the copy of the job database at path; nothing when it is not a file.
void migrateJobDatabase(Framework& framework, const std::string& path,
                        const DatabaseOptions& options = DatabaseOptions());

// In one exclusive transaction on the copy of the deleted-jobs database at path: rewrites each
// details.distantInstitution of the old "identifier:number" form as the identifier's text (an
// unreadable one as the empty identifier «#0»), then removes details.localContact from every
// row. Memory use does not grow with the number of rows. Nothing when path is not a file.
void migrateDeletedJobs(Framework& framework, const std::string& path,
                        const DatabaseOptions& options = DatabaseOptions());

// message/message.db with messagesScript.
void migrateMessages(Framework& framework, const std::string& dataDirectory,
                     const DatabaseOptions& options = DatabaseOptions());

// record/rm.db with historyScript of the cutoff of the current UTC time.
void migrateHistoryRecords(Framework& framework, const std::string& dataDirectory,
                           const DatabaseOptions& options = DatabaseOptions());
// record/rm.db with historyScript of the given cutoff.
void migrateHistoryRecords(Framework& framework, const std::string& dataDirectory, std::int64_t cutoff,
                           const DatabaseOptions& options = DatabaseOptions());

// conf/user.db with usersScript.
void migrateUsers(Framework& framework, const std::string& dataDirectory,
                  const DatabaseOptions& options = DatabaseOptions());

// conf/notification.db with notificationsScript.
void migrateNotifications(Framework& framework, const std::string& dataDirectory,
                          const DatabaseOptions& options = DatabaseOptions());

} // namespace Migration
