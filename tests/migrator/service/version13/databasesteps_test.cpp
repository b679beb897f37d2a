#include "migrator/service/version13/databasesteps.hpp"

#include "fixtures/v12data.hpp"
#include "libs/datetime/timepoint.hpp"
#include "libs/db/exceptions.hpp"
#include "libs/files/exceptions.hpp"
#include "migrator/service/exceptions/exceptions.hpp"
#include "migrator/service/framework/framework.hpp"
#include "shared/institution/id.hpp"
#include "support/frameworkdouble.hpp"
#include "support/temporarydirectory.hpp"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

namespace {

using Fixtures::Database;
using Strings = std::vector<std::string>;
using Rows = std::vector<Strings>;
namespace fs = std::filesystem;

using TestFramework = TestSupport::FrameworkDouble;

const Strings jobColumns{"jobId", "studyBundleId", "distantInstitution", "incoming", "comment", "created", "urgent",
                         "patientId", "patientName", "patientBirthdate", "patientSex", "studyId", "studyInstanceUid",
                         "studyDescription", "referringPhysician", "accessionNumber", "studyDate", "studyTime",
                         "modalitiesInStudy"};
const Strings messageColumns{"MessageId", "Type", "DateTime", "Preview", "DistantInstitutionId", "Incoming",
                             "Marker", "Unread", "Trashed", "Sent", "LastUpdate", "RepliedMessageId"};
const Strings eventColumns{"id", "patientId", "studyId", "distantInstitutionId", "userId", "timestamp", "type",
                           "paramInt", "paramString", "seriesGroupId"};

// The rows of the listed columns, with the type of each value, in key order.
Rows keptRows(Database& db, const std::string& table, const Strings& columns)
{
    std::string select;
    for (const auto& c : columns)
        select += (select.empty() ? "" : ",") + ("quote(" + c + "),typeof(" + c + ")");
    return db.rows("SELECT " + select + " FROM " + table + " ORDER BY 1");
}

std::int64_t count(Database& db, const std::string& table, const std::string& where = "1")
{
    return db.integer("SELECT count(*) FROM " + table + " WHERE " + where);
}

// Runs the action and returns the SQLite exception it throws, failing the test otherwise.
template <typename Action>
std::string sqliteFailure(Action action, int expectedCode, const std::string& expectedMessage,
                          const std::string& expectedFile)
{
    try {
        action();
    } catch (const Sqlite::Exceptions::Sqlite& e) {
        auto code = boost::get_error_info<Sqlite::Exceptions::StatusCode_>(e);
        auto message = boost::get_error_info<Sqlite::Exceptions::ErrorMsg_>(e);
        auto details = boost::get_error_info<Sqlite::Exceptions::Details_>(e);
        auto file = boost::get_error_info<Sqlite::Exceptions::Filename_>(e);
        EXPECT_TRUE(code && *code == expectedCode) << e.what();
        EXPECT_TRUE(message && *message == expectedMessage) << e.what();
        EXPECT_TRUE(details && !details->empty()) << e.what();
        EXPECT_TRUE(file && *file == expectedFile) << e.what();
        std::string text = e.what();
        for (const char* part : {"Sqlite::Exceptions::", "StatusCode", "ErrorMsg", "Details", "Filename"})
            EXPECT_NE(text.find(part), std::string::npos) << text;
        EXPECT_NE(text.find(expectedFile), std::string::npos) << text;
        return text;
    }
    ADD_FAILURE() << "no SQLite failure";
    return {};
}

TEST(JobDatabase, KeepsRowsAndVersion13ColumnsAndRepairsReferences)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "study/jobs.db";
    Fixtures::createJobDatabase(path, 9);
    Rows before;
    std::int64_t series;
    {
        Database db(path);
        before = keptRows(db, "jobs", jobColumns);
        series = count(db, "series");
    }
    const std::string original = Fixtures::readFile(path);

    TestFramework framework;
    Migration::migrateJobDatabase(framework, path);

    EXPECT_EQ(Fixtures::readFile(path), original);
    EXPECT_EQ(framework.filesToReplace(), std::set<std::string>{path});
    Database db(path + ".new");
    EXPECT_EQ(db.columns("jobs"), jobColumns);
    EXPECT_EQ(keptRows(db, "jobs", jobColumns), before);
    EXPECT_EQ(db.objects("table"), (Strings{"attachments", "jobs", "jobsStatus", "series"}));

