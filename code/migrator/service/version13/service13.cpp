#include "migrator/service/version13/service13.hpp"

#include "migrator/service/version13/databasesteps.hpp"
#include "migrator/service/replacement/recovery.hpp"
#include "migrator/service/version13/settingsstep.hpp"
#include "migrator/service/version13/steps.hpp"

#include "libs/config/inifile/inifile.hpp"
#include "libs/config/settings/version.hpp"

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
    if (!Config::tryReadIniFile(ServiceFiles::configuration.in(dataDirectory_), settings))
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
    recoverInterruptedMigration(*this, dataDirectory_, recordScope());
}

std::string Service13::recordDirectory() const {
    return dataDirectory_;
}

void Service13::runSteps() {
    checkRoomForDatabaseCopies(dataDirectory_);
    for (const Step step : allSteps) {
        message(Information, stepReport(step));
        runStep(step);
    }
}

void Service13::runStep(Step step) {
    switch (step) {
    case Step::Institutions:
        return migrateInstitutions(*this, dataDirectory_);
    case Step::Studies:
        return migrateStudies(*this, dataDirectory_);
    case Step::Messages:
        return migrateMessages(*this, dataDirectory_);
    case Step::HistoryRecords:
        return migrateHistoryRecords(*this, dataDirectory_);
    case Step::Users:
        return migrateUsers(*this, dataDirectory_);
    case Step::Notifications:
        return migrateNotifications(*this, dataDirectory_);
    case Step::SettingsFiles:
        return migrateSettingsFiles(*this, dataDirectory_);
    case Step::Config:
        return migrateConfig();
    }
}

} // namespace Migration
