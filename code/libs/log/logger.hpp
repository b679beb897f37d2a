#pragma once
// A logger writes messages whose level and verbosity pass its thresholds, one header-prefixed
// line per line of text, to a file, standard output, standard error or nowhere. The main
// logger receives the messages of the whole program.

#include "libs/log/entry.hpp"
#include "libs/log/headergenerator.hpp"
#include "libs/log/level.hpp"

#include <optional>
#include <string>

namespace Log {

struct Settings;

class Logger {
public:
    // Output none, level info, verbosity normal, local time on, performance off; then copies
    // output, path, name, thresholds and flags from the main logger.
    Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void setName(const std::string& name) { name_ = name; }
    void setLevel(Level level) { level_ = level; }
    void setVerbosity(Verbosity verbosity) { verbosity_ = verbosity; }
    void setLocalTime(bool localTime) { localTime_ = localTime; }
    void setPerformance(bool performance) { performance_ = performance; }
    // Not owned; null restores the default header. Must outlive its use by this logger.
    void setHeaderGenerator(const HeaderGenerator* generator) { headerGenerator_ = generator; }

    // "", "stdout" and "con" select standard output, "stderr" standard error, "nul" nothing
    // (exact, case-sensitive); any other name a file. A relative name with a non-empty
    // directory becomes the complete path of the directory joined with the name.
    void setFile(const std::string& fileName, const std::string& directory);

    // Copies output, path, name, both thresholds and both flags (not the header generator).
    void copyFrom(const Logger& other);

    // Sets the file (with the directory) when the settings name one, then every value present.
    void applySettings(const Settings& settings, const std::string& directory);

    Output output() const { return output_; }
    const std::string& path() const { return path_; }
    const std::string& name() const { return name_; }
    Level level() const { return level_; }
    Verbosity verbosity() const { return verbosity_; }
    bool localTime() const { return localTime_; }
    bool performance() const { return performance_; }

    // True when the value is present and not above the threshold. Test both before formatting
    // a message so that suppressed messages cost nothing.
    bool isLevelEnabled(const std::optional<Level>& level) const;
    bool isVerbosityEnabled(const std::optional<Verbosity>& verbosity) const;

    // Writes the entry when both its level and its verbosity are present and enabled: every
    // non-empty line of its text under one header, each ended by "\r\n". Output failures are
    // swallowed (a file that cannot be opened sends the text to standard output); only a
    // failure to build the header (std::runtime_error) reaches the caller.
    void log(const Entry& entry) const;

    // Shorthand: log an entry of that verbosity and level holding `text`.
    void write(Level level, Verbosity verbosity, const std::string& text) const;

private:
    struct MainTag {};
    explicit Logger(MainTag);
    friend Logger& mainLogger();

    Output output_ = Output::None;
    std::string path_;
    std::string name_;
    Level level_ = Info;
    Verbosity verbosity_ = Normal;
    bool localTime_ = true;
    bool performance_ = false;
    const HeaderGenerator* headerGenerator_ = nullptr;
};

// True for the names that select a standard stream or no output instead of a file: "stdout",
// "con", "stderr" and "nul".
bool isStreamName(const std::string& fileName);

// The process-wide main logger, created on first call with the name "main", level info,
// verbosity normal, local time on, writing to standard output. From then on it also writes the
// failure reports of the file operations (level warn, verbosity debug).
Logger& mainLogger();

// The process-wide output step: writes `text` to the destination under the log mutex, opening
// and closing a file destination for this one text. Never throws.
void writeOutput(const std::string& text, Output output, const std::string& path) noexcept;

} // namespace Log