    // The foreign key of series and the view still name jobs, and both work on the new table.
    EXPECT_NE(db.text("SELECT sql FROM sqlite_master WHERE name='series'").find("REFERENCES jobs"), std::string::npos);
    EXPECT_EQ(db.text("SELECT sql FROM sqlite_master WHERE name='jobsOverview'").find("tmp"), std::string::npos);
    EXPECT_TRUE(db.rows("PRAGMA foreign_key_check").empty());
    EXPECT_EQ(db.integer("SELECT count(*) FROM jobsOverview"), 9);
    EXPECT_EQ(db.integer("SELECT sum(seriesCount) FROM jobsOverview"), series);

    // Deleting a job deletes its series, attachments and status, nothing else.
    ASSERT_EQ(count(db, "attachments", "jobId=4"), 1);
    db.exec("DELETE FROM jobs WHERE jobId=4");
    EXPECT_EQ(count(db, "series", "jobId=4") + count(db, "attachments", "jobId=4") + count(db, "jobsStatus", "jobId=4"), 0);
    EXPECT_EQ(count(db, "series"), series - 2);
    EXPECT_EQ(count(db, "jobsStatus"), 8);
    EXPECT_EQ(count(db, "attachments"), 2);
}

TEST(JobDatabase, FailuresLeaveTheOriginalAndNameTheFile)
{
    TestSupport::TemporaryDirectory dir;
    TestFramework framework;

    const std::string noJobs = dir / "a/job.db";
    Fixtures::createMessageDatabase(noJobs, 2);
    std::string original = Fixtures::readFile(noJobs);
    std::string text = sqliteFailure([&] { Migration::migrateJobDatabase(framework, noJobs); }, 1,
                                     "SQL error or missing database", noJobs + ".new");
    EXPECT_NE(text.find("no such table: jobs"), std::string::npos) << text;
    EXPECT_NE(text.find("ALTER TABLE jobs RENAME TO tmp"), std::string::npos) << text;
    EXPECT_EQ(Fixtures::readFile(noJobs), original);

    const std::string corrupt = dir / "b/job.db";
    std::string noise;
    for (int i = 0; i < 8192; ++i)
        noise.push_back(static_cast<char>((i * 7919 + 13) % 251));
    Fixtures::writeFile(corrupt, noise);
    sqliteFailure([&] { Migration::migrateJobDatabase(framework, corrupt); }, 26,
                  "File opened that is not a database file", corrupt);
    EXPECT_EQ(Fixtures::readFile(corrupt), noise);

    // Another connection holds the write lock: a short busy limit gives up with Busy before
    // anything is copied.
    const std::string locked = dir / "c/job.db";
    Fixtures::createJobDatabase(locked, 3);
    original = Fixtures::readFile(locked);
    {
        Database holder(locked);
        holder.exec("BEGIN EXCLUSIVE;");
        Migration::DatabaseOptions quick{Sqlite::limitedBusyHandler(3)};
        std::string busy = sqliteFailure([&] { Migration::migrateJobDatabase(framework, locked, quick); }, 5,
                                         "The database file is locked", locked);
        EXPECT_NE(busy.find("ElapsedTime"), std::string::npos) << busy;
        EXPECT_FALSE(fs::exists(locked + ".new"));
        holder.exec("ROLLBACK;");
    }
    EXPECT_EQ(Fixtures::readFile(locked), original);

    // A missing database is skipped without a trace.
    TestFramework untouched;
    Migration::migrateJobDatabase(untouched, dir / "d/job.db");
    EXPECT_TRUE(untouched.filesToReplace().empty());
}

