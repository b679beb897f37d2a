// The migrator run as a program while its writes fail against the process's file size limit,
// its disk (a mounted memory file system) fills up, or a link stands where it writes a copy.
#include "e2e/faultchecks.hpp"

#include "fixtures/v12data.hpp"
#include "support/childprocess.hpp"
#include "support/faultinjection.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>

namespace {

using namespace FaultChecks;
namespace fs = std::filesystem;

std::uintmax_t largestDatabase(const std::string& data)
{
    std::uintmax_t largest = 0;
    for (const std::string& file : TestSupport::listFiles(data)) {
        if (endsWith(file, ".db"))
            largest = std::max(largest, fs::file_size(data + "/" + file));
    }
    return largest;
}

std::uintmax_t largestMigratedDatabase(const std::string& data)
{
    std::uintmax_t largest = 0;
    for (const std::string& file : TestSupport::listFiles(data)) {
        if (endsWith(file, ".db") && file.rfind("institution/", 0) != 0 && file.rfind("study/session/", 0) != 0)
            largest = std::max(largest, fs::file_size(data + "/" + file));
    }
    return largest;
}

std::uintmax_t smallestMigratedDatabase(const std::string& data)
{
    std::uintmax_t smallest = UINTMAX_MAX;
    for (const std::string& file : TestSupport::listFiles(data)) {
        if (endsWith(file, ".db") && file.rfind("institution/", 0) != 0)
            smallest = std::min(smallest, fs::file_size(data + "/" + file));
    }
    return smallest;
}

// Sending rules with long comments, so that the rule file outweighs every database.
std::string largeSendingRules(std::size_t bytes)
{
    const std::string comment(900, 'c');
    std::string json = "{";
    for (unsigned rule = 1; json.size() < bytes; ++rule) {
        if (rule > 1)
            json += ",";
        json += "\"" + std::to_string(rule) + "\":{\"receiver\":1,\"delivery\":{\"recipient\":\"SK#12:" +
                std::to_string(rule) + "\",\"comment\":\"" + comment + "\"}}";
    }
    return json + "}";
}

// The generated main.conf with a section of long values appended.
void growMainConf(const std::string& path, std::size_t bytes)
{
    std::string text = TestSupport::readFile(path) + "\n[notes]\n";
    const std::string value(900, 'n');
    for (unsigned key = 1; text.size() < bytes; ++key)
        text += "note" + std::to_string(key) + " = " + value + "\n";
    TestSupport::writeFile(path, text);
}

TEST(FaultWrites, AWriteBeyondTheFileSizeLimitFailsTheMigrationCleanly)
{
    struct Case {
        std::string name;
        std::function<void(const std::string& data)> prepare;
        std::function<rlim_t(const std::string& data)> limit;
        std::string reason;
    };
    const std::vector<Case> cases{
        {"below the smallest database", [](const std::string&) {},
         [](const std::string& data) { return smallestMigratedDatabase(data) - 1; }, ".db.new"},
        {"below the largest database", [](const std::string&) {},
         [](const std::string& data) { return largestDatabase(data) - 1; }, ".db.new"},
        {"databases fit, sending.json.new does not",
         [](const std::string& data) { TestSupport::writeFile(data + "/conf/sending.json", largeSendingRules(400000)); },
         [](const std::string& data) { return 2 * largestDatabase(data) + 65536; }, "sending.json.new"},
        {"databases and rule files fit, main.conf.new does not",
         [](const std::string& data) { growMainConf(data + "/conf/main.conf", 400000); },
         [](const std::string& data) { return 2 * largestDatabase(data) + 65536; }, "main.conf.new"},
    };
    for (const Case& c : cases) {
        TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallDirectory());
        c.prepare(sandbox.dataDirectory());
        const rlim_t limit = c.limit(sandbox.dataDirectory());
        const Snapshot before = originals(sandbox.dataDirectory());

        TestSupport::ChildResult result;
        {
            TestSupport::FileSizeLimit guard(limit);
            ASSERT_TRUE(guard.ok()) << c.name;
            result = sandbox.run({"m"});
        }
        expectStepFailure(result, c.reason, c.name + " (limit " + std::to_string(limit) + ")");
        EXPECT_EQ(joined(differences(before, originals(sandbox.dataDirectory()))), "") << c.name;
    }
}

