#pragma once
// A migrator of the service's data: names itself in the banner, decides from the data version in
// the configuration whether the data is already migrated, too old, or the version it migrates
// from, and runs the migrate command with its final replacement of files and its exit codes.

#include "migrator/service/framework/framework.hpp"
#include "migrator/service/framework/version.hpp"

#include "libs/config/settings/settings.hpp"

#include <cstdint>
#include <string>

namespace Migration {

// Exit codes of the migrate command.
enum ExitCode : int {
    AlreadyMigrated = 1,
    IncompatibleVersion = 1002,
    MigrationFailed = 1023,
};

class Service : public Framework {
public:
    // The target data version is the major part of migratorVersion; the migrator migrates data
    // of exactly sourceDataVersion.
    Service(const std::string& configFile, const std::string& applicationName, const Version& migratorVersion,
            std::uint32_t sourceDataVersion);

    // "Service Migrator v" and the migrator version with patch and build.
    std::string title() const override;
    // Nothing to analyze or repair at this data version: both return false.
    bool analyze() override;
    bool repair() override;
    // Locks lockedDirectory, recovers, checks the data version, runs the steps, swaps the new
    // files in and removes the backups. True when the data is migrated now or already was; every
    // failure (a directory locked by another migration too) is reported, sets an exit code and
    // gives false.
    bool migrate() override;

    std::uint32_t dataVersionFound() const { return dataVersionFound_; }
    const Version& migratorVersion() const { return migratorVersion_; }
    std::uint32_t targetDataVersion() const { return targetDataVersion_; }
    std::uint32_t sourceDataVersion() const { return sourceDataVersion_; }

protected:
    // Writes every migrated file beside its original and registers it; may throw.
    virtual void runSteps() = 0;
    // Keeps what the steps need from the configuration read by the version check.
    virtual void loadSettings(const Config::SettingMap& settings) = 0;
    // Reads the configuration file (or "main.conf" in the working directory when it is no file)
    // and its data.version: sets alreadyMigrated at or above the target, throws
    // Exceptions::DataVersionTooOld below the source, loads the settings otherwise. Throws when the file or version is unreadable.
    virtual void checkDataVersion(bool& alreadyMigrated);
    virtual void reportError(const std::string& text);
    // The directory that migrate locks against a second migration for its whole run; empty
    // (the default) locks nothing.
    virtual std::string lockedDirectory() const;
    // Runs under the lock before the version check and repairs what a killed migration left;
    // the default has nothing to repair.
    virtual void recoverInterruptedRun();

private:
    std::uint32_t dataVersionFound_ = 0;
    Version migratorVersion_;
    std::uint32_t targetDataVersion_;
    std::uint32_t sourceDataVersion_;
};

} // namespace Migration