TEST(JobDatabase, AReadOnlyDatabaseIsMigratedOnAWritableCopy)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "job.db";
    Fixtures::createJobDatabase(path, 2);
    const std::string original = Fixtures::readFile(path);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);

    // Root may write any file, so the migration runs in a child that has given up root.
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        int result = 1;
        std::string report = "migrated";
        TestFramework framework;
        try {
            Migration::migrateJobDatabase(framework, path);
            result = framework.filesToReplace().count(path) == 1 ? 0 : 2;
        } catch (const std::exception& e) {
            report = e.what();
        }
        ssize_t written = ::write(channel[1], report.data(), report.size());
        ::_exit(written < 0 ? 4 : result);
    }
    ::close(channel[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << report;
    struct stat copy {};
    ASSERT_EQ(::stat((path + ".new").c_str(), &copy), 0);
    EXPECT_NE(copy.st_mode & S_IWUSR, 0u);
    EXPECT_EQ(Fixtures::readFile(path), original);
    ::chmod(path.c_str(), 0644);
}

TEST(DatabaseCopy, RefusesUnfinishedChangesAndReplacesOldCopies)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "conf/user.db";
    Fixtures::createUserDatabase(path, 2);
    const std::string original = Fixtures::readFile(path);

    // A journal whose header is not zeroed is hot; a log longer than its 32-byte header holds frames.
    const std::pair<const char*, std::string> unfinished[] = {{"-journal", "pending pages"},
                                                              {"-wal", std::string(32 + 24 + 4096, 'w')}};
    for (const auto& [suffix, content] : unfinished) {
        Fixtures::writeFile(path + suffix, content);
        TestFramework framework;
        try {
            Migration::migrateUsers(framework, dir.path());
            ADD_FAILURE() << "unfinished changes in " << suffix << " not refused";
        } catch (const Migration::Exceptions::UnfinishedDatabaseChanges& e) {
            std::string text = e.what();
            EXPECT_NE(text.find(path + suffix), std::string::npos) << text;
            EXPECT_NE(text.find("stop it once"), std::string::npos) << text;
        }
        EXPECT_TRUE(framework.filesToReplace().empty());
        EXPECT_FALSE(fs::exists(path + ".new"));
        EXPECT_EQ(Fixtures::readFile(path), original);
        fs::remove(path + suffix);
    }

    // A journal that is there but cannot be read may be hot: refused with the file layer's failure.
    fs::create_directory(path + "-journal");
    {
        TestFramework framework;
        EXPECT_THROW(Migration::migrateUsers(framework, dir.path()), Files::Exceptions::Exception);
        EXPECT_TRUE(framework.filesToReplace().empty());
        EXPECT_FALSE(fs::exists(path + ".new"));
    }
    fs::remove(path + "-journal");

    // What a clean close leaves: an empty journal (TRUNCATE), a journal with a zeroed header
    // (PERSIST), a log with its header only. A copy left by an earlier run is replaced.
    for (const char* mode : {"TRUNCATE", "PERSIST"}) {
        {
            Database db(path);
            db.exec(std::string("PRAGMA journal_mode=") + mode + ";UPDATE Users SET Login=Login;");
        }
        ASSERT_TRUE(fs::exists(path + "-journal")) << mode;
        Fixtures::writeFile(path + "-wal", std::string(32, 'w'));
        Fixtures::writeFile(path + ".new", "left over");
        TestFramework framework;
        Migration::migrateUsers(framework, dir.path());
        Database db(path + ".new");
        EXPECT_EQ(count(db, "Users"), 2) << mode;
        fs::remove(path + "-journal");
        fs::remove(path + "-wal");
    }
}

TEST(Studies, MigratesEveryJobFolderButSessionWhichIsLeftToBeClearedAfterSuccess)
{
    TestSupport::TemporaryDirectory dir;
    Fixtures::createJobDatabase(dir / "study/jobs.db", 2);
    Fixtures::createJobDatabase(dir / "study/0001/job.db", 2);
    Fixtures::createJobDatabase(dir / "study/Session/job.db", 2);
    Fixtures::createJobDatabase(dir / "study/session/job.db", 2);
    Fixtures::writeFile(dir / "study/session/part.bin", "x");
    Fixtures::createJobDatabase(dir / "study/session/deep/job.db", 1);
    fs::create_directories(dir / "study/emptyfolder");
    Fixtures::writeFile(dir / "study/notes.txt", "not a folder");
    Fixtures::createDeletedJobsDatabase(dir / "study/deleted.db", 5);

    TestFramework framework;
    Migration::migrateStudies(framework, dir.path());

    EXPECT_EQ(framework.filesToReplace(),
              (std::set<std::string>{dir / "study/0001/job.db", dir / "study/Session/job.db", dir / "study/deleted.db",
                                     dir / "study/jobs.db"}));
    EXPECT_TRUE(framework.filesToDelete().empty());
    EXPECT_TRUE(fs::exists(dir / "study/session/part.bin"));
    EXPECT_FALSE(fs::exists(dir / "study/session/job.db.new"));
    EXPECT_EQ(framework.foldersToClear(), std::set<std::string>{dir / "study/session"});
    EXPECT_TRUE(fs::is_empty(dir / "study/emptyfolder"));
    for (const char* db : {"study/jobs.db.new", "study/0001/job.db.new", "study/Session/job.db.new"}) {
        Database migrated(dir / db);
        EXPECT_EQ(migrated.columns("jobs"), jobColumns) << db;
    }

    TestSupport::TemporaryDirectory empty;
    TestFramework nothing;
    Migration::migrateStudies(nothing, empty.path());
    Migration::migrateInstitutions(nothing, empty.path());
    EXPECT_TRUE(nothing.filesToReplace().empty());
    EXPECT_TRUE(nothing.filesToDelete().empty());
}

