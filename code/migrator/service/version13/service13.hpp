#pragma once
// The migrator of the service's data from version 12 to version 13.

#include "migrator/service/framework/service.hpp"
#include "migrator/service/version13/steps.hpp"

#include "libs/config/settings/settings.hpp"
#include "shared/service/servicesettings.hpp"

#include <string>

namespace Migration {

class Service13 : public Service {
public:
    // Migrator version 13.0.0.0, source data version 12; dataDirectory holds the service's files.
    Service13(const std::string& configFile, const std::string& applicationName, const std::string& dataDirectory);

    // True when conf/main.conf below the data directory can be read and records data version 13
    // or later. Throws Config::Exceptions::VersionNotFound when it is read but has no valid
    // data.version.
    bool isDataMigrated() const;

    const std::string& dataDirectory() const { return dataDirectory_; }
    // The settings kept by the version check; the configuration step writes them back.
    const Config::ServiceSettings& settings() const { return settings_; }

protected:
    // Refuses a run whose database copies cannot fit, then runs every step in its order, each
    // introduced by its report.
    void runSteps() override;
    // Reads the service settings (strict identifiers, address list and proxy switch) and keeps
    // them together with the map, whose keys unknown to the service are carried into the new file.
    void loadSettings(const Config::SettingMap& settings) override;
    void checkDataVersion(bool& alreadyMigrated) override;
    void reportError(const std::string& text) override;
    // The data directory.
    std::string lockedDirectory() const override;
    // See recoverInterruptedMigration.
    void recoverInterruptedRun() override;
    // The data directory: the migration record lies there.
    std::string recordDirectory() const override;

    // The one step, on the data directory.
    void runStep(Step step);

    // Writes conf/main.conf.new at data version 13 with the central-server address normalised,
    // and registers conf/main.conf for replacement.
    void migrateConfig();

private:
    std::string dataDirectory_;
    Config::ServiceSettings settings_;
    Config::SettingMap originalSettings_;
};

} // namespace Migration
