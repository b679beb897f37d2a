#include "migrator/service/framework/progress.hpp"

#include "fixtures/v12data.hpp"
#include "migrator/service/version13/databasesteps.hpp"
#include "migrator/service/framework/framework.hpp"
#include "support/frameworkdouble.hpp"
#include "support/pseudoterminal.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

using Migration::Framework;
using Migration::Progress;
using Migration::progressLine;
using Strings = std::vector<std::string>;
using std::chrono::seconds;

// Writes what the line does, as "show <line>" and "clear", into the shared record.
class RecordingSink : public Migration::ProgressSink {
public:
    explicit RecordingSink(Strings& events) : events_(events) {}
    void show(const std::string& line) override { events_.push_back("show " + line); }
    void clear() override { events_.push_back("clear"); }

private:
    Strings& events_;
};

// Writes the line's changes into the console stream, so their order against console text shows.
class ConsoleSink : public Migration::ProgressSink {
public:
    explicit ConsoleSink(std::ostream& console) : console_(console) {}
    void show(const std::string& line) override { console_ << "[show " << line << "]"; }
    void clear() override { console_ << "[clear]"; }

private:
    std::ostream& console_;
};

using TestFramework = TestSupport::FrameworkDouble;

void writeBytes(const std::string& path, std::size_t count) {
    std::ofstream(path, std::ios::binary) << std::string(count, 'x');
}

TEST(ProgressLine, NamesStepFileSizeCountAndTime) {
    EXPECT_EQ(progressLine("Migrating studies", "study/f0003/job.db", 13002342, 3, 1000, seconds(42)),
              "Migrating studies: study/f0003/job.db (12.4 MiB), 3 of 1000 files, 0:42");
    EXPECT_EQ(progressLine("Migrating users", "conf/user.db", 0, 0, 1, seconds(0)),
              "Migrating users: conf/user.db (0 B), 0 of 1 file, 0:00");

    const auto sizeShown = [](std::uintmax_t size) {
        const std::string line = progressLine("s", "f", size, 0, 2, seconds(0));
        return line.substr(6, line.find(')') - 6);
    };
    EXPECT_EQ(sizeShown(1023), "1023 B");
    EXPECT_EQ(sizeShown(1024), "1.0 KiB");
    EXPECT_EQ(sizeShown(1536), "1.5 KiB");
    EXPECT_EQ(sizeShown(1024 * 1024 - 1), "1.0 MiB");
    EXPECT_EQ(sizeShown(3ull << 29), "1.5 GiB");
    EXPECT_EQ(sizeShown(5ull << 40), "5.0 TiB");
    EXPECT_EQ(sizeShown(5000ull << 40), "5000.0 TiB");

    const auto timeShown = [](long long elapsed) {
        const std::string line = progressLine("s", "f", 0, 0, 2, seconds(elapsed));
        return line.substr(line.rfind(' ') + 1);
    };
    EXPECT_EQ(timeShown(59), "0:59");
    EXPECT_EQ(timeShown(61), "1:01");
    EXPECT_EQ(timeShown(3599), "59:59");
    EXPECT_EQ(timeShown(3600), "1:00:00");
    EXPECT_EQ(timeShown(3725), "1:02:05");
    EXPECT_EQ(timeShown(100 * 3600), "100:00:00");
    EXPECT_EQ(timeShown(-5), "0:00");
}

TEST(Progress, ShowsEachFileWithTheFilesDoneAndTheTimeSinceTheStepBegan) {
    TestSupport::TemporaryDirectory dir;
    writeBytes(dir / "a.db", 2048);
    writeBytes(dir / "b.db", 10);

    Strings events;
    auto now = std::chrono::steady_clock::time_point() + seconds(1000);
    {
        Progress progress(std::make_unique<RecordingSink>(events), [&now] { return now; });
        EXPECT_TRUE(progress.active());
        progress.clear();
        progress.beginStep("Migrating studies", 2);
        EXPECT_TRUE(events.empty()) << "nothing is shown before the first file";

        progress.beginFile("study/a.db", dir / "a.db");
        now += seconds(42);
        progress.fileDone();
        progress.beginFile("study/b.db", dir / "b.db");
        progress.fileDone();
        progress.beginFile("study/gone.db", dir / "gone.db");
        progress.clear();
        progress.clear();
        progress.fileDone();
        progress.endStep();
        progress.endStep();

        now += seconds(100);
        progress.beginStep("Migrating users", 1);
        now += seconds(5);
        progress.beginFile("conf/user.db", dir / "b.db");
    }
    const Strings expected{
        "show Migrating studies: study/a.db (2.0 KiB), 0 of 2 files, 0:00",
        "show Migrating studies: study/b.db (10 B), 1 of 2 files, 0:42",
        "show Migrating studies: study/gone.db (0 B), 2 of 3 files, 0:42",
        "clear",
        "show Migrating users: conf/user.db (10 B), 0 of 1 file, 0:05",
        "clear",
    };
    EXPECT_EQ(events, expected);

    Progress silent;
    EXPECT_FALSE(silent.active());
    silent.beginStep("Migrating studies", 1);
    silent.beginFile("study/a.db", dir / "a.db");
    silent.fileDone();
    silent.endStep();

    events.clear();
    {
        Progress progress(std::make_unique<RecordingSink>(events));
        progress.beginStep("Migrating studies", 1);
        progress.beginFile("study/a.db", dir / "a.db");
        progress.setSink(nullptr);
        EXPECT_FALSE(progress.active());
        progress.beginFile("study/a.db", dir / "a.db");
    }
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events.back(), "clear");
}