// A size-limited memory file system mounted on a folder, unmounted when the test ends.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& folder) : folder_(folder)
    {
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64m") == 0)
            mounted_ = true;
        else
            error_ = std::strerror(errno);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    ~SmallDisk()
    {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }

    std::uintmax_t availableBytes() const
    {
        struct statvfs info {};
        ::statvfs(folder_.c_str(), &info);
        return static_cast<std::uintmax_t>(info.f_bavail) * info.f_frsize;
    }

    std::uintmax_t usedBytes() const
    {
        struct statvfs info {};
        ::statvfs(folder_.c_str(), &info);
        return static_cast<std::uintmax_t>(info.f_blocks - info.f_bfree) * info.f_frsize;
    }
    // Shrinks (or grows) the file system to this many bytes; false when refused.
    bool resize(std::uintmax_t bytes, bool readOnly = false)
    {
        const std::string size = "size=" + std::to_string(bytes);
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount("tmpfs", folder_.c_str(), "tmpfs", flags, size.c_str()) == 0;
    }

private:
    std::string folder_;
    bool mounted_ = false;
    std::string error_;
};

std::uintmax_t databaseBytes(const std::string& data)
{
    std::uintmax_t total = 0;
    for (const std::string& file : TestSupport::listFiles(data)) {
        if (endsWith(file, ".db") && file.rfind("institution/", 0) != 0)
            total += fs::file_size(data + "/" + file);
    }
    return total;
}

TEST(FaultDisk, AFullDiskFailsTheMigrationCleanlyAtEveryStep)
{
    // The free space after the data is laid out, as a share of the bytes of the databases that
    // are copied: the copies run out of space early, midway and near the end; with room for every
    // copy, a large rule file or configuration is the one that does not fit.
    struct Case {
        double freeShare;
        std::function<void(const std::string& data)> prepare;
        std::string reason;
        bool readOnly = false;
    };
    const auto asGenerated = [](const std::string&) {};
    const std::vector<Case> cases{
        {0.05, asGenerated, "study/jobs.db.new"},
        {0.3, asGenerated, ".db.new"},
        {0.6, asGenerated, ".db.new"},
        {0.9, asGenerated, ".db.new"},
        {1.0, [](const std::string& data) { TestSupport::writeFile(data + "/conf/sending.json", largeSendingRules(400000)); },
         "sending.json.new"},
        {1.0, [](const std::string& data) { growMainConf(data + "/conf/main.conf", 400000); }, "main.conf.new"},
        {1.0, asGenerated, "study/jobs.db.new", true},
    };
    for (const Case& c : cases) {
        const std::string name = "free space " + std::to_string(c.freeShare) + " of the databases" +
                                 (c.readOnly ? ", read-only" : "") + ", then " + c.reason;
        TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        SmallDisk disk(sandbox.dataDirectory());
        if (!disk.mounted())
            GTEST_SKIP() << "mounting a tmpfs is not permitted: " << disk.error();
        Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallDirectory());
        c.prepare(sandbox.dataDirectory());
        const std::uintmax_t page = 4096;
        const auto free = static_cast<std::uintmax_t>(c.freeShare * databaseBytes(sandbox.dataDirectory()));
        const std::uintmax_t size = (disk.usedBytes() + free + page - 1) / page * page;
        ASSERT_TRUE(disk.resize(size, c.readOnly)) << name;
        const Snapshot before = originals(sandbox.dataDirectory());
        // Without room for the largest database copy the run is refused before the first step.
        const bool refused = disk.availableBytes() < largestMigratedDatabase(sandbox.dataDirectory());

        const auto result = sandbox.run({"m"});
        expectStepFailure(result, refused ? "Not enough free space in '" : c.reason, name);
        if (refused) {
            EXPECT_EQ(result.out.find("Migrating"), std::string::npos) << name << "\n" << result.out;
            EXPECT_EQ(joined(sandbox.leftovers()), "") << name;
        }
        EXPECT_EQ(joined(differences(before, originals(sandbox.dataDirectory()))), "") << name;
    }
}

