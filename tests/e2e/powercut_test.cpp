// A power cut at any moment of a migration loses nothing. The data directory is mounted through
// the power-cut file system (support/powercut), which numbers every operation that changes the
// tree or makes it durable. A reference run lists them; runs are then cut at every sync, every
// rename and at points spread between them. A cut keeps only what was on disk, in three images:
// the synced names and contents alone, the same with the latest unsynced rename written before
// the earlier ones, and every name written early with only the synced contents. Before the next
// run an image without a migration record must be plainly the version-12 or the migrated data;
// the next runs must end as an uninterrupted migration ends.
//
// QELT_POWERCUT_CUTS sets the number of cuts (every sync and rename is always cut); "all" cuts
// at every operation.
#include "e2e/directorystate.hpp"

#include "fixtures/v12data.hpp"
#include "support/filecontent.hpp"
#include "support/migratorsandbox.hpp"
#include "support/powercut/powercutmount.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <mutex>
#include <set>

#ifndef QELT_POWERCUTFS_PATH
#define QELT_POWERCUTFS_PATH ""
#endif

namespace {

namespace fs = std::filesystem;
using TestSupport::MigratorSandbox;

const char* const fileSystem = QELT_POWERCUTFS_PATH;
const char* const images[] = {"durable", "latest-rename-early", "names-early"};
const char* const record = "migration.journal";

// Why the power-cut tests cannot run here, computed once; empty when they can.
const std::string& refusal() {
    static const std::string reason = PowerCut::mountRefusal(fileSystem);
    return reason;
}

#define SKIP_WITHOUT_FUSE()                                                                                            \
    if (!refusal().empty()) {                                                                                          \
        GTEST_SKIP() << "the power-cut file system cannot be mounted here: " << refusal();                             \
    }

// Writes the text over the file's content, synced with fsync or fdatasync when asked.
void writeThrough(const std::string& path, const std::string& text, int (*sync)(int) = nullptr) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(descriptor, 0) << path;
    EXPECT_EQ(static_cast<ssize_t>(text.size()), ::write(descriptor, text.data(), text.size()));
    if (sync) {
        EXPECT_EQ(0, sync(descriptor));
    }
    ::close(descriptor);
}

void syncFolder(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(descriptor, 0) << path;
    EXPECT_EQ(0, ::fsync(descriptor));
    ::close(descriptor);
}

// The file's content in an image, or "(missing)".
std::string contentOf(const std::string& path) {
    return fs::exists(path) ? TestSupport::readFile(path) : "(missing)";
}

// The file system's model of what a power cut keeps, cut when it is unmounted: a backing folder
// with the folders x and y, each holding a file f ("old"), mounted at "mount".
class PowerCutFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_FUSE()
        for (const char* folder : {"backing/x", "backing/y", "mount"})
            fs::create_directories(root_ / folder);
        for (const char* file : {"backing/x/f", "backing/y/f"})
            writeThrough(root_ / file, "old");
        mount_ = std::make_unique<PowerCut::Mount>(fileSystem, root_ / "backing", root_ / "mount", root_ / "output");
    }

    std::string mounted(const std::string& relative) const { return root_ / ("mount/" + relative); }

    // The content of the file in the image after a cut now.
    std::string afterCut(const std::string& image, const std::string& relative) {
        if (mount_) {
            mount_->unmount();
            mount_.reset();
        }
        return contentOf(root_ / ("output/" + image + "/" + relative));
    }

    TestSupport::TemporaryDirectory root_;
    std::unique_ptr<PowerCut::Mount> mount_;
};

TEST_F(PowerCutFileSystemTest, KeepsAWriteOnlyWhenTheFileWasSynced) {
    writeThrough(mounted("x/f"), "synced", ::fsync);
    writeThrough(mounted("y/f"), "data synced", ::fdatasync);
    writeThrough(mounted("x/f"), "written after the sync");
    EXPECT_EQ("synced", afterCut("durable", "x/f"));
    EXPECT_EQ("data synced", afterCut("durable", "y/f"));
    EXPECT_EQ("synced", afterCut("names-early", "x/f"));
}