TEST(Progress, TicksRedrawTheFileBeingWorkedOnAtMostFourTimesASecond) {
    TestSupport::TemporaryDirectory dir;
    writeBytes(dir / "a.db", 3000);
    Strings events;
    auto now = std::chrono::steady_clock::time_point() + seconds(7);
    Progress progress(std::make_unique<RecordingSink>(events), [&now] { return now; });
    progress.beginStep("Migrating history records", 1);
    progress.tick();
    progress.beginFile("record/rm.db", dir / "a.db");
    now += std::chrono::milliseconds(249);
    progress.tick();
    now += std::chrono::milliseconds(1);
    progress.tick();
    progress.tick();
    now += seconds(80);
    writeBytes(dir / "a.db", 10);
    progress.tick();
    progress.fileDone();
    now += seconds(1);
    progress.tick();
    progress.endStep();
    progress.tick();
    const Strings expected{
        "show Migrating history records: record/rm.db (2.9 KiB), 0 of 1 file, 0:00",
        "show Migrating history records: record/rm.db (2.9 KiB), 0 of 1 file, 0:00",
        "show Migrating history records: record/rm.db (2.9 KiB), 0 of 1 file, 1:20",
        "clear",
    };
    EXPECT_EQ(events, expected);
}

TEST(Progress, ACopyShowsItsBytesAndAWaitForALockWhatItWaitsForAndHowLong) {
    TestSupport::TemporaryDirectory dir;
    writeBytes(dir / "rm.db", 3 * 1024 * 1024);
    Strings events;
    auto now = std::chrono::steady_clock::time_point() + seconds(7);
    Progress progress(std::make_unique<RecordingSink>(events), [&now] { return now; });
    progress.beginStep("Migrating history records", 1);
    progress.beginFile("record/rm.db", dir / "rm.db");
    now += seconds(1);
    progress.waiting(true);
    now += seconds(2);
    progress.waiting(false);
    now += std::chrono::milliseconds(100);
    progress.waiting(false);
    now += seconds(1);
    progress.copied(1024 * 1024);
    now += std::chrono::milliseconds(100);
    progress.copied(2 * 1024 * 1024);
    now += seconds(1);
    progress.waiting(true);
    now += seconds(1);
    progress.tick();
    progress.endStep();
    const Strings expected{
        "show Migrating history records: record/rm.db (3.0 MiB), 0 of 1 file, 0:00",
        "show Migrating history records: waiting for record/rm.db, locked by another program, 0:00",
        "show Migrating history records: waiting for record/rm.db, locked by another program, 0:02",
        "show Migrating history records: record/rm.db (1.0 MiB of 3.0 MiB copied), 0 of 1 file, 0:04",
        "show Migrating history records: waiting for record/rm.db, locked by another program, 0:00",
        "show Migrating history records: record/rm.db (3.0 MiB), 0 of 1 file, 0:06",
        "clear",
    };
    EXPECT_EQ(events, expected);
}

TEST(Progress, AStepEndsOnTheLineAlsoWhenItFails) {
    Strings events;
    Progress progress(std::make_unique<RecordingSink>(events));
    try {
        Migration::ProgressStep step(progress, "Migrating messages", 1);
        progress.beginFile("message/message.db", "missing");
        throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events.back(), "clear");
}

using TestSupport::PseudoTerminal;

