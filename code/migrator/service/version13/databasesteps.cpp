#include "migrator/service/version13/databasesteps.hpp"

#include "migrator/service/exceptions/exceptions.hpp"

#include "libs/datetime/timepoint.hpp"
#include "libs/db/discardedwork.hpp"
#include "libs/db/lookupindexes.hpp"
#include "libs/files/directoryiterator.hpp"
#include "libs/files/file.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"
#include "migrator/service/replacement/companions.hpp"
#include "migrator/service/framework/framework.hpp"
#include "migrator/service/version13/steps.hpp"
#include "shared/institution/id.hpp"

#include <boost/exception_ptr.hpp>
#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <vector>

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

constexpr Files::Flags::Enum workingCopyFlags = Files::Flags::Read | Files::Flags::Write | Files::Flags::Overwrite |
                                               Files::Flags::CreateDirectories | Files::Flags::DenyWrite;

// A rollback journal is hot, and the engine would play it back into the database, unless it is
// missing, empty or its header is zeroed, as journal_mode=PERSIST leaves it after a clean close.
// A journal that is there but cannot be read may be hot: the file layer's failure refuses it.
bool isHotJournal(const std::string& journal)
{
    constexpr std::size_t headerSize = 28;
    boost::exception_ptr statusFailure;
    if (!Files::isFile(journal, &statusFailure) && !Files::isDirectory(journal, &statusFailure) && !statusFailure)
        return false;
    Files::File file(journal, Files::Flags::Read | Files::Flags::DenyNone);
    std::array<char, headerSize> header{};
    const std::size_t bytes = file.read(header.data(), header.size());
    return std::any_of(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(bytes),
                       [](char byte) { return byte != 0; });
}

// A write-ahead log holds frames, changes not yet in the database, when it is longer than its
// 32-byte header.
bool walHoldsFrames(const std::string& wal)
{
    constexpr std::uintmax_t walHeaderSize = 32;
    boost::system::error_code error;
    const auto size = boost::filesystem::file_size(wal, error);
    return !error && size > walHeaderSize;
}

void refuseUnfinishedChanges(const std::string& path)
{
    const std::string wal = path + "-wal";
    const std::string journal = path + "-journal";
    for (const std::string& companion : {wal, journal}) {
        if (companion == wal ? walHoldsFrames(wal) : isHotJournal(journal))
            BOOST_THROW_EXCEPTION(Exceptions::UnfinishedDatabaseChanges()
                                  << Exceptions::Filename_(path) << Exceptions::Companion_(companion));
    }
}

// The busy handler of the options. While a progress line is shown, every retry also shows on it
// that the file being worked on waits for another program and how long it has waited.
Sqlite::BusyHandler busyHandler(Progress& progress, const DatabaseOptions& options)
{
    Sqlite::BusyHandler wait = options.busyHandler;
    if (!wait)
        wait = &Sqlite::defaultBusyHandler;
    if (!progress.active())
        return wait;
    return [&progress, wait](std::int32_t count) {
        progress.waiting(count == 0);
        return wait(count);
    };
}

bool isWriteAheadLog(Sqlite::Connection& database)
{
    auto mode = database.prepare("PRAGMA journal_mode", false);
    return mode->step() && mode->readText() == "wal";
}

// Lets the progress line's time move on during a long upgrade or VACUUM of one database: the
// engine calls back after every so many virtual machine instructions, and the line is redrawn
// at most a few times a second. Not installed when no line is shown.
void tickDuringLongStatements(Sqlite::Connection& connection, Progress& progress)
{
    if (progress.active())
        connection.onEveryInstructions(100000, [&progress] { progress.tick(); });
}

// Upgrades the copy of the existing database at path with the script.
void runScript(Framework& framework, const std::string& path, const std::string& script,
               const DatabaseOptions& options)
{
    auto copy = prepareDatabaseCopy(framework, path, options);
    runUpgradeScript(*copy.connection, script);
    finishDatabaseCopy(copy);
}

// Converts the copy of the existing deleted-jobs database at path.
void convertDeletedJobs(Framework& framework, const std::string& path, const DatabaseOptions& options);

// Runs the work on the existing database at path, shown as name.
template <class Work>
void workOnDatabase(Framework& framework, const std::string& name, const std::string& path, Work work)
{
    framework.progress().beginFile(name, path);
    work(path);
    framework.progress().fileDone();
}

// The databases of the four steps that upgrade one database each.
struct ServiceDatabase {
    Step step;
    ServiceFile file;
};
const ServiceDatabase messageDatabase{Step::Messages, ServiceFiles::messages};
const ServiceDatabase historyDatabase{Step::HistoryRecords, ServiceFiles::historyRecords};
const ServiceDatabase userDatabase{Step::Users, ServiceFiles::users};
const ServiceDatabase notificationDatabase{Step::Notifications, ServiceFiles::notifications};