TEST_F(PowerCutFileSystemTest, KeepsARenameOnlyWhenItsFolderWasSynced) {
    writeThrough(mounted("x/f.new"), "new", ::fsync);
    fs::rename(mounted("x/f.new"), mounted("x/f"));
    writeThrough(mounted("y/f.new"), "new", ::fsync);
    fs::rename(mounted("y/f.new"), mounted("y/f"));
    syncFolder(mounted("y"));
    EXPECT_EQ("old", afterCut("durable", "x/f"));
    EXPECT_EQ("(missing)", afterCut("durable", "x/f.new"));
    EXPECT_EQ("new", afterCut("durable", "y/f"));
    EXPECT_EQ("new", afterCut("names-early", "x/f"));
}

TEST_F(PowerCutFileSystemTest, WritesTheLatestUnsyncedRenameBeforeTheEarlierOnes) {
    writeThrough(mounted("x/f.new"), "new", ::fsync);
    syncFolder(mounted("x"));
    fs::rename(mounted("x/f"), mounted("x/f.bak"));
    fs::rename(mounted("x/f.new"), mounted("x/f"));
    EXPECT_EQ("new", afterCut("latest-rename-early", "x/f"));
    EXPECT_EQ("(missing)", afterCut("latest-rename-early", "x/f.bak"));
    EXPECT_EQ("old", afterCut("names-early", "x/f.bak"));
    EXPECT_EQ("old", afterCut("durable", "x/f"));
}

TEST_F(PowerCutFileSystemTest, KeepsACreatedFileEmptyUntilItIsSynced) {
    writeThrough(mounted("x/g"), "unsynced");
    syncFolder(mounted("x"));
    EXPECT_EQ("", afterCut("durable", "x/g"));
    EXPECT_FALSE(fs::exists(root_ / "output/latest-rename-early"));
}

// The kind of a numbered operation line: "12 rename /a /b" gives "rename".
std::string kindOf(const std::string& operation) {
    const std::string::size_type start = operation.find(' ') + 1;
    return operation.substr(start, operation.find(' ', start) - start);
}

bool isSyncOrRename(const std::string& operation) {
    const std::string kind = kindOf(operation);
    return kind == "fsync" || kind == "fsyncdir" || kind == "rename";
}

// The state without the ".new" files of the steps (and their engine's companions) and the
// unfinished record: what a run that has not begun to swap leaves beside the service's files.
E2e::DirectoryState withoutNewFiles(E2e::DirectoryState state) {
    for (auto entry = state.begin(); entry != state.end();)
        entry = entry->first.find(".new") != std::string::npos ? state.erase(entry) : std::next(entry);
    return state;
}

// Every entry below the image but the log folder, in order, with the bytes of each file: two
// images with the same key are the same input to the migrator.
std::size_t keyOf(const std::string& image) {
    std::set<std::string> entries;
    for (auto entry = fs::recursive_directory_iterator(image); entry != fs::recursive_directory_iterator(); ++entry) {
        const std::string name = fs::relative(entry->path(), image).generic_string();
        if (name == "log" || E2e::startsWith(name, "log/"))
            continue;
        entries.insert(name + (entry->is_regular_file() ? "\n" + TestSupport::readFile(entry->path().string()) : "/"));
    }
    std::string key;
    for (const std::string& entry : entries)
        key += entry + '\0';
    return std::hash<std::string>()(key);
}

// The numbers of the operations, from 1, that pass the test.
std::vector<std::uint64_t> numbersOf(const std::vector<std::string>& operations,
                                     const std::function<bool(std::uint64_t, const std::string&)>& test) {
    std::vector<std::uint64_t> numbers;
    for (std::size_t index = 0; index < operations.size(); ++index) {
        if (test(index + 1, operations[index]))
            numbers.push_back(index + 1);
    }
    return numbers;
}

// The number of the first operation at or after from that is the text; 0 when none.
std::uint64_t numberOf(const std::vector<std::string>& operations, const std::string& text, std::uint64_t from = 1) {
    for (std::uint64_t number = from; number <= operations.size(); ++number) {
        if (operations[number - 1] == std::to_string(number) + " " + text)
            return number;
    }
    return 0;
}

