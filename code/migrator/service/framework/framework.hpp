#pragma once
// The command framework of every migrator: command line, interactive prompt, banner and help,
// the one message channel to console and log, the exit code, and the registers of files that a
// migration replaces or deletes at its end.

#include "migrator/service/framework/progress.hpp"
#include "migrator/service/replacement/reporter.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace Migration {

struct MigrationRecord;

// Where the interactive prompt takes its keys from.
class KeySource {
public:
    virtual ~KeySource() = default;
    // One key, read without echo and without waiting for Enter; no value at the end of input.
    virtual std::optional<char> readKey() = 0;
};

class Framework : public Reporter {
public:
    enum Command { Help = 0, Analyze = 1, Repair = 2, Migrate = 3, Interactive = 4 };

    // Bits: 0x01 console, 0x02 log, 0x10 error, 0x20 warning; 0x40 and 0x80 are carried, unused.
    enum MessageFlags : unsigned {
        Text = 0x01,
        Error = 0x93,
        Warning = 0xA3,
        Information = 0xC3,
    };

    // Copies both strings; command help, exit code 0, empty registers, console on standard
    // output, keys from the console.
    Framework(const std::string& configFile, const std::string& applicationName);
    Framework(const Framework&) = delete;
    Framework& operator=(const Framework&) = delete;
    virtual ~Framework();

    // Stores the program name (argv[0], when there is one), parses the rest, executes the chosen
    // command and returns the exit code last set.
    virtual int run(int argc, const char* const argv[]);
    virtual bool setProgramName(const std::string& name);
    // Selects the command from argv[1..]: the last valid argument wins; each invalid one is
    // reported as a warning in argument order. Always returns true.
    virtual bool parseCommandLine(int argc, const char* const argv[]);
    // The banner, then the selected command.
    virtual void execute();
    virtual void printBanner();
    virtual std::string title() const = 0;
    virtual void help();
    virtual std::string usage() const;
    // The prompt loop; false when a command run from it failed.
    virtual bool interactive();
    virtual bool analyze() = 0;
    virtual bool repair() = 0;
    virtual bool migrate() = 0;
    // After a successful replaceFiles: empties every folder of foldersToClear of what it held
    // then, deletes every file of filesToDelete (the backups and the retired files) and removes
    // the migration record (finishMigration of the replacement).
    virtual void removeBackups();

    // Writes the text to the console (with "Error: " or "Warning: " in front, "\n" after) when
    // bit 0x01 is set, and to the main logger as one entry when bit 0x02 is set.
    void message(MessageFlags flags, const std::string& text);
    void setExitCode(int code);

    // F + ".new" holds the migrated version of F; F is swapped in by replaceFiles.
    void addFileToReplace(const std::string& path);
    // F is deleted by removeBackups after a successful migration.
    void addFileToDelete(const std::string& path);
    // The folder's content is deleted by removeBackups after a successful migration.
    void addFolderToClear(const std::string& path);
    // Swaps every registered F for its F.new (swapFiles of the replacement), the configuration
    // file last, with a record in the record directory that names the files to replace, the
    // existing files entered by the steps in filesToDelete and the plain folders to clear with
    // what they hold (a folder to clear that is a link or a file is left alone with a warning).
    // Each F.bak made is entered in filesToDelete. False, with every swap undone, on the first
    // failure. True with empty registers.
    bool replaceFiles();
    // One rename with reporting (renameFile of the replacement). Never throws.
    bool renameFile(const std::string& from, const std::string& to);
    // Shows a report of the replacement through message.
    void report(Severity severity, const std::string& text) override;

    const std::string& programName() const { return programName_; }
    const std::string& configFile() const { return configFile_; }
    const std::string& applicationName() const { return applicationName_; }
    Command command() const { return command_; }
    int exitCode() const { return exitCode_; }
    const std::set<std::string>& filesToReplace() const { return filesToReplace_; }
    const std::set<std::string>& filesToDelete() const { return filesToDelete_; }
    const std::set<std::string>& foldersToClear() const { return foldersToClear_; }

    // Redirects the console side of message; the stream must outlive the framework.
    void setConsole(std::ostream& console);
    // Replaces where the interactive prompt reads its keys from.
    void setKeySource(std::unique_ptr<KeySource> keys);

    // The progress line of the steps: on standard error when it is a terminal, else nowhere.
    // message clears it before each console line.
    Progress& progress() { return progress_; }
    // Replaces where the progress line goes; null shows none.
    void setProgressSink(std::unique_ptr<ProgressSink> sink);

protected:
    // The data directory that holds the migration record of replaceFiles and removeBackups;
    // empty (the default) keeps no record.
    virtual std::string recordDirectory() const;

private:
    void writeToLog(MessageFlags flags, const std::string& text);
    bool runCommand(Command command);
    // The files entered by the steps in filesToDelete that exist, as opposed to the backups.
    std::vector<std::string> retiredFiles() const;

    std::string programName_;
    std::string configFile_;
    std::string applicationName_;
    Command command_ = Help;
    int exitCode_ = 0;
    std::set<std::string> filesToReplace_;
    std::set<std::string> filesToDelete_;
    std::set<std::string> foldersToClear_;
    // The record of the last swap, kept in memory even without a record directory.
    std::unique_ptr<MigrationRecord> record_;
    std::ostream* console_;
    std::unique_ptr<KeySource> keys_;
    Progress progress_;
};

} // namespace Migration
