#include "migrator/service/databasesteps.hpp"

#include "libs/datetime/timepoint.hpp"
#include "libs/files/directoryiterator.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"
#include "migrator/service/framework.hpp"
#include "shared/institution/id.hpp"

#include <boost/filesystem/operations.hpp>
#include <sqlite3.h>

#include <stdexcept>

namespace Migration {

const char* const jobsScript =
    "BEGIN TRANSACTION;DROP TRIGGER IF EXISTS onJobDelete;ALTER TABLE jobs RENAME TO tmp;CREATE TABLE jobs(jobId "
    "INTEGER PRIMARY KEY NOT NULL,studyBundleId BLOB NOT NULL,distantInstitution INTEGER NOT NULL,incoming BOOLEAN "
    "NOT NULL,comment TEXT,created INTEGER,urgent INTEGER,patientId TEXT,patientName TEXT,patientBirthdate "
    "TEXT,patientSex TEXT,studyId TEXT,studyInstanceUid TEXT,studyDescription TEXT,referringPhysician "
    "TEXT,accessionNumber TEXT,studyDate INTEGER,studyTime INTEGER,modalitiesInStudy TEXT);INSERT INTO jobs SELECT "
    "jobId,studyBundleId,distantInstitution,incoming,comment,created,urgent,patientId,patientName,patientBirthdate,"
    "patientSex,studyId,studyInstanceUid,studyDescription,referringPhysician,accessionNumber,studyDate,studyTime,"
    "modalitiesInStudy FROM tmp;DROP TABLE tmp;CREATE TRIGGER onJobDelete AFTER DELETE ON jobs BEGIN DELETE FROM "
    "series WHERE series.jobId = old.jobId; DELETE FROM attachments WHERE attachments.jobId = old.jobId; DELETE "
    "FROM jobsStatus WHERE jobsStatus.jobId = old.jobId; END;COMMIT;VACUUM;ANALYZE;";

const char* const messagesScript =
    "BEGIN TRANSACTION;DROP TRIGGER IF EXISTS OnDeleteInstitutionTrigger;DROP TRIGGER IF EXISTS "
    "OnDeleteMessageTrigger;DROP TABLE IF EXISTS Contacts;DROP TABLE IF EXISTS Signatures;ALTER TABLE Messages "
    "RENAME TO tmp;CREATE TABLE Messages(MessageId INTEGER PRIMARY KEY,Type TEXT,DateTime INTEGER,Preview TEXT "
    "COLLATE NOCASE,DistantInstitutionId INTEGER,Incoming BOOLEAN,Marker INTEGER,Unread BOOLEAN,Trashed "
    "BOOLEAN,Sent BOOLEAN,LastUpdate INTEGER,RepliedMessageId INTEGER);INSERT INTO Messages SELECT "
    "MessageId,Type,DateTime,Preview,DistantInstitutionId,Incoming,Marker,Unread,Trashed,Sent,LastUpdate,"
    "RepliedMessageId FROM tmp;DROP TABLE tmp;CREATE TRIGGER OnDeleteMessageTrigger AFTER DELETE ON Messages BEGIN "
    "DELETE FROM SenderMessageIds WHERE MessageId=old.MessageId;DELETE FROM Texts WHERE "
    "MessageId=old.MessageId;DELETE FROM Requests WHERE MessageId=old.MessageId;DELETE FROM Replies WHERE "
    "MessageId=old.MessageId;END;COMMIT;VACUUM;ANALYZE;";

const char* const usersScript =
    "BEGIN TRANSACTION;UPDATE Users SET Details=json_remove(Details, '$.contactId', '$.accessNoContact', "
    "'$.accessAnyContact');COMMIT;VACUUM;ANALYZE;";

const char* const notificationsScript =
    "BEGIN TRANSACTION;DROP TRIGGER IF EXISTS OnDeleteNotificationTrigger;ALTER TABLE MessageFilters RENAME TO "
    "tmp;CREATE TABLE MessageFilters (NotificationRuleId INTEGER PRIMARY KEY,DistantInstitutionId "
    "INTEGER,UserMessageType INTEGER);INSERT INTO MessageFilters SELECT "
    "NotificationRuleId,DistantInstitutionId,UserMessageType FROM tmp;DROP TABLE tmp;ALTER TABLE StudyFilters "
    "RENAME TO tmp;CREATE TABLE StudyFilters (NotificationRuleId INTEGER PRIMARY KEY,DistantInstitutionId "
    "INTEGER,Modalities TEXT,Description TEXT,Comment TEXT,StudyEventType TEXT,User INTEGER);INSERT INTO "
    "StudyFilters SELECT NotificationRuleId,DistantInstitutionId,Modalities,Description,Comment,StudyEventType,User "
    "FROM tmp;DROP TABLE tmp;CREATE TRIGGER OnDeleteNotificationTrigger AFTER DELETE ON NotificationRules BEGIN "
    "DELETE FROM StudyFilters WHERE NotificationRuleId=old.NotificationRuleId;DELETE FROM MessageFilters WHERE "
    "NotificationRuleId=old.NotificationRuleId;END;COMMIT;VACUUM;ANALYZE;";

namespace {

const char* const historyScriptHead = "BEGIN TRANSACTION;DELETE FROM EventRecord WHERE timestamp < ";
const char* const historyScriptTail =
    ";DROP TRIGGER IF EXISTS AfterDeleteEvent;ALTER TABLE EventRecord RENAME TO tmp;CREATE TABLE EventRecord(id "
    "INTEGER PRIMARY KEY NOT NULL, patientId INTEGER NOT NULL, studyId INTEGER NOT NULL, distantInstitutionId "
    "INTEGER NOT NULL, userId INTEGER NOT NULL, timestamp INTEGER NOT NULL, type INTEGER NOT NULL, paramInt INTEGER "
    "NOT NULL, paramString TEXT COLLATE NOCASE, seriesGroupId INTEGER);INSERT INTO EventRecord SELECT "
    "id,patientId,studyId,distantInstitutionId,userId,timestamp,type,paramInt,paramString,seriesGroupId FROM "
    "tmp;DROP TABLE tmp;CREATE INDEX EpatientIdIdx ON EventRecord(patientId);CREATE INDEX EseriesGroupIdIdx ON "
    "EventRecord(seriesGroupId);CREATE INDEX EstudyIdIdx ON EventRecord(studyId);CREATE INDEX EtimestampIdx ON "
    "EventRecord(timestamp);CREATE TRIGGER AfterDeleteEvent AFTER DELETE ON EventRecord BEGIN DELETE FROM "
    "AttachmentLinkTableRecord WHERE eventId = old.id; END;COMMIT;VACUUM;ANALYZE;";

// Set on every working copy before its upgrade. A renamed table keeps the references that
// other tables, views and triggers make to its old name, so they name the rebuilt table
// afterwards; the copy is thrown away on any failure, so it needs no journal and no syncing.
// The engine sizes the page cache, VACUUM's copy and the index sorter by the cache size, so the
// process holds about three times it at the peak: 12 MiB keeps the migrator below 64 MiB
// whatever the database sizes.
const char* const workingCopySettings =
    "PRAGMA legacy_alter_table=ON;PRAGMA foreign_keys=OFF;PRAGMA journal_mode=OFF;PRAGMA synchronous=OFF;"
    "PRAGMA cache_size=-12288;";

// A shared lock on the original for as long as the transaction is open.
const char* const readLock = "BEGIN TRANSACTION;SELECT count(*) FROM sqlite_master;";

const char* const selectOldInstitutions =
    "SELECT studyBundleUid, json_extract(details, '$.details.distantInstitution') i FROM deletedJobs WHERE i LIKE "
    "'%:%'";
const char* const updateInstitution =
    "UPDATE deletedJobs SET details=json_replace(details, '$.details.distantInstitution', ?) WHERE "
    "studyBundleUid=?";
const char* const removeLocalContact =
    "UPDATE deletedJobs SET details=json_remove(details, '$.details.localContact')";

// The conversions are collected on disk, not in memory, until the query over deletedJobs has
// finished: the table is not changed while it is being read.
const char* const createConversions = "CREATE TEMP TABLE institutionConversion(uid TEXT, institution TEXT);";
const char* const insertConversion = "INSERT INTO temp.institutionConversion VALUES(?,?)";
const char* const selectConversions = "SELECT uid, institution FROM temp.institutionConversion ORDER BY rowid";
const char* const dropConversions = "DROP TABLE temp.institutionConversion;";

constexpr auto workingCopyFlags = static_cast<Files::Flags::Enum>(0x893);

void refuseUnfinishedChanges(const std::string& path)
{
    for (const char* suffix : {"-wal", "-journal"}) {
        const std::string companion = path + suffix;
        boost::system::error_code error;
        auto size = boost::filesystem::file_size(companion, error);
        if (!error && size > 0)
            throw std::runtime_error("The database '" + path + "' has unfinished changes in '" + companion +
                                     "'. Start the service and stop it once so that it completes them, then "
                                     "run the migration again.");
    }
}

void useBusyHandler(Sqlite::Connection& connection, const DatabaseOptions& options)
{
    if (options.busyHandler)
        connection.setBusyHandler(options.busyHandler);
}

// Lets the progress line's time move on during a long upgrade or VACUUM of one database: the
// engine calls back after every so many virtual machine instructions, and the line is redrawn
// at most a few times a second. Not installed when no line is shown.
void tickDuringLongStatements(Sqlite::Connection& connection, Progress& progress)
{
    if (!progress.active())
        return;
    const auto tick = [](void* context) noexcept -> int {
        static_cast<Progress*>(context)->tick();
        return 0;
    };
    sqlite3_progress_handler(connection.connectionHandle().con(), 100000, tick, &progress);
}

void runScript(Framework& framework, const std::string& path, const std::string& script,
               const DatabaseOptions& options)
{
    if (!Files::isFile(path))
        return;
    auto copy = prepareDatabaseCopy(framework, path, options);
    copy->execute(script);
}

// Runs the work on the database at path, shown as name; a missing database is not counted.
template <class Work>
void workOnDatabase(Framework& framework, const std::string& name, const std::string& path, Work work)
{
    if (!Files::isFile(path))
        return;
    framework.progress().beginFile(name, path);
    work(path);
    framework.progress().fileDone();
}

// A step of one database, at the path below the data directory, upgraded by the script.
void migrateWithScript(Framework& framework, const std::string& step, const std::string& dataDirectory,
                       const std::string& folder, const std::string& file, const std::string& script,
                       const DatabaseOptions& options)
{
    ProgressStep progress(framework.progress(), step, 1);
    workOnDatabase(framework, folder + "/" + file, Files::join(dataDirectory, folder, file),
                   [&](const std::string& path) { runScript(framework, path, script, options); });
}

bool isJobFolder(const Files::DirectoryIterator& entry)
{
    return entry.isDirectory() && entry.filename() != "session";
}

// The job databases and the deleted-jobs database that migrateStudies works on.
std::size_t countStudyDatabases(const std::string& study)
{
    std::size_t count = 0;
    for (const char* file : {"jobs.db", "deleted.db"})
        count += Files::isFile(Files::join(study, file)) ? 1 : 0;
    for (Files::DirectoryIterator entry(study); entry.hasEntry(); entry.next()) {
        if (isJobFolder(entry) && Files::isFile(Files::join(entry.path(), "job.db")))
            ++count;
    }
    return count;
}

void collectConversions(Sqlite::Connection& db)
{
    db.execute(createConversions);
    auto query = db.prepare(selectOldInstitutions, true);
    auto insert = db.prepare(insertConversion, false);
    std::string uid;
    std::string oldText;
    while (query->step()) {
        Sqlite::readNext(*query, uid);
        Sqlite::readNext(*query, oldText);
        Institution::Id id;
        id.fromLegacyText(oldText);
        Sqlite::bindNext(*insert, uid);
        Sqlite::bindNext(*insert, id.toText());
        insert->step();
    }
}

void applyConversions(Sqlite::Connection& db)
{
    {
        auto conversions = db.prepare(selectConversions, false);
        auto update = db.prepare(updateInstitution, true);
        std::string uid;
        std::string institution;
        while (conversions->step()) {
            Sqlite::readNext(*conversions, uid);
            Sqlite::readNext(*conversions, institution);
            Sqlite::bindNext(*update, institution);
            Sqlite::bindNext(*update, uid);
            update->step();
        }
    }
    db.execute(dropConversions);
}

} // namespace

std::string historyScript(std::int64_t cutoff)
{
    return historyScriptHead + std::to_string(cutoff) + historyScriptTail;
}

std::int64_t historyCutoff(Datetime::DateTime nowUtc)
{
    return Datetime::toDateTime(nowUtc - Datetime::days(365)).value;
}

std::unique_ptr<Sqlite::Connection> prepareDatabaseCopy(Framework& framework, const std::string& path,
                                                        const DatabaseOptions& options)
{
    refuseUnfinishedChanges(path);
    framework.addFileToReplace(path);
    const std::string copyPath = path + ".new";
    {
        Sqlite::Connection original(path, false);
        useBusyHandler(original, options);
        original.execute(readLock);
        Files::copyFile(path, copyPath, workingCopyFlags);
    }
    auto copy = std::make_unique<Sqlite::Connection>(copyPath, false);
    useBusyHandler(*copy, options);
    copy->execute(workingCopySettings);
    tickDuringLongStatements(*copy, framework.progress());
    return copy;
}

void migrateInstitutions(Framework& framework, const std::string& dataDirectory)
{
    const std::string database = Files::join(dataDirectory, "institution", "institution.db");
    if (Files::isFile(database))
        framework.addFileToDelete(database);
}

void migrateStudies(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    const std::string study = Files::join(dataDirectory, "study");
    if (!Files::isDirectory(study))
        return;
    ProgressStep progress(framework.progress(), "Migrating studies",
                          framework.progress().active() ? countStudyDatabases(study) : 0);
    const auto jobDatabase = [&](const std::string& path) { migrateJobDatabase(framework, path, options); };
    workOnDatabase(framework, "study/jobs.db", Files::join(study, "jobs.db"), jobDatabase);
    for (Files::DirectoryIterator entry(study); entry.hasEntry(); entry.next()) {
        if (isJobFolder(entry))
            workOnDatabase(framework, "study/" + entry.filename() + "/job.db",
                                Files::join(entry.path(), "job.db"), jobDatabase);
    }
    workOnDatabase(framework, "study/deleted.db", Files::join(study, "deleted.db"),
                        [&](const std::string& path) { migrateDeletedJobs(framework, path, options); });
}

void clearSessionFolder(const std::string& dataDirectory)
{
    Files::clearDirectory(Files::join(dataDirectory, "study", "session"));
}

void migrateJobDatabase(Framework& framework, const std::string& path, const DatabaseOptions& options)
{
    runScript(framework, path, jobsScript, options);
}

void migrateDeletedJobs(Framework& framework, const std::string& path, const DatabaseOptions& options)
{
    if (!Files::isFile(path))
        return;
    auto db = prepareDatabaseCopy(framework, path, options);
    db->begin(Sqlite::TransactionType::Exclusive);
    collectConversions(*db);
    applyConversions(*db);
    db->execute(removeLocalContact);
    db->commit();
    db->vacuum();
    db->analyze();
}

void migrateMessages(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    migrateWithScript(framework, "Migrating messages", dataDirectory, "message", "message.db", messagesScript,
                      options);
}

void migrateHistoryRecords(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    migrateHistoryRecords(framework, dataDirectory, historyCutoff(Datetime::nowDateTime()), options);
}

void migrateHistoryRecords(Framework& framework, const std::string& dataDirectory, std::int64_t cutoff,
                           const DatabaseOptions& options)
{
    migrateWithScript(framework, "Migrating history records", dataDirectory, "record", "rm.db", historyScript(cutoff),
                      options);
}

void migrateUsers(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    migrateWithScript(framework, "Migrating users", dataDirectory, "conf", "user.db", usersScript, options);
}

void migrateNotifications(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    migrateWithScript(framework, "Migrating notifications", dataDirectory, "conf", "notification.db",
                      notificationsScript, options);
}

} // namespace Migration
