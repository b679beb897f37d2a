// The migration record acts only on what its run wrote: ordinary directories end without one,
// a hand-made record is refused before anything changes, names keep every byte they may hold,
// and what cannot be deleted after success is reported and left to the administrator.
#include "fixtures/v12data.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using TestSupport::MigratorSandbox;
using TestSupport::readFile;
using TestSupport::writeFile;

const std::string alreadyMigrated = "The current data has already been migrated.";

bool hasRecord(const MigratorSandbox& sandbox) {
    return fs::exists(fs::symlink_status(sandbox.data("migration.journal")));
}

std::unique_ptr<MigratorSandbox> smallV12() {
    auto sandbox = std::make_unique<MigratorSandbox>(QELT_MIGRATOR_PATH);
    Fixtures::createV12DataDirectory(sandbox->dataDirectory(), Fixtures::smallV12Options());
    return sandbox;
}

TEST(MigrationRecord, OrdinaryDirectoriesEndWithoutOneAndLaterRunsTouchNothing) {
    const std::vector<std::pair<std::string, std::function<void(const MigratorSandbox&)>>> shapes = {
        {"no session folder", [](const MigratorSandbox& s) { fs::remove_all(s.data("study/session")); }},
        {"no study folder", [](const MigratorSandbox& s) { fs::remove_all(s.data("study")); }},
        {"a session file", [](const MigratorSandbox& s) {
             fs::remove_all(s.data("study/session"));
             writeFile(s.data("study/session"), "not a folder");
         }},
        {"a dangling session link", [](const MigratorSandbox& s) {
             fs::remove_all(s.data("study/session"));
             fs::create_symlink(s.root() + "/nowhere", s.data("study/session"));
         }},
        {"a session link to a folder outside", [](const MigratorSandbox& s) {
             fs::remove_all(s.data("study/session"));
             writeFile(s.root() + "/outside/keep.part", "outside");
             fs::create_symlink(s.root() + "/outside", s.data("study/session"));
         }},
    };
    for (const auto& [shape, make] : shapes) {
        SCOPED_TRACE(shape);
        const auto sandbox = smallV12();
        make(*sandbox);
        const TestSupport::ChildResult run = sandbox->run({"m"});
        ASSERT_EQ(0, run.exitCode) << run.out << run.err;
        EXPECT_FALSE(hasRecord(*sandbox));
        const bool oddSession = fs::is_symlink(sandbox->data("study/session")) ||
                                fs::is_regular_file(sandbox->data("study/session"));
        EXPECT_EQ(oddSession, run.out.find("Warning: The folder '" + sandbox->data("study/session") + "' is not a folder") !=
                                  std::string::npos)
            << run.out;
        if (fs::exists(sandbox->root() + "/outside/keep.part")) {
            EXPECT_EQ("outside", readFile(sandbox->root() + "/outside/keep.part"));
        }

        // What the administrator and the restarted service make afterwards stays.
        writeFile(sandbox->data("conf/user.db.bak"), "administrator's backup");
        if (!oddSession)
            writeFile(sandbox->data("study/session/live-upload.part"), "live");
        const TestSupport::ChildResult again = sandbox->run({"m"});
        EXPECT_EQ(1, again.exitCode);
        EXPECT_NE(std::string::npos, again.out.find(alreadyMigrated)) << again.out;
        EXPECT_EQ("administrator's backup", readFile(sandbox->data("conf/user.db.bak")));
        if (!oddSession) {
            EXPECT_EQ("live", readFile(sandbox->data("study/session/live-upload.part")));
        }
    }
}

TEST(MigrationRecord, AHandMadeRecordIsRefusedBeforeAnythingChanges) {
    const auto sandbox = smallV12();
    // A job folder that is a link to a folder outside the data directory.
    fs::create_directories(sandbox->root() + "/outside");
    writeFile(sandbox->root() + "/outside/job.db.bak", "outside");
    fs::create_symlink(sandbox->root() + "/outside", sandbox->data("study/linked"));
    const std::string head = "Qelt service migration record 2\nstate committed\n";
    const std::vector<std::pair<std::string, std::string>> records = {
        {"retire 1:1 conf/main.conf", "names 'conf/main.conf', which is not a file that a migration retires"},
        {"clear - conf", "names 'conf', which is not a folder that a migration empties"},
        {"replace 1:1 study/linked/job.db", "names 'study/linked/job.db', which is reached through a link"},
    };
    for (const auto& [entry, reason] : records) {
        SCOPED_TRACE(entry);
        writeFile(sandbox->data("migration.journal"), head + entry + "\nend\n");
        const TestSupport::ChildResult run = sandbox->run({"m"});
        EXPECT_EQ(255, run.exitCode);
        EXPECT_NE(std::string::npos, run.out.find("Error: Migration failed: The migration record '" +
                                                  sandbox->data("migration.journal") + "' " + reason))
            << run.out;
        EXPECT_EQ(std::string::npos, run.out.find("Migrating")) << run.out;
        EXPECT_TRUE(fs::exists(sandbox->data("conf/main.conf")));
        EXPECT_TRUE(fs::exists(sandbox->data("conf/user.db")));
        EXPECT_EQ("outside", readFile(sandbox->root() + "/outside/job.db.bak"));
    }
}

TEST(MigrationRecord, NamesKeepEveryByteAndUndeletableLeftoversAreOnlyReported) {
    const auto sandbox = smallV12();
    // A backslash is a character of a name on POSIX.
    fs::rename(sandbox->data("study/f0000"), sandbox->data("study/a\\b"));
    // A session file on a read-only file system cannot be deleted, even by root.
    const std::string readOnly = sandbox->data("study/session/ro");
    fs::create_directories(readOnly);
    const bool mounted = ::mount("none", readOnly.c_str(), "tmpfs", 0, nullptr) == 0;
    if (mounted) {
        writeFile(readOnly + "/held.part", "held");
        ::mount("none", readOnly.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
    }
    const TestSupport::ChildResult run = sandbox->run({"m"});
    if (mounted)
        ::umount(readOnly.c_str());
    ASSERT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(fs::exists(sandbox->data("study/a\\b/job.db")));
    EXPECT_FALSE(fs::exists(sandbox->data("study/a\\b/job.db.bak")));
    EXPECT_FALSE(hasRecord(*sandbox));
    if (!mounted)
        GTEST_SKIP() << "no tmpfs could be mounted for the undeletable session file";
    EXPECT_NE(std::string::npos,
              run.out.find("Warning: Failed to delete file '" + readOnly + "/held.part'.\n"))
        << run.out;
}

} // namespace