TEST(TerminalSink, OverwritesOneLineThatFitsTheTerminalAndExistsOnlyOnATerminal) {
    PseudoTerminal terminal(20);
    ASSERT_TRUE(terminal.valid());
    auto sink = Migration::terminalSink(terminal.slave());
    ASSERT_NE(sink, nullptr);
    sink->show("short");
    sink->show("0123456789abcdefghijKLMN");
    sink->show("0123456789abcdefgh\xC3\xA9xyz");
    sink->clear();
    EXPECT_EQ(terminal.received(), "\r\033[Kshort\r\033[K0123456789abcdefghi\r\033[K0123456789abcdefgh\r\033[K");

    TestSupport::TemporaryDirectory dir;
    writeBytes(dir / "plain", 0);
    const int file = ::open((dir / "plain").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(file, 0);
    EXPECT_EQ(Migration::terminalSink(file), nullptr);
    ::close(file);
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    EXPECT_EQ(Migration::terminalSink(pipeEnds[1]), nullptr);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    EXPECT_EQ(Migration::terminalSink(-1), nullptr);
}

TEST(FrameworkProgress, TheLineIsClearedBeforeEachConsoleMessageOnly) {
    TestFramework framework;
    framework.setProgressSink(std::make_unique<ConsoleSink>(framework.console));
    Progress& progress = framework.progress();
    progress.beginStep("Migrating studies", 2);
    framework.message(Framework::Information, "before any file");
    progress.beginFile("study/jobs.db", "missing");
    framework.message(static_cast<Framework::MessageFlags>(0x02), "to the log only");
    framework.message(Framework::Error, "broken");
    framework.message(Framework::Warning, "odd");
    progress.fileDone();
    progress.beginFile("study/f0000/job.db", "missing");
    progress.endStep();
    framework.message(Framework::Text, "done");
    EXPECT_EQ(framework.console.str(),
              "before any file\n"
              "[show Migrating studies: study/jobs.db (0 B), 0 of 2 files, 0:00][clear]Error: broken\n"
              "Warning: odd\n"
              "[show Migrating studies: study/f0000/job.db (0 B), 1 of 2 files, 0:00][clear]done\n");
}

// The lines shown in the record, without the time at their end; a redraw that only moved the
// time on (a slow machine's tick) is left out.
Strings shownWithoutTime(const Strings& events) {
    Strings shown;
    const std::regex time(", [0-9]+:[0-9][0-9]$");
    for (const std::string& event : events) {
        if (event.rfind("show ", 0) != 0)
            continue;
        std::string line = std::regex_replace(event.substr(5), time, "");
        if (shown.empty() || shown.back() != line)
            shown.push_back(std::move(line));
    }
    return shown;
}

std::string sizeOf(const std::string& path) {
    const std::string line = progressLine("", "", std::filesystem::file_size(path), 0, 1, seconds(0));
    return line.substr(4, line.find(')') - 1);
}

TEST(DatabaseStepsProgress, StudiesCountTheirDatabasesFirstAndEachOtherStepShowsItsOne) {
    TestSupport::TemporaryDirectory dir;
    Fixtures::createJobDatabase(dir / "study/jobs.db", 2);
    Fixtures::createJobDatabase(dir / "study/f0000/job.db", 3);
    Fixtures::createJobDatabase(dir / "study/f0001/job.db", 1);
    Fixtures::createJobDatabase(dir / "study/session/job.db", 1);
    std::filesystem::create_directories(dir / "study/empty");
    Fixtures::createDeletedJobsDatabase(dir / "study/deleted.db", 4);
    Fixtures::createMessageDatabase(dir / "message/message.db", 2);

    TestFramework framework;
    Strings events;
    framework.setProgressSink(std::make_unique<RecordingSink>(events));
    Migration::migrateStudies(framework, dir.path());
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "clear");
    Strings shown = shownWithoutTime(events);
    ASSERT_EQ(shown.size(), 4u);
    const auto line = [&](const std::string& name, int done) {
        return "Migrating studies: " + name + " (" + sizeOf(dir / name) + std::to_string(done) + " of 4 files";
    };
    EXPECT_EQ(shown.front(), line("study/jobs.db", 0));
    EXPECT_EQ(shown.back(), line("study/deleted.db", 3));
    const bool inListingOrder = shown[1] == line("study/f0000/job.db", 1);
    EXPECT_EQ(shown[1], inListingOrder ? line("study/f0000/job.db", 1) : line("study/f0001/job.db", 1));
    EXPECT_EQ(shown[2], inListingOrder ? line("study/f0001/job.db", 2) : line("study/f0000/job.db", 2));

    events.clear();
    Migration::migrateMessages(framework, dir.path());
    Migration::migrateUsers(framework, dir.path());
    EXPECT_EQ(shownWithoutTime(events),
              Strings{"Migrating messages: message/message.db (" + sizeOf(dir / "message/message.db") + "0 of 1 file"});
    EXPECT_EQ(events.back(), "clear");

    events.clear();
    Fixtures::createJobDatabase(dir / "other/study/jobs.db", 1);
    std::filesystem::create_directories(dir / "other/study/f0000");
    std::ofstream(dir / "other/study/f0000/job.db") << "not a database at all, long enough to be read as one";
    EXPECT_ANY_THROW(Migration::migrateStudies(framework, dir / "other"));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "clear");
    EXPECT_EQ(shownWithoutTime(events).size(), 2u);
}

} // namespace