TEST(Institutions, RetiresTheDatabaseWithoutOpeningIt)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "institution/institution.db";
    Fixtures::writeFile(path, "not even a database");
    TestFramework framework;
    Migration::migrateInstitutions(framework, dir.path());
    EXPECT_EQ(framework.filesToDelete(), std::set<std::string>{path});
    EXPECT_TRUE(framework.filesToReplace().empty());
    EXPECT_EQ(Fixtures::readFile(path), "not even a database");
}

TEST(DeletedJobs, ConvertsOldInstitutionTextsAndDropsLocalContact)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "study/deleted.db";
    Fixtures::createDeletedJobsDatabase(path, 40);
    {
        Database db(path);
        db.exec("INSERT INTO deletedJobs VALUES"
                "('u1',1,'{\"details\":{\"distantInstitution\":\"12345:7\",\"localContact\":\"3\",\"keep\":1}}'),"
                "('u2',1,'{\"details\":{\"distantInstitution\":\"SK#12:5\",\"localContact\":\"4\"}}'),"
                "('u3',1,'{\"details\":{\"distantInstitution\":\"SK#12\",\"localContact\":\"5\"}}'),"
                "('u4',1,'{\"details\":{\"distantInstitution\":\"abc:x\"}}'),"
                "('u5',1,'{\"details\":{\"distantInstitution\":\"SK#12:x\"}}'),"
                "('u6',1,'{\"details\":{\"distantInstitution\":\"XYZ12345:1\"}}'),"
                "('u7',1,'{\"details\":{\"distantInstitution\":12345},\"localContact\":\"top\"}')");
    }
    const std::string original = Fixtures::readFile(path);

    TestFramework framework;
    Migration::migrateDeletedJobs(framework, path);

    EXPECT_EQ(Fixtures::readFile(path), original);
    Database db(path + ".new");
    auto institution = [&](const std::string& uid) {
        return db.text("SELECT json_extract(details,'$.details.distantInstitution') FROM deletedJobs "
                       "WHERE studyBundleUid='" + uid + "'");
    };
    EXPECT_EQ(institution("u1"), "#12345");
    EXPECT_EQ(institution("u2"), "SK#12");
    EXPECT_EQ(institution("u3"), "SK#12");
    EXPECT_EQ(institution("u4"), "#0");
    EXPECT_EQ(institution("u5"), "#0");
    EXPECT_EQ(institution("u6"), "#0");
    EXPECT_EQ(institution("u7"), "12345");
    EXPECT_EQ(db.text("SELECT details FROM deletedJobs WHERE studyBundleUid='u1'"),
              "{\"details\":{\"distantInstitution\":\"#12345\",\"keep\":1}}");
    EXPECT_EQ(db.text("SELECT json_extract(details,'$.localContact') FROM deletedJobs WHERE studyBundleUid='u7'"), "top");

    EXPECT_EQ(count(db, "deletedJobs"), 47);
    EXPECT_EQ(count(db, "deletedJobs", "json_extract(details,'$.details.localContact') IS NOT NULL"), 0);
    EXPECT_EQ(count(db, "deletedJobs", "json_extract(details,'$.details.distantInstitution') LIKE '%:%'"), 0);
    EXPECT_EQ(count(db, "deletedJobs", "json_extract(details,'$.details.patientName') IS NULL"), 7);
    EXPECT_EQ(db.objects("table"), Strings{"deletedJobs"});
}

