// The migrator run as a program with its standard error on a terminal and without one: the
// progress line appears only on a terminal and leaves standard output and the log unchanged.
#include "fixtures/v12data.hpp"
#include "support/childprocess.hpp"
#include "support/filecontent.hpp"
#include "support/temporarydirectory.hpp"
#include "support/terminalchild.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

namespace {

namespace fs = boost::filesystem;

struct DataRun {
    TestSupport::TemporaryDirectory root;
    std::string data = root / "data";

    explicit DataRun(unsigned folders) {
        Fixtures::V12Options options;
        options.folders = folders;
        Fixtures::createV12DataDirectory(data, options);
        TestSupport::writeFile(root / "registry.reg",
                               "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\Software\\Quorlin Software\\Qelt\\Service\\Settings]\r\n"
                               "\"DataDirectory\"=\"" + data + "\"\r\n");
    }

    TestSupport::ChildOptions options() const {
        TestSupport::ChildOptions options;
        options.arguments = {"m"};
        options.environment = {{"QELT_REGISTRY_FILE", root / "registry.reg"},
                               {"QELT_COMMON_APPDATA", root / "appdata"}};
        options.workingDirectory = root.path();
        return options;
    }

    // Standard output with the run's own folder replaced, so that runs on different folders compare.
    std::string comparable(const std::string& out) const {
        std::string text = out;
        for (std::string::size_type at; (at = text.find(root.path())) != std::string::npos;)
            text.replace(at, root.path().size(), "<root>");
        return text;
    }