class PowerCutTest : public ::testing::Test {
protected:
    // The version-12 data, the directory an uninterrupted migration leaves, and the numbered
    // operations of a migration through the file system.
    static void SetUpTestSuite() {
        if (!refusal().empty())
            return;
        source_ = new TestSupport::TemporaryDirectory;
        Fixtures::createV12DataDirectory(*source_ / "data", Fixtures::smallV12Options());
        MigratorSandbox plain(QELT_MIGRATOR_PATH);
        fs::copy(*source_ / "data", plain.dataDirectory(), fs::copy_options::recursive);
        if (plain.run({"m"}).exitCode != 0)
            throw std::runtime_error("reference migration failed");
        v12_ = new E2e::DirectoryState(E2e::stateOf(*source_ / "data"));
        expected_ = new E2e::DirectoryState(E2e::stateOf(plain.dataDirectory()));
        reference_ = new MigratorSandbox(QELT_MIGRATOR_PATH);
        operations_ = new std::vector<std::string>(operationsOf(*reference_, *source_ / "data"));
    }
    static void TearDownTestSuite() {
        delete operations_;
        delete reference_;
        delete expected_;
        delete v12_;
        delete source_;
    }

    void SetUp() override { SKIP_WITHOUT_FUSE() }

    static const std::vector<std::string>& operations() { return *operations_; }

    // Copies the folder with the modification times of its files, which the migration record's
    // stamps compare, as a disk keeps them when the power comes back.
    static void copyKeepingTimes(const std::string& from, const std::string& to) {
        fs::copy(from, to, fs::copy_options::recursive);
        for (const auto& entry : fs::recursive_directory_iterator(from)) {
            if (entry.is_regular_file() && !entry.is_symlink())
                fs::last_write_time(to / fs::relative(entry.path(), from), entry.last_write_time());
        }
    }

    // Runs "migrator m" on a copy of the data folder mounted through the file system at the
    // sandbox's data directory, cut at the operation (0: none); the copy is <root>/disk, the
    // file system's output <root>/output.
    static TestSupport::ChildResult runThrough(const MigratorSandbox& sandbox, const std::string& data,
                                               std::uint64_t cut) {
        copyKeepingTimes(data, sandbox.root() + "/disk");
        PowerCut::Mount mount(fileSystem, sandbox.root() + "/disk", sandbox.dataDirectory(), sandbox.root() + "/output",
                              cut);
        TestSupport::ChildResult result = sandbox.run({"m"});
        mount.unmount();
        return result;
    }

    // The numbered operations of an uninterrupted "migrator m" on the data folder, which ends
    // with 0, or with 1 after the recovery of a committed migration.
    static std::vector<std::string> operationsOf(const MigratorSandbox& sandbox, const std::string& data) {
        const TestSupport::ChildResult run = runThrough(sandbox, data, 0);
        if (run.exitCode != 0 && run.exitCode != 1)
            throw std::runtime_error("migration through the power-cut file system failed:\n" + run.out + run.err);
        return E2e::lines(TestSupport::readFile(sandbox.root() + "/output/operations"));
    }

    // The creation of the first record, where the swap begins.
    static std::uint64_t swapBegins() { return numberOf(operations(), "create /migration.journal.new"); }

    // The rename that puts the committed record in place: the second rename of the record.
    static std::uint64_t commit() {
        const std::string rename = "rename /migration.journal.new /migration.journal";
        return numberOf(operations(), rename, numberOf(operations(), rename) + 1);
    }

    // The operations to cut at among those from first to last: every sync and rename, and
    // others spread evenly over the whole run up to the number of cuts wanted.
    static std::vector<std::uint64_t> cutsBetween(std::uint64_t first, std::uint64_t last) {
        const char* wanted = std::getenv("QELT_POWERCUT_CUTS");
        const std::string setting = wanted ? wanted : "200";
        const std::size_t count = operations().size();
        const std::size_t kept = numbersOf(operations(), [](std::uint64_t, const std::string& operation) {
                                     return isSyncOrRename(operation);
                                 }).size();
        const std::size_t target = setting == "all" ? count : std::min<std::size_t>(count, std::stoul(setting));
        const double spread = target > kept ? double(count - kept) / double(target - kept) : double(count + 1);
        std::size_t others = 0;
        return numbersOf(operations(), [&](std::uint64_t number, const std::string& operation) {
            if (isSyncOrRename(operation))
                return number >= first && number <= last;
            const bool chosen = std::size_t(double(others) / spread) != std::size_t(double(others + 1) / spread);
            ++others;
            return chosen && number >= first && number <= last;
        });
    }