TEST(History, DropsEventsBeforeTheCutoffAndRebuildsTheTable)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "record/rm.db";
    const std::int64_t now = 1709251200000; // 2024-03-01 00:00:00 UTC
    const std::uint64_t old = Fixtures::createRecordDatabase(path, 120, 0.25, now);
    const std::int64_t cutoff = 20230302000000000;
    {
        Database db(path);
        db.exec("INSERT INTO EventRecord VALUES(1001,1,1,1,1,20230302000000000,1,1,'at',NULL,0,''),"
                "(1002,1,1,1,1,20230301235959999,1,1,'before',NULL,0,''),"
                "(1003,1,1,1,1,20230302000000001,1,1,'after',NULL,0,'');"
                "INSERT INTO AttachmentLinkTableRecord(eventId,attachmentName) VALUES(1001,'a'),(1002,'b'),(1003,'c')");
    }
    const std::string original = Fixtures::readFile(path);

    TestFramework framework;
    Migration::migrateHistoryRecords(framework, dir.path(), cutoff);

    EXPECT_EQ(Fixtures::readFile(path), original);
    Database db(path + ".new");
    EXPECT_EQ(db.columns("EventRecord"), eventColumns);
    EXPECT_EQ(count(db, "EventRecord"), static_cast<std::int64_t>(120 - old + 2));
    EXPECT_EQ(count(db, "EventRecord", "id IN (1001,1003)"), 2);
    EXPECT_EQ(count(db, "EventRecord", "id=1002"), 0);
    EXPECT_EQ(count(db, "AttachmentLinkTableRecord", "eventId NOT IN (SELECT id FROM EventRecord)"), 0);
    EXPECT_EQ(count(db, "AttachmentLinkTableRecord", "eventId IN (1001,1003)"), 2);
    EXPECT_EQ(db.objects("index"), (Strings{"AeventIdIdx", "EpatientIdIdx", "EseriesGroupIdIdx", "EstudyIdIdx",
                                           "EtimestampIdx"}));
    EXPECT_EQ(db.objects("trigger"), Strings{"AfterDeleteEvent"});

    db.exec("DELETE FROM EventRecord WHERE id=1001");
    EXPECT_EQ(count(db, "AttachmentLinkTableRecord", "eventId=1001"), 0);
    EXPECT_EQ(count(db, "AttachmentLinkTableRecord", "eventId=1003"), 1);
}

TEST(History, KeepsTheValuesOfTheKeptColumns)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "record/rm.db";
    Fixtures::createRecordDatabase(path, 50, 0.0, Fixtures::unixMillisecondsNow());
    Rows before;
    {
        Database db(path);
        before = keptRows(db, "EventRecord", eventColumns);
    }
    TestFramework framework;
    Migration::migrateHistoryRecords(framework, dir.path());
    Database db(path + ".new");
    EXPECT_EQ(keptRows(db, "EventRecord", eventColumns), before);
}

TEST(History, CutoffIs365DaysBeforeNow)
{
    EXPECT_EQ(Migration::historyCutoff({20210305080507123}), 20200305080507123);
    EXPECT_EQ(Migration::historyCutoff({20240301000000000}), 20230302000000000);
    EXPECT_EQ(Migration::historyCutoff({20210101000000000}), 20200102000000000);
    EXPECT_EQ(Migration::historyCutoff({20250228235959999}), 20240229235959999);
    std::string script = Migration::historyScript(20200305080507123);
    EXPECT_EQ(script.find("BEGIN TRANSACTION;DELETE FROM EventRecord WHERE timestamp < 20200305080507123;"
                          "DROP TRIGGER IF EXISTS AfterDeleteEvent;"),
              0u);
}

TEST(Messages, DropsContactsAndOldColumnsAndDeletesDetailsWithTheMessage)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "message/message.db";
    Fixtures::createMessageDatabase(path, 12);
    Rows before;
    {
        Database db(path);
        before = keptRows(db, "Messages", messageColumns);
    }
    TestFramework framework;
    Migration::migrateMessages(framework, dir.path());

    Database db(path + ".new");
    EXPECT_EQ(db.columns("Messages"), messageColumns);
    EXPECT_EQ(keptRows(db, "Messages", messageColumns), before);
    EXPECT_EQ(db.objects("table"),
              (Strings{"Messages", "Replies", "Requests", "SenderMessageIds", "Texts"}));
    EXPECT_EQ(db.objects("trigger"), Strings{"OnDeleteMessageTrigger"});

    db.exec("DELETE FROM Messages WHERE MessageId=5");
    for (const char* table : {"SenderMessageIds", "Texts", "Requests", "Replies"}) {
        EXPECT_EQ(count(db, table, "MessageId=5"), 0) << table;
        EXPECT_EQ(count(db, table), 11) << table;
    }
    EXPECT_EQ(db.text("SELECT count(*) FROM Messages WHERE Preview='PREVIEW OF MESSAGE 6'"), "1");

    TestSupport::TemporaryDirectory empty;
    TestFramework nothing;
    Migration::migrateMessages(nothing, empty.path());
    Migration::migrateHistoryRecords(nothing, empty.path());
    Migration::migrateUsers(nothing, empty.path());
    Migration::migrateNotifications(nothing, empty.path());
    EXPECT_TRUE(nothing.filesToReplace().empty());
}