// The step of one database, at its path below the data directory, upgraded by the script.
void migrateWithScript(Framework& framework, const std::string& dataDirectory, const ServiceDatabase& database,
                       const std::string& script, const DatabaseOptions& options)
{
    ProgressStep progress(framework.progress(), stepLabel(database.step), 1);
    const std::string path = database.file.in(dataDirectory);
    if (Files::isFile(path))
        workOnDatabase(framework, database.file.shown(), path,
                       [&](const std::string& existing) { runScript(framework, existing, script, options); });
}

bool isJobFolder(const Files::DirectoryIterator& entry)
{
    return entry.isDirectory() && entry.filename() != ServiceFiles::sessionFolder;
}

// One database of the study step, as the progress line shows it and where it is.
struct StudyDatabase {
    std::string shown;
    std::string path;
    bool deletedJobs;
};

// The databases below the study folder that migrateStudies copies, those that exist, in the
// order it migrates them: jobs.db, the job.db of every job folder and deleted.db.
std::vector<StudyDatabase> studyDatabases(const std::string& dataDirectory)
{
    std::vector<StudyDatabase> databases{
        {ServiceFiles::studyJobs.shown(), ServiceFiles::studyJobs.in(dataDirectory), false}};
    const std::string study = Files::join(dataDirectory, ServiceFiles::studyFolder);
    if (Files::isDirectory(study)) {
        for (Files::DirectoryIterator entry(study); entry.hasEntry(); entry.next()) {
            if (isJobFolder(entry))
                databases.push_back({Files::join(ServiceFiles::studyFolder, entry.filename(), ServiceFiles::jobDatabaseName),
                                     Files::join(entry.path(), ServiceFiles::jobDatabaseName), false});
        }
    }
    databases.push_back({ServiceFiles::deletedJobs.shown(), ServiceFiles::deletedJobs.in(dataDirectory), true});
    databases.erase(std::remove_if(databases.begin(), databases.end(),
                                   [](const StudyDatabase& database) { return !Files::isFile(database.path); }),
                    databases.end());
    return databases;
}

// The databases of all steps that exist, in the order the steps copy them.
std::vector<std::string> databasesToCopy(const std::string& dataDirectory)
{
    std::vector<std::string> paths;
    for (const StudyDatabase& database : studyDatabases(dataDirectory))
        paths.push_back(database.path);
    for (const ServiceDatabase& database : {messageDatabase, historyDatabase, userDatabase, notificationDatabase}) {
        const std::string path = database.file.in(dataDirectory);
        if (Files::isFile(path))
            paths.push_back(path);
    }
    return paths;
}

