// The migrator run as a program on generated version-12 data directories: what its database
// steps leave behind after a successful and after a failed migration.
#include "fixtures/v12data.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"
#include "support/platform.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace {

using Fixtures::Database;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

struct DataRun {
    TestSupport::MigratorSandbox sandbox{QELT_MIGRATOR_PATH};
    std::string data = sandbox.dataDirectory();

    TestSupport::ChildResult migrate() { return sandbox.run({"m"}); }
};

// Every file of the data directory with its content, except the log and the ".new" copies.
std::map<std::string, std::string> serviceFiles(const std::string& data)
{
    std::map<std::string, std::string> files;
    for (const auto& file : TestSupport::listFiles(data)) {
        bool isCopy = file.size() > 4 && file.compare(file.size() - 4, 4, ".new") == 0;
        if (!isCopy && file.rfind("log/", 0) != 0)
            files[file] = TestSupport::readFile(data + "/" + file);
    }
    return files;
}

std::int64_t count(Database& db, const std::string& table, const std::string& where = "1")
{
    return db.integer("SELECT count(*) FROM " + table + " WHERE " + where);
}

TEST(DatabasesEndToEnd, MigratesEveryDatabaseOfAGeneratedDirectory)
{
    DataRun run;
    Fixtures::V12Options options;
    options.folders = 4;
    options.jobs = 30;
    options.events = 400;
    options.oldEventFraction = 0.4;
    options.deletedJobs = 50;
    options.messages = 40;
    const auto summary = Fixtures::createV12DataDirectory(run.data, options);

    const auto result = run.migrate();
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("Migration finished successfully."), std::string::npos) << result.out;

    for (const auto& file : TestSupport::listFiles(run.data)) {
        EXPECT_FALSE(file.size() > 4 && (file.compare(file.size() - 4, 4, ".new") == 0 ||
                                         file.compare(file.size() - 4, 4, ".bak") == 0))
            << file;
    }
    EXPECT_FALSE(fs::exists(run.data + "/institution/institution.db"));
    EXPECT_TRUE(fs::is_directory(run.data + "/study/session"));
    EXPECT_TRUE(fs::is_empty(run.data + "/study/session"));

    const Strings jobColumns{"jobId", "studyBundleId", "distantInstitution", "incoming", "comment", "created",
                             "urgent", "patientId", "patientName", "patientBirthdate", "patientSex", "studyId",
                             "studyInstanceUid", "studyDescription", "referringPhysician", "accessionNumber",
                             "studyDate", "studyTime", "modalitiesInStudy"};
    std::int64_t jobs = 0;
    for (const char* path : {"study/jobs.db", "study/f0000/job.db", "study/f0003/job.db"}) {
        Database db(run.data + "/" + path);
        EXPECT_EQ(db.columns("jobs"), jobColumns) << path;
        EXPECT_TRUE(db.rows("PRAGMA foreign_key_check").empty()) << path;
        EXPECT_EQ(db.integer("SELECT count(*) FROM jobsOverview"), options.jobs) << path;
        jobs += count(db, "jobs");
    }
    EXPECT_EQ(jobs, 3 * options.jobs);

    Database deleted(run.data + "/study/deleted.db");
    EXPECT_EQ(count(deleted, "deletedJobs"), summary.deletedJobs);
    EXPECT_EQ(count(deleted, "deletedJobs", "json_extract(details,'$.details.localContact') IS NOT NULL"), 0);
    EXPECT_EQ(count(deleted, "deletedJobs", "json_extract(details,'$.details.distantInstitution') LIKE '%:%'"), 0);

    Database messages(run.data + "/message/message.db");
    EXPECT_EQ(count(messages, "Messages"), summary.messages);
    EXPECT_EQ(messages.columns("Messages").size(), 12u);
    EXPECT_EQ(count(messages, "sqlite_master", "name IN ('Contacts','Signatures','OnDeleteInstitutionTrigger')"), 0);

    Database records(run.data + "/record/rm.db");
    EXPECT_EQ(count(records, "EventRecord"), static_cast<std::int64_t>(summary.events - summary.oldEvents));
    EXPECT_EQ(records.columns("EventRecord").size(), 10u);

    Database users(run.data + "/conf/user.db");
    EXPECT_EQ(count(users, "Users", "json_extract(Details,'$.contactId') IS NOT NULL OR "
                                    "json_extract(Details,'$.accessNoContact') IS NOT NULL OR "
                                    "json_extract(Details,'$.accessAnyContact') IS NOT NULL"),
              0);
    EXPECT_EQ(count(users, "Users"), options.users);

    Database notifications(run.data + "/conf/notification.db");
    EXPECT_EQ(notifications.columns("MessageFilters").size(), 3u);
    EXPECT_EQ(notifications.columns("StudyFilters").size(), 7u);
    notifications.exec("DELETE FROM NotificationRules WHERE NotificationRuleId=1");
    EXPECT_EQ(count(notifications, "MessageFilters", "NotificationRuleId=1") +
                  count(notifications, "StudyFilters", "NotificationRuleId=1"),
              0);
}

TEST(DatabasesEndToEnd, AFailingDatabaseLeavesTheServiceFilesAsTheyWere)
{
    {
        DataRun run;
        Fixtures::V12Options options;
        options.folders = 2;
        Fixtures::createV12DataDirectory(run.data, options);
        const std::string broken = TestSupport::joinPath(run.data, "study/f0001/job.db");
        fs::remove(broken);
        Fixtures::createUserDatabase(broken, 1);
        const auto before = serviceFiles(run.data);

        const auto result = run.migrate();
        EXPECT_EQ(result.exitCode, 255) << result.out << result.err;
        EXPECT_NE(result.out.find("Error: Migration failed: "), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("no such table: jobs"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(broken + ".new"), std::string::npos) << result.out;
        EXPECT_EQ(serviceFiles(run.data), before);
    }
    {
        DataRun run;
        Fixtures::createV12DataDirectory(run.data);
        const std::string journal = TestSupport::joinPath(run.data, "study/deleted.db-journal");
        TestSupport::writeFile(journal, std::string(512, '\x07'));
        const auto before = serviceFiles(run.data);

        const auto result = run.migrate();
        EXPECT_EQ(result.exitCode, 255) << result.out << result.err;
        EXPECT_NE(result.out.find(journal), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("stop it once"), std::string::npos) << result.out;
        EXPECT_EQ(serviceFiles(run.data), before);
        EXPECT_FALSE(fs::exists(run.data + "/study/deleted.db.new"));
    }
}

} // namespace