TEST(Users, LoseExactlyTheThreeContactMembers)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "conf/user.db";
    Fixtures::createUserDatabase(path, 4);
    Rows before;
    {
        Database db(path);
        before = db.rows("SELECT UserId, key, quote(value) FROM Users, json_each(Users.Details) ORDER BY 1, 2");
    }
    TestFramework framework;
    Migration::migrateUsers(framework, dir.path());

    Database db(path + ".new");
    const std::set<std::string> dropped{"contactId", "accessNoContact", "accessAnyContact"};
    Rows expected;
    for (auto& row : before)
        if (!dropped.count(row[1]))
            expected.push_back(row);
    EXPECT_LT(expected.size(), before.size());
    EXPECT_EQ(db.rows("SELECT UserId, key, quote(value) FROM Users, json_each(Users.Details) ORDER BY 1, 2"), expected);
    EXPECT_EQ(db.text("SELECT json_extract(Details,'$.settings.contactId') FROM Users WHERE UserId=2"), "7");
}

TEST(Notifications, RebuildsBothFilterTablesAndTheirTrigger)
{
    TestSupport::TemporaryDirectory dir;
    const std::string path = dir / "conf/notification.db";
    Fixtures::createNotificationDatabase(path, 6);
    const Strings messageFilter{"NotificationRuleId", "DistantInstitutionId", "UserMessageType"};
    const Strings studyFilter{"NotificationRuleId", "DistantInstitutionId", "Modalities", "Description",
                              "Comment", "StudyEventType", "User"};
    Rows messagesBefore, studiesBefore;
    {
        Database db(path);
        messagesBefore = keptRows(db, "MessageFilters", messageFilter);
        studiesBefore = keptRows(db, "StudyFilters", studyFilter);
    }
    TestFramework framework;
    Migration::migrateNotifications(framework, dir.path());

    Database db(path + ".new");
    EXPECT_EQ(db.columns("MessageFilters"), messageFilter);
    EXPECT_EQ(db.columns("StudyFilters"), studyFilter);
    EXPECT_EQ(keptRows(db, "MessageFilters", messageFilter), messagesBefore);
    EXPECT_EQ(keptRows(db, "StudyFilters", studyFilter), studiesBefore);
    db.exec("DELETE FROM NotificationRules WHERE NotificationRuleId=3");
    EXPECT_EQ(count(db, "MessageFilters", "NotificationRuleId=3") + count(db, "StudyFilters", "NotificationRuleId=3"), 0);
    EXPECT_EQ(count(db, "MessageFilters") + count(db, "StudyFilters"), 10);
}

} // namespace