// The size of a file; none when it cannot be read.
std::optional<std::uintmax_t> sizeOf(const std::string& path)
{
    boost::system::error_code error;
    const std::uintmax_t bytes = boost::filesystem::file_size(path, error);
    if (error)
        return std::nullopt;
    return bytes;
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

DatabaseCopy prepareDatabaseCopy(Framework& framework, const std::string& path, const DatabaseOptions& options)
{
    refuseUnfinishedChanges(path);
    framework.addFileToReplace(path);
    const std::string copyPath = path + newSuffix;
    const Sqlite::BusyHandler waitForLocks = busyHandler(framework.progress(), options);
    DatabaseCopy copy;
    {
        Sqlite::Connection original(path, false);
        original.setBusyHandler(waitForLocks);
        original.execute(readLock);
        copy.writeAheadLog = isWriteAheadLog(original);
        Progress& progress = framework.progress();
        Files::copyFile(path, copyPath, workingCopyFlags,
                        [&progress](std::uintmax_t bytes) { progress.copied(bytes); });
    }
    copy.connection = std::make_unique<Sqlite::Connection>(copyPath, false);
    copy.connection->setBusyHandler(waitForLocks);
    copy.connection->execute(workingCopySettings);
    tickDuringLongStatements(*copy.connection, framework.progress());
    return copy;
}

void finishDatabaseCopy(DatabaseCopy& copy)
{
    if (copy.writeAheadLog)
        copy.connection->execute("PRAGMA journal_mode=WAL;");
}

void runUpgradeScript(Sqlite::Connection& copy, const std::string& script)
{
    try {
        const auto [work, compaction] = Sqlite::splitBeforeVacuum(script);
        Sqlite::dropDiscardedIndexes(copy, work);
        Sqlite::LookupIndexes lookups(copy);
        lookups.coverTriggersFiredBy(work);
        Sqlite::deleteAheadInBatches(copy, work);
        copy.execute(work);
        lookups.drop();
        if (!compaction.empty())
            copy.execute(compaction);
    } catch (Sqlite::Exceptions::Exception& e) {
        e << Sqlite::Exceptions::SqlQuery_(script);
        throw;
    }
}

void checkRoomForDatabaseCopies(const std::string& dataDirectory, const Files::FreeSpaceQuery& query)
{
    // Per file system: the bytes free as the query reports them, and those that the copies made
    // so far have freed by overwriting their ".new" files left by an earlier run.
    struct Room {
        std::uintmax_t available;
        std::uintmax_t overwritten;
    };
    std::map<std::string, std::optional<Room>> rooms;
    for (const std::string& path : databasesToCopy(dataDirectory)) {
        const std::string folder = Files::parentPath(path);
        std::optional<Files::FreeSpace> space;
        try {
            space = query(folder);
        } catch (const std::exception&) {
            continue;
        }
        std::optional<Room>& room = rooms.try_emplace(space->fileSystem, Room{space->available, 0}).first->second;
        const std::optional<std::uintmax_t> bytes = sizeOf(path);
        const std::string staleCopy = path + newSuffix;
        const std::optional<std::uintmax_t> stale = Files::isFile(staleCopy) ? sizeOf(staleCopy) : 0;
        if (!room || !bytes || !stale) {
            // What is free there from now on is not known: nothing more is checked there.
            room.reset();
            continue;
        }
        room->overwritten += *stale;
        const std::uintmax_t free = room->available + room->overwritten;
        if (*bytes > free)
            BOOST_THROW_EXCEPTION(Exceptions::NotEnoughSpace() << Exceptions::Directory_(folder)
                                                               << Exceptions::NeededBytes_(*bytes)
                                                               << Exceptions::FreeBytes_(free));
    }
}

void migrateInstitutions(Framework& framework, const std::string& dataDirectory)
{
    const std::string database = ServiceFiles::institutions.in(dataDirectory);
    if (Files::isFile(database))
        framework.addFileToDelete(database);
}

void migrateStudies(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    const std::string study = Files::join(dataDirectory, ServiceFiles::studyFolder);
    framework.addFolderToClear(Files::join(study, ServiceFiles::sessionFolder));
    if (!Files::isDirectory(study))
        return;
    const std::vector<StudyDatabase> databases = studyDatabases(dataDirectory);
    ProgressStep progress(framework.progress(), stepLabel(Step::Studies), databases.size());
    for (const StudyDatabase& database : databases) {
        workOnDatabase(framework, database.shown, database.path, [&](const std::string& path) {
            if (database.deletedJobs)
                convertDeletedJobs(framework, path, options);
            else
                runScript(framework, path, jobsScript, options);
        });
    }
}

void migrateJobDatabase(Framework& framework, const std::string& path, const DatabaseOptions& options)
{
    if (Files::isFile(path))
        runScript(framework, path, jobsScript, options);
}

void migrateDeletedJobs(Framework& framework, const std::string& path, const DatabaseOptions& options)
{
    if (Files::isFile(path))
        convertDeletedJobs(framework, path, options);
}

namespace {

void convertDeletedJobs(Framework& framework, const std::string& path, const DatabaseOptions& options)
{
    auto copy = prepareDatabaseCopy(framework, path, options);
    Sqlite::Connection& db = *copy.connection;
    db.begin(Sqlite::TransactionType::Exclusive);
    Sqlite::LookupIndexes lookups(db);
    lookups.cover("deletedJobs", "studyBundleUid");
    lookups.coverTriggersFiredBy(std::string(updateInstitution) + ";" + removeLocalContact);
    collectConversions(db);
    applyConversions(db);
    db.execute(removeLocalContact);
    lookups.drop();
    db.commit();
    db.vacuum();
    db.analyze();
    finishDatabaseCopy(copy);
}

} // namespace

void migrateMessages(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    migrateWithScript(framework, dataDirectory, messageDatabase, messagesScript, options);
}

void migrateHistoryRecords(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    migrateHistoryRecords(framework, dataDirectory, historyCutoff(Datetime::nowDateTime()), options);
}

void migrateHistoryRecords(Framework& framework, const std::string& dataDirectory, std::int64_t cutoff,
                           const DatabaseOptions& options)
{
    migrateWithScript(framework, dataDirectory, historyDatabase, historyScript(cutoff), options);
}

void migrateUsers(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    migrateWithScript(framework, dataDirectory, userDatabase, usersScript, options);
}

void migrateNotifications(Framework& framework, const std::string& dataDirectory, const DatabaseOptions& options)
{
    migrateWithScript(framework, dataDirectory, notificationDatabase, notificationsScript, options);
}

} // namespace Migration