    // True the first time an image with this content is seen: the migrator, which does the same
    // on the same input, need not run on it again.
    static bool isNew(const std::string& image) {
        static std::mutex guard;
        static std::set<std::size_t> seen;
        const std::size_t key = keyOf(image);
        const std::lock_guard<std::mutex> lock(guard);
        return seen.insert(key).second;
    }

    // Checks an image of a cut: without a record it is plainly the version-12 data or the
    // migrated one; then the migrator, run on it until it ends with 0 or 1 (at most three
    // times), leaves the directory the uninterrupted migration leaves.
    static void expectEndsAsUninterrupted(MigratorSandbox& sandbox, const std::string& image, const std::string& point) {
        if (!fs::exists(image + "/" + record)) {
            const E2e::DirectoryState state = withoutNewFiles(E2e::stateOf(image));
            EXPECT_TRUE(state == *v12_ || state == *expected_)
                << point << ": neither version 12 nor migrated, without a record; from version 12:\n"
                << E2e::differences(*v12_, state) << "from the migrated data:\n"
                << E2e::differences(*expected_, state);
        }
        sandbox.setDataDirectoryValue(image);
        const E2e::Ending ending = E2e::runUntilEnded(sandbox);
        EXPECT_TRUE(ending.ended) << point << "\n" << ending.transcript;
        EXPECT_EQ("", E2e::differences(*expected_, E2e::stateOf(image))) << point << "\n" << ending.transcript;
    }

    // Cuts a run on the data folder at the operation and lets the migrator end on each image
    // the cut left that was not seen before; returns the number of those images.
    static int cutAt(const std::string& data, const std::vector<std::string>& operations, std::uint64_t cut) {
        MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
        const std::string& operation = operations[cut - 1];
        const TestSupport::ChildResult run = runThrough(sandbox, data, cut);
        EXPECT_EQ(E2e::killedExitCode, run.exitCode) << operation << "\n" << run.out << run.err;
        EXPECT_EQ(operation + "\n", TestSupport::readFile(sandbox.root() + "/output/cut"))
            << "the migration made other operations than the reference run";
        int checked = 0;
        for (const char* image : images) {
            const std::string path = sandbox.root() + "/output/" + image;
            if (!fs::exists(path) || !isNew(path))
                continue;
            expectEndsAsUninterrupted(sandbox, path, "cut at " + operation + ", image " + image);
            ++checked;
        }
        return checked;
    }

    // Cuts at each of the operations on two workers and reports the figures.
    static void cutEach(const std::string& data, const std::vector<std::string>& operations,
                        const std::vector<std::uint64_t>& numbers, const std::string& what) {
        const auto start = std::chrono::steady_clock::now();
        std::atomic<int> checked{0};
        E2e::onTwoWorkers(numbers.size(), [&](std::size_t index) { checked += cutAt(data, operations, numbers[index]); });
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
        ::testing::Test::RecordProperty("cuts", static_cast<int>(numbers.size()));
        std::cout << "[ powercut ] " << numbers.size() << " cuts " << what << ", " << checked
                  << " distinct images checked, " << seconds << " s\n";
    }

    // Cuts a migration at the operation, keeps the image in which every name was written, then
    // cuts the run on that image at each sync and rename of its recovery.
    static void cutEachSyncAndRenameOfTheRecoveryAfter(std::uint64_t cut) {
        MigratorSandbox first(QELT_MIGRATOR_PATH);
        runThrough(first, *source_ / "data", cut);
        const std::string image = first.root() + "/output/names-early";
        ASSERT_TRUE(fs::exists(image + "/" + record)) << operations()[cut - 1];
        MigratorSandbox second(QELT_MIGRATOR_PATH);
        const std::vector<std::string> recovery = operationsOf(second, image);
        const std::uint64_t end = numberOf(recovery, "unlink /migration.journal");
        ASSERT_NE(0u, end) << "no recovery after " << operations()[cut - 1];
        cutEach(image, recovery,
                numbersOf(recovery, [&](std::uint64_t number, const std::string& operation) {
                    return number <= end && isSyncOrRename(operation);
                }),
                "in the recovery after a cut at " + operations()[cut - 1]);
    }