namespace {

// The working copy's settings, with which the fixed scripts alone make the reference result.
const char* const scriptSettings =
    "PRAGMA legacy_alter_table=ON;PRAGMA foreign_keys=OFF;PRAGMA journal_mode=OFF;PRAGMA synchronous=OFF;";

// The deleted-jobs conversion as its statements alone do it: the query, one UPDATE by key per
// converted row, the removal of localContact, COMMIT, VACUUM and ANALYZE.
void convertDeletedJobsAlone(const std::string& path)
{
    Database db(path);
    db.exec(std::string(scriptSettings) + "BEGIN EXCLUSIVE TRANSACTION;");
    const Rows old = db.rows("SELECT studyBundleUid, json_extract(details, '$.details.distantInstitution') i "
                             "FROM deletedJobs WHERE i LIKE '%:%'");
    for (const Strings& row : old) {
        Institution::Id id;
        id.fromLegacyText(row[1]);
        char* sql = sqlite3_mprintf("UPDATE deletedJobs SET details=json_replace(details, "
                                    "'$.details.distantInstitution', %Q) WHERE studyBundleUid=%Q",
                                    id.toText().c_str(), row[0].c_str());
        db.exec(sql);
        sqlite3_free(sql);
    }
    db.exec("UPDATE deletedJobs SET details=json_remove(details, '$.details.localContact');COMMIT;VACUUM;ANALYZE;");
}

// Everything a database holds that its users see: sqlite_master and every row of every table,
// sqlite_stat1 included, each value with its type.
Rows content(const std::string& path)
{
    Database db(path);
    Rows all = db.rows("SELECT type, name, tbl_name, rootpage, sql FROM sqlite_master ORDER BY type, name");
    for (const Strings& table : db.rows("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name")) {
        std::string select;
        for (const std::string& column : db.columns(table[0]))
            select += (select.empty() ? "" : "||','||") + ("quote(\"" + column + "\")");
        all.push_back({"rows of", table[0]});
        for (Strings& row : db.rows("SELECT " + select + " FROM \"" + table[0] + "\" ORDER BY rowid"))
            all.push_back(std::move(row));
    }
    return all;
}

std::string journalModeBytes(const std::string& path)
{
    const std::string header = Fixtures::readFile(path).substr(18, 2);
    return std::to_string(header[0]) + "," + std::to_string(header[1]);
}

struct IdentityCase {
    bool optionalIndexes;
    bool writeAheadLog;
    // Indexes a user added to the events: on several columns, unique, partial, on an expression,
    // and one the copy of the events could be read from instead of the table.
    bool userEventIndexes;
};

const char* const userEventIndexes =
    "CREATE INDEX EuserTypeIdx ON EventRecord(userId, type);"
    "CREATE UNIQUE INDEX EparamIdx ON EventRecord(paramInt, id);"
    "CREATE INDEX EtypeTimeIdx ON EventRecord(timestamp) WHERE type = 3;"
    "CREATE INDEX EparamTextIdx ON EventRecord(lower(paramString));"
    "CREATE INDEX EcopyIdx ON EventRecord(patientId, studyId, distantInstitutionId, userId, timestamp, type, "
    "paramInt, paramString, seriesGroupId);";

class MigratedDatabases : public testing::TestWithParam<IdentityCase> {};

} // namespace

// The temporary indexes that keep the lookups of triggers and of the deleted-jobs conversion
// linear, the indexes dropped because the scripts discard them and the old events deleted
// ahead in batches leave nothing behind: each migrated database holds what its fixed script
// alone makes (sqlite_master, every row, sqlite_stat1), with and without the optional indexes,
// with indexes of the user's on the events, and a write-ahead-log database stays one.
TEST_P(MigratedDatabases, HoldWhatTheFixedScriptsAloneMake)
{
    const IdentityCase param = GetParam();
    TestSupport::TemporaryDirectory dir;
    Fixtures::V12Options options;
    options.folders = 2;
    options.jobs = 40;
    options.events = 900;
    options.deletedJobs = 60;
    options.messages = 30;
    options.optionalIndexes = param.optionalIndexes;
    options.nowUnixMilliseconds = 1700000000000;
    const std::int64_t cutoff = Fixtures::packedDateTime(options.nowUnixMilliseconds - 365LL * 86400000);
    const std::string migrated = dir / "migrated";
    const std::string alone = dir / "alone";
    Fixtures::createV12DataDirectory(migrated, options);
    Fixtures::createV12DataDirectory(alone, options);
    const std::vector<std::pair<std::string, std::string>> databases{
        {"study/jobs.db", Migration::jobsScript},
        {"study/f0001/job.db", Migration::jobsScript},
        {"study/deleted.db", ""},
        {"message/message.db", Migration::messagesScript},
        {"record/rm.db", Migration::historyScript(cutoff)},
        {"conf/user.db", Migration::usersScript},
        {"conf/notification.db", Migration::notificationsScript}};
    if (param.userEventIndexes) {
        Database(migrated + "/record/rm.db").exec(userEventIndexes);
        Database(alone + "/record/rm.db").exec(userEventIndexes);
    }
    {
        Database rm(migrated + "/record/rm.db");
        ASSERT_EQ(rm.objects("index").empty(), !param.optionalIndexes && !param.userEventIndexes);
        ASSERT_GT(count(rm, "EventRecord", "timestamp < " + std::to_string(cutoff)), 200);
    }
    if (param.writeAheadLog) {
        for (const auto& database : databases) {
            Database(migrated + "/" + database.first).exec("PRAGMA journal_mode=WAL;");
            ASSERT_EQ(journalModeBytes(migrated + "/" + database.first), "2,2");
        }
    }

    TestFramework framework;
    Migration::migrateStudies(framework, migrated);
    Migration::migrateMessages(framework, migrated);
    Migration::migrateHistoryRecords(framework, migrated, cutoff);
    Migration::migrateUsers(framework, migrated);
    Migration::migrateNotifications(framework, migrated);

    for (const auto& [database, script] : databases) {
        const std::string reference = alone + "/" + database;
        if (script.empty())
            convertDeletedJobsAlone(reference);
        else
            Database(reference).exec(scriptSettings + script);
        EXPECT_EQ(content(migrated + "/" + database + ".new"), content(reference)) << database;
        EXPECT_EQ(journalModeBytes(migrated + "/" + database + ".new"), param.writeAheadLog ? "2,2" : "1,1")
            << database;
        EXPECT_FALSE(fs::exists(migrated + "/" + database + ".new-wal")) << database;
    }
}