    // The log without the time stamp and process number of each entry.
    std::string comparableLog() const {
        std::string log;
        for (const auto& file : TestSupport::listFiles(data)) {
            if (file.rfind("log/", 0) == 0)
                log += TestSupport::readFile(data + "/" + file);
        }
        const std::string undated = std::regex_replace(comparable(log), std::regex(R"(\[[^\]]*\] \[)"), "[");
        return std::regex_replace(undated, std::regex(R"(\( *[0-9]+\) )"), "");
    }
};

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::string::size_type at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(ProgressEndToEnd, ALineOnATerminalOnlyAndTheSameOutputAndLogEitherWay) {
    const unsigned folders = 4;
    DataRun onTerminal(folders);
    const auto shown = TestSupport::runWithTerminalError(QELT_MIGRATOR_PATH, onTerminal.options());
    ASSERT_EQ(shown.exitCode, 0) << shown.out << shown.terminal;

    DataRun offTerminal(folders);
    const auto silent = TestSupport::runChild(QELT_MIGRATOR_PATH, offTerminal.options());
    ASSERT_EQ(silent.exitCode, 0) << silent.out << silent.err;
    EXPECT_EQ(silent.err, "");

    EXPECT_NE(shown.out.find("Migration finished successfully."), std::string::npos) << shown.out;
    EXPECT_EQ(onTerminal.comparable(shown.out), offTerminal.comparable(silent.out));
    EXPECT_EQ(shown.out.find('\033'), std::string::npos);
    EXPECT_FALSE(onTerminal.comparableLog().empty());
    EXPECT_EQ(onTerminal.comparableLog(), offTerminal.comparableLog());

    const std::string& terminal = shown.terminal;
    const std::string erase = "\r\033[K";
    EXPECT_EQ(terminal.find('\n'), std::string::npos) << terminal;
    ASSERT_GE(terminal.size(), erase.size());
    EXPECT_EQ(terminal.substr(terminal.size() - erase.size()), erase) << "the line is cleared at the end";
    // A database being copied shows the bytes copied so far before its size.
    const std::regex line("\r\033\\[K(Migrating [a-z .]+): ([a-z0-9/.]+) \\((?:[0-9.]+ [KMG]?i?B of )?([0-9.]+ "
                          "[KMG]?i?B)(?: copied)?\\), ([0-9]+) of ([0-9]+) files?, ([0-9]+:[0-9][0-9])");
    std::vector<std::string> files;
    std::size_t studies = 0;
    std::size_t lines = 0;
    for (std::sregex_iterator match(terminal.begin(), terminal.end(), line), end; match != end; ++match) {
        ++lines;
        const std::string step = (*match)[1];
        // A long piece of work shows its file again with the time moved on.
        if (!files.empty() && files.back() == (*match)[2])
            continue;
        files.push_back((*match)[2]);
        if (step == "Migrating studies") {
            EXPECT_EQ((*match)[4], std::to_string(studies));
            EXPECT_EQ((*match)[5], std::to_string(folders + 2));
            ++studies;
        } else if (step == "Migrating settings.json") {
            EXPECT_EQ((*match)[4], files.back() == "conf/sending.json" ? "0" : "1");
            EXPECT_EQ((*match)[5], "2");
        } else {
            EXPECT_EQ((*match)[4], "0");
            EXPECT_EQ((*match)[5], "1");
        }
    }
    EXPECT_EQ(studies, folders + 2);
    EXPECT_EQ(files.front(), "study/jobs.db");
    EXPECT_EQ(files[studies - 1], "study/deleted.db");
    const std::vector<std::string> others(files.begin() + static_cast<long>(studies), files.end());
    EXPECT_EQ(others, (std::vector<std::string>{"message/message.db", "record/rm.db", "conf/user.db",
                                                "conf/notification.db", "conf/sending.json", "conf/storing.json",
                                                "conf/main.conf"}));
    const std::size_t steps = 7;
    EXPECT_EQ(occurrences(terminal, erase), lines + steps)
        << "each line overwrites the one before, and each step clears the last once";
}

TEST(ProgressEndToEnd, AFailedMigrationLeavesNoLineBehind) {
    DataRun run(2);
    TestSupport::writeFile(run.data + "/study/f0001/job.db", "this is not a database, though it is long enough");
    const auto shown = TestSupport::runWithTerminalError(QELT_MIGRATOR_PATH, run.options());
    EXPECT_NE(shown.exitCode, 0) << shown.out;
    EXPECT_NE(shown.out.find("Error: "), std::string::npos) << shown.out;
    EXPECT_NE(shown.terminal.find("Migrating studies: study/jobs.db"), std::string::npos) << shown.terminal;
    const std::string erase = "\r\033[K";
    ASSERT_GE(shown.terminal.size(), erase.size());
    EXPECT_EQ(shown.terminal.substr(shown.terminal.size() - erase.size()), erase);

    DataRun quiet(2);
    TestSupport::writeFile(quiet.data + "/study/f0001/job.db", "this is not a database, though it is long enough");
    const auto silent = TestSupport::runChild(QELT_MIGRATOR_PATH, quiet.options());
    EXPECT_EQ(silent.err, "");
    EXPECT_EQ(run.comparable(shown.out), quiet.comparable(silent.out));
}

// True when a process other than this one has the file open.
bool openedByAnotherProcess(const std::string& file) {
    const fs::path path = fs::canonical(file);
    const std::string self = std::to_string(::getpid());
    boost::system::error_code error;
    for (fs::directory_iterator process("/proc", error), end; !error && process != end; process.increment(error)) {
        const std::string pid = process->path().filename().string();
        if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        boost::system::error_code unreadable;
        for (fs::directory_iterator fd(process->path() / "fd", unreadable); !unreadable && fd != end;
             fd.increment(unreadable)) {
            boost::system::error_code gone;
            if (fs::read_symlink(fd->path(), gone) == path)
                return true;
        }
    }
    return false;
}

// Another program holds study/jobs.db locked until the migration has been waiting for it for a
// few seconds: the line on the terminal says so, and standard output and the log are those of a
// run without a lock.
TEST(ProgressEndToEnd, AWaitForALockedDatabaseNamesItOnTheLine) {
    DataRun locked(1);
    const std::string database = locked.data + "/study/jobs.db";
    Fixtures::Database holder(database);
    holder.exec("BEGIN EXCLUSIVE;");
    std::thread release([&holder, &database] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!openedByAnotherProcess(database) && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        holder.exec("COMMIT;");
    });
    const auto shown = TestSupport::runWithTerminalError(QELT_MIGRATOR_PATH, locked.options());
    release.join();
    ASSERT_EQ(shown.exitCode, 0) << shown.out << shown.terminal;
    const std::regex waiting("\r\033\\[KMigrating studies: waiting for study/jobs\\.db, locked by another program, "
                             "0:0[0-9]\r\033\\[K");
    EXPECT_TRUE(std::regex_search(shown.terminal, waiting)) << shown.terminal;

    DataRun free(1);
    const auto silent = TestSupport::runChild(QELT_MIGRATOR_PATH, free.options());
    ASSERT_EQ(silent.exitCode, 0) << silent.out << silent.err;
    EXPECT_EQ(locked.comparable(shown.out), free.comparable(silent.out));
    EXPECT_EQ(locked.comparableLog(), free.comparableLog());
}

} // namespace
