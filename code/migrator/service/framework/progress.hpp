#pragma once
// The one self-overwriting line on which a long migration shows how far it is: the step, the
// file being worked on with its size, how many of the step's files are done and the time spent.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Migration {

// Where the progress line goes.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // Replaces the line shown, if any, with this one (which holds no line break). Never throws.
    virtual void show(const std::string& line) = 0;
    // Removes the line shown. Never throws.
    virtual void clear() = 0;
};

// A sink on the terminal open at the descriptor, none when the descriptor is not a terminal.
// This is the one place that decides whether progress is shown at all.
std::unique_ptr<ProgressSink> terminalSink(int descriptor);

// "Migrating studies: study/f0003/job.db (12.4 MiB), 3 of 1000 files, 0:42": sizes below 1 KiB
// in bytes, larger ones in KiB, MiB, GiB or TiB with one decimal; the time as m:ss, or h:mm:ss
// from one hour on.
std::string progressLine(const std::string& step, const std::string& file, std::uintmax_t size, std::size_t done,
                         std::size_t total, std::chrono::seconds elapsed);

// "Migrating history records: record/rm.db (300.0 MiB of 1.2 GiB copied), 0 of 1 file, 0:12":
// the line of a file whose working copy is being made.
std::string copyProgressLine(const std::string& step, const std::string& file, std::uintmax_t copied,
                             std::uintmax_t size, std::size_t done, std::size_t total, std::chrono::seconds elapsed);

// "Migrating studies: waiting for study/jobs.db, locked by another program, 0:42": the line of a
// file that another program holds locked; the time is how long it has been waited for.
std::string waitingLine(const std::string& step, const std::string& file, std::chrono::seconds waited);

// The state of the line. Without a sink every call returns at once and touches no file.
class Progress {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // A null sink shows nothing. The clock measures the time spent in a step.
    explicit Progress(std::unique_ptr<ProgressSink> sink = nullptr, Clock clock = std::chrono::steady_clock::now);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    // Clears the line.
    ~Progress();

    // Replaces the sink (null: nothing is shown any more), clearing the old one's line.
    void setSink(std::unique_ptr<ProgressSink> sink);
    bool active() const { return sink_ != nullptr; }

    // Starts a step of totalFiles files, none of them done; the clock starts. Shows nothing yet.
    void beginStep(const std::string& name, std::size_t totalFiles);
    // Shows the file at path, under the name given, as the one being worked on, with its size
    // (0 when it cannot be queried).
    void beginFile(const std::string& name, const std::string& path);
    // Shows the line of the file being worked on again with the time now spent, when the last
    // showing is at least a quarter of a second old; nothing between files. For long work on
    // one file. Never throws.
    void tick() noexcept;
    // Shows how many bytes of the file being worked on are copied so far, at most four times a
    // second; the next beginFile, tick or waiting shows the plain line again. Never throws.
    void copied(std::uintmax_t bytes) noexcept;
    // Shows that the file being worked on waits for a lock another program holds and how long
    // it has waited, at most four times a second. firstRetry starts the time of a new wait.
    // Never throws.
    void waiting(bool firstRetry) noexcept;
    // Counts the file being worked on as done.
    void fileDone();
    // Ends the step and clears the line.
    void endStep();
    // Removes the line, when one is shown, before other text goes to the console; the next
    // update shows it again.
    void clear();

private:
    void showFile(std::chrono::steady_clock::time_point now);
    void show(const std::string& line, std::chrono::steady_clock::time_point now);
    bool due(std::chrono::steady_clock::time_point now) const;
    std::size_t shownTotal() const;

    std::unique_ptr<ProgressSink> sink_;
    Clock clock_;
    std::string step_;
    std::size_t total_ = 0;
    std::size_t done_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::string file_;
    std::uintmax_t size_ = 0;
    std::uintmax_t copied_ = 0;
    bool copying_ = false;
    std::chrono::steady_clock::time_point waitStart_;
    bool inFile_ = false;
    std::chrono::steady_clock::time_point lastShown_;
    bool shown_ = false;
};

// One step on the progress line for as long as the object lives: begins it when constructed,
// ends it (clearing the line) when destroyed, also when the step fails.
class ProgressStep {
public:
    ProgressStep(Progress& progress, const std::string& name, std::size_t totalFiles);
    ProgressStep(const ProgressStep&) = delete;
    ProgressStep& operator=(const ProgressStep&) = delete;
    ~ProgressStep();

private:
    Progress& progress_;
};

} // namespace Migration