INSTANTIATE_TEST_SUITE_P(Indexes, MigratedDatabases,
                         testing::Values(IdentityCase{true, false, false}, IdentityCase{false, false, false},
                                         IdentityCase{false, true, false}, IdentityCase{true, false, true},
                                         IdentityCase{false, false, true}),
                         [](const testing::TestParamInfo<IdentityCase>& info) {
                             return std::string(info.param.optionalIndexes ? "WithOptionalIndexes"
                                                                           : "WithoutOptionalIndexes") +
                                    (info.param.writeAheadLog ? "InWalMode" : "") +
                                    (info.param.userEventIndexes ? "AndUserEventIndexes" : "");
                         });

// The check before the first step, through a query that puts the record folder on a file system
// of its own: each file system must have room for the largest database copied there, where a
// ".new" file of an earlier run that the copies overwrite counts as free, and a file system
// whose free space cannot be queried is not checked.
TEST(FreeSpace, EachFileSystemMustHoldItsLargestDatabaseCopy)
{
    TestSupport::TemporaryDirectory dir;
    Fixtures::V12Options options;
    options.folders = 2;
    options.events = 2000;
    options.messages = 300;
    Fixtures::createV12DataDirectory(dir.path(), options);
    const std::uintmax_t history = fs::file_size(dir / "record/rm.db");
    std::uintmax_t others = 0;
    for (const char* file : {"study/jobs.db", "study/f0000/job.db", "study/f0001/job.db", "study/deleted.db",
                             "message/message.db", "conf/user.db", "conf/notification.db"})
        others = std::max(others, static_cast<std::uintmax_t>(fs::file_size(dir / file)));
    ASSERT_GT(history, others);

    std::uintmax_t recordFree = 0;
    std::uintmax_t otherFree = 0;
    bool recordUnknown = false;
    const Files::FreeSpaceQuery query = [&](const std::string& path) {
        const bool record = path == dir / "record";
        if (record && recordUnknown)
            throw std::runtime_error("no answer");
        return Files::FreeSpace{record ? "record disk" : "data disk", record ? recordFree : otherFree};
    };
    const auto refusal = [&]() -> std::string {
        try {
            Migration::checkRoomForDatabaseCopies(dir.path(), query);
        } catch (const Migration::Exceptions::NotEnoughSpace& e) {
            return e.what();
        }
        return "";
    };

    recordFree = history;
    otherFree = others;
    EXPECT_EQ(refusal(), "");

    recordFree = history - 1;
    EXPECT_EQ(refusal(), "Not enough free space in '" + dir / "record" + "': the migration needs at least " +
                             std::to_string(history) + " bytes there, " + std::to_string(history - 1) +
                             " bytes are free.");

    recordFree = history;
    otherFree = others - 1;
    EXPECT_NE(refusal().find("the migration needs at least " + std::to_string(others) + " bytes there, " +
                             std::to_string(others - 1) + " bytes are free."),
              std::string::npos);
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        EXPECT_NE(entry.path().extension(), ".new") << entry.path();

    otherFree = others;
    recordFree = 1000;
    Fixtures::writeFile(dir / "record/rm.db.new", std::string(history - 1000, 'x'));
    EXPECT_EQ(refusal(), "");
    recordFree = 999;
    EXPECT_NE(refusal().find(std::to_string(history - 1) + " bytes are free."), std::string::npos);
    recordUnknown = true;
    EXPECT_EQ(refusal(), "");
}