// Room for everything but the largest database copy: the run is refused at once, naming the
// folder of that database, the bytes it needs and the bytes free, and nothing is written.
TEST(FaultDisk, ADiskWithoutRoomForTheLargestCopyRefusesTheRunBeforeTheFirstStep)
{
    TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    SmallDisk disk(sandbox.dataDirectory());
    if (!disk.mounted())
        GTEST_SKIP() << "mounting a tmpfs is not permitted: " << disk.error();
    Fixtures::V12Options options = smallDirectory();
    options.events = 3000;
    Fixtures::createV12DataDirectory(sandbox.dataDirectory(), options);
    const std::uintmax_t history = fs::file_size(sandbox.data("record/rm.db"));
    ASSERT_EQ(largestMigratedDatabase(sandbox.dataDirectory()), history);
    ASSERT_TRUE(disk.resize(disk.usedBytes() + history - 4096));
    const std::uintmax_t available = disk.availableBytes();
    ASSERT_LT(available, history);
    const Snapshot before = originals(sandbox.dataDirectory());

    const auto result = sandbox.run({"m"});
    // The log written before the check may take a page of what was free.
    const std::regex report("Not enough free space in '" + sandbox.data("record") +
                            "': the migration needs at least " + std::to_string(history) +
                            " bytes there, ([0-9]+) bytes are free\\.");
    expectStepFailure(result, "Not enough free space in '", "refused");
    std::smatch free;
    ASSERT_TRUE(std::regex_search(result.out, free, report)) << result.out;
    EXPECT_LE(std::stoull(free[1]), available);
    EXPECT_GT(std::stoull(free[1]) + 65536, available);
    EXPECT_EQ(result.out.find("Migrating"), std::string::npos) << result.out;
    EXPECT_EQ(joined(differences(before, originals(sandbox.dataDirectory()))), "");
    EXPECT_EQ(joined(sandbox.leftovers()), "");

    // With room for it the steps run (whether the rest fits shows only once copies are compacted).
    ASSERT_TRUE(disk.resize(disk.usedBytes() + history + 65536));
    const auto started = sandbox.run({"m"});
    EXPECT_EQ(started.out.find("Not enough free space"), std::string::npos) << started.out;
    EXPECT_NE(started.out.find("Migrating institutions..."), std::string::npos) << started.out;
}

// The ".new" file named in the report of a failed run; empty when it names none.
std::string failedCopy(const std::string& out)
{
    for (const std::string& line : E2e::lines(out)) {
        if (!E2e::startsWith(line, "Error: Migration failed: "))
            continue;
        for (const std::string tag : {"|Files::Exceptions::Filename=", "|Exceptions::DestinationFilename=",
                                      "|Sqlite::Exceptions::Filename="}) {
            const std::size_t start = line.find(tag);
            if (start == std::string::npos)
                continue;
            const std::size_t end = line.find('|', start + tag.size());
            const std::string name = line.substr(start + tag.size(), end - start - tag.size());
            if (endsWith(name, ".new"))
                return name;
        }
    }
    return std::string();
}