    static TestSupport::TemporaryDirectory* source_;
    static E2e::DirectoryState* v12_;
    static E2e::DirectoryState* expected_;
    static MigratorSandbox* reference_;
    static std::vector<std::string>* operations_;
};

TestSupport::TemporaryDirectory* PowerCutTest::source_ = nullptr;
E2e::DirectoryState* PowerCutTest::v12_ = nullptr;
E2e::DirectoryState* PowerCutTest::expected_ = nullptr;
MigratorSandbox* PowerCutTest::reference_ = nullptr;
std::vector<std::string>* PowerCutTest::operations_ = nullptr;

TEST_F(PowerCutTest, AnUninterruptedMigrationLeavesEverythingOnDisk) {
    EXPECT_EQ("", E2e::differences(*expected_, E2e::stateOf(reference_->root() + "/disk")));
    EXPECT_EQ("", E2e::differences(*expected_, E2e::stateOf(reference_->root() + "/output/durable")));
}

TEST_F(PowerCutTest, CutWhileTheStepsWriteTheirFilesLeavesTheVersion12Data) {
    cutEach(*source_ / "data", operations(), cutsBetween(1, swapBegins() - 1), "while the steps write");
}

// The swap in two halves, each a test of its own, for the time limit of one test.
TEST_F(PowerCutTest, CutDuringTheFirstHalfOfTheSwapEndsAsTheUninterruptedRun) {
    const std::uint64_t middle = (swapBegins() + commit()) / 2;
    cutEach(*source_ / "data", operations(), cutsBetween(swapBegins(), middle), "in the first half of the swap");
}

TEST_F(PowerCutTest, CutDuringTheSecondHalfOfTheSwapEndsAsTheUninterruptedRun) {
    const std::uint64_t middle = (swapBegins() + commit()) / 2;
    cutEach(*source_ / "data", operations(), cutsBetween(middle + 1, commit()), "in the second half of the swap");
}

TEST_F(PowerCutTest, CutAfterTheCommitEndsAsTheUninterruptedRun) {
    cutEach(*source_ / "data", operations(), cutsBetween(commit() + 1, operations().size()), "after the commit");
}

// The fault this found: the replacement of conf/main.conf written to disk before its backup's
// name, which the swap had not synced in between, lost the old file while the record still
// said the swap was unfinished, and the next run found the data version 13 among version-12
// databases. The backup must hold the old file, so that the recovery puts it back.
TEST_F(PowerCutTest, TheReplacementWrittenBeforeTheBackupKeepsTheOldFile) {
    const std::uint64_t replaced = numberOf(operations(), "rename /conf/main.conf.new /conf/main.conf");
    ASSERT_NE(0u, replaced);
    MigratorSandbox sandbox(QELT_MIGRATOR_PATH);
    runThrough(sandbox, *source_ / "data", replaced + 1);
    const std::string image = sandbox.root() + "/output/latest-rename-early";
    EXPECT_EQ(expected_->at("conf/main.conf"), TestSupport::readFile(image + "/conf/main.conf"));
    EXPECT_EQ(v12_->at("conf/main.conf"), contentOf(image + "/conf/main.conf.bak"));
    expectEndsAsUninterrupted(sandbox, image, "cut after the replacement of conf/main.conf");
}

TEST_F(PowerCutTest, CutAgainDuringTheRecoveryOfAnUnfinishedSwapEndsAsTheUninterruptedRun) {
    cutEachSyncAndRenameOfTheRecoveryAfter(commit());
}

TEST_F(PowerCutTest, CutAgainDuringTheRecoveryOfACommittedSwapEndsAsTheUninterruptedRun) {
    cutEachSyncAndRenameOfTheRecoveryAfter(commit() + 2);
}

} // namespace
