#include "migrator/service/service13.hpp"

#include "migrator/service/databasesteps.hpp"
#include "migrator/service/recovery.hpp"
#include "migrator/service/settingsstep.hpp"

#include "libs/config/inifile/inifile.hpp"
#include "libs/config/settings/version.hpp"
#include "libs/files/paths.hpp"

namespace Migration {

namespace {

const Version migratorVersion13{13, 0, 0, 0};
const std::uint32_t sourceDataVersion12 = 12;

} // namespace

Service13::Service13(const std::string& configFile, const std::string& applicationName,
                     const std::string& dataDirectory)
    : Service(configFile, applicationName, migratorVersion13, sourceDataVersion12), dataDirectory_(dataDirectory) {}

bool Service13::isDataMigrated() const {
    Config::SettingMap settings;
    if (!Config::tryReadIniFile(Files::join(dataDirectory_, "conf", "main.conf"), settings))
        return false;
    return Config::readConfigVersion(settings) >= Config::currentConfigVersion;
}

void Service13::checkDataVersion(bool& alreadyMigrated) {
    if (isDataMigrated()) {
        alreadyMigrated = true;
        return;
    }
    Service::checkDataVersion(alreadyMigrated);
}

void Service13::loadSettings(const Config::SettingMap& settings) {
    settings_ = Config::readServiceSettings(settings, false);
    originalSettings_ = settings;
}

void Service13::reportError(const std::string& text) {
    message(Error, text);
}

std::string Service13::lockedDirectory() const {
    return dataDirectory_;
}

void Service13::recoverInterruptedRun() {
    recoverInterruptedMigration(*this, dataDirectory_);
}

std::string Service13::recordDirectory() const {
    return dataDirectory_;
}

void Service13::runSteps() {
    checkRoomForDatabaseCopies(dataDirectory_);
    message(Information, "Migrating institutions...");
    migrateInstitutions(*this, dataDirectory_);
    message(Information, "Migrating studies...");
    migrateStudies(*this, dataDirectory_);
    addFolderToClear(Files::join(dataDirectory_, "study", "session"));
    message(Information, "Migrating messages...");
    migrateMessages(*this, dataDirectory_);
    message(Information, "Migrating history records...");
    migrateHistoryRecords(*this, dataDirectory_);
    message(Information, "Migrating users...");
    migrateUsers(*this, dataDirectory_);
    message(Information, "Migrating notifications...");
    migrateNotifications(*this, dataDirectory_);
    message(Information, "Migrating settings.json...");
    migrateSettingsFiles(*this, dataDirectory_);
    message(Information, "Migrating config...");
    migrateConfig();
}

} // namespace Migration