TEST(FaultDisk, TheSmallRuleAndConfigurationCopiesFailCleanlyWhenTheirPageIsMissing)
{
    // Free space for every database copy, less a few pages: depending on how many are missing,
    // the small files written last (whose bytes reach the disk only when they are flushed) are
    // the ones that do not fit.
    std::set<std::string> failed;
    for (int missingPages = 8; missingPages >= 0; --missingPages) {
        const std::string name = std::to_string(missingPages) + " pages short";
        TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        SmallDisk disk(sandbox.dataDirectory());
        if (!disk.mounted())
            GTEST_SKIP() << "mounting a tmpfs is not permitted: " << disk.error();
        Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallDirectory());
        const std::uintmax_t page = 4096;
        std::uintmax_t copyPages = 0;
        for (const std::string& file : TestSupport::listFiles(sandbox.dataDirectory())) {
            if (endsWith(file, ".db") && file.rfind("institution/", 0) != 0)
                copyPages += (fs::file_size(sandbox.data(file)) + page - 1) / page;
        }
        ASSERT_TRUE(disk.resize(disk.usedBytes() + (copyPages - missingPages) * page)) << name;
        const Snapshot before = originals(sandbox.dataDirectory());

        const auto result = sandbox.run({"m"});
        if (result.exitCode == 0) {
            EXPECT_NE(result.out.find("Migration finished successfully."), std::string::npos) << name;
            EXPECT_EQ(joined(sandbox.leftovers()), "") << name;
            continue;
        }
        if (result.out.find("Error: Writing the migration record '") != std::string::npos) {
            // Every copy fitted, the record written before the swap did not: nothing swapped.
            EXPECT_EQ(lastLine(result.out), "Error: Migration failed.") << name << "\n" << result.out;
            EXPECT_EQ(joined(differences(before, originals(sandbox.dataDirectory()))), "") << name;
            EXPECT_FALSE(fs::exists(sandbox.data("migration.journal.new"))) << name;
            continue;
        }
        expectStepFailure(result, ".new", name);
        EXPECT_EQ(joined(differences(before, originals(sandbox.dataDirectory()))), "") << name;
        const std::string copy = failedCopy(result.out);
        if (!copy.empty())
            failed.insert(copy.substr(sandbox.dataDirectory().size() + 1));
    }
    for (const char* file : {"conf/sending.json.new", "conf/storing.json.new", "conf/main.conf.new"})
        EXPECT_EQ(failed.count(file), 1u) << file << " never failed; failed:\n" << joined({failed.begin(), failed.end()});
}

TEST(FaultObstacles, ALinkWhereACopyIsWrittenNeverChangesTheFileItPointsAt)
{
    // A ".new" left as a symbolic link to the original: writing the copy through it would
    // overwrite the service's own file before the migration has succeeded.
    for (const std::string file : {"study/jobs.db", "conf/user.db", "conf/sending.json", "conf/main.conf"}) {
        TestSupport::MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        Fixtures::createV12DataDirectory(sandbox.dataDirectory(), smallDirectory());
        const std::string original = sandbox.data(file);
        fs::create_symlink(original, original + ".new");
        const Snapshot before = originals(sandbox.dataDirectory());

        const auto result = sandbox.run({"m"});
        if (result.exitCode != 0) {
            expectStepFailure(result, original, file);
            EXPECT_EQ(joined(differences(before, originals(sandbox.dataDirectory()))), "") << file;
        } else {
            EXPECT_NE(result.out.find("Migration finished successfully."), std::string::npos) << file << result.out;
            EXPECT_FALSE(fs::is_symlink(original)) << file;
            EXPECT_TRUE(fs::is_regular_file(original)) << file;
            EXPECT_EQ(joined(sandbox.leftovers()), "") << file;
            EXPECT_NE(TestSupport::readFile(sandbox.data("conf/main.conf")).find("version = 13"), std::string::npos)
                << file;
            Fixtures::Database jobs(sandbox.data("study/jobs.db"));
            EXPECT_EQ(jobs.columns("jobs").size(), 19u) << file;
            Fixtures::Database users(sandbox.data("conf/user.db"));
            EXPECT_EQ(users.integer("SELECT count(*) FROM Users"), smallDirectory().users) << file;
        }
    }
}

} // namespace
