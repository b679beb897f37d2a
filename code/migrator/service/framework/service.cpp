#include "migrator/service/framework/service.hpp"

#include "migrator/service/replacement/datalock.hpp"
#include "migrator/service/exceptions/exceptions.hpp"

#include "libs/config/inifile/inifile.hpp"
#include "libs/config/settings/version.hpp"
#include "libs/files/paths.hpp"

#include <exception>
#include <optional>

namespace Migration {

Service::Service(const std::string& configFile, const std::string& applicationName, const Version& migratorVersion,
                 std::uint32_t sourceDataVersion)
    : Framework(configFile, applicationName),
      migratorVersion_(migratorVersion),
      targetDataVersion_(migratorVersion.major),
      sourceDataVersion_(sourceDataVersion) {}

std::string Service::title() const {
    return "Service Migrator v" + migratorVersion_.text(true, true);
}

bool Service::analyze() {
    return false;
}

bool Service::repair() {
    return false;
}

void Service::reportError(const std::string&) {}

std::string Service::lockedDirectory() const {
    return std::string();
}

void Service::recoverInterruptedRun() {}

void Service::checkDataVersion(bool& alreadyMigrated) {
    std::string file = configFile();
    if (!Files::isFile(file))
        file = Files::filename(file);
    const Config::SettingMap settings = Config::readIniFile(file);
    const std::uint32_t version = Config::readConfigVersion(settings);
    dataVersionFound_ = version;
    if (version >= targetDataVersion_) {
        alreadyMigrated = true;
        return;
    }
    if (version < sourceDataVersion_) {
        BOOST_THROW_EXCEPTION(Exceptions::DataVersionTooOld()
                              << Exceptions::Version_(version) << Exceptions::Expected_(sourceDataVersion_));
    }
    loadSettings(settings);
}

bool Service::migrate() {
    try {
        std::optional<DataLock> lock;
        if (!lockedDirectory().empty())
            lock.emplace(lockedDirectory());
        recoverInterruptedRun();
        bool alreadyMigrated = false;
        checkDataVersion(alreadyMigrated);
        if (alreadyMigrated || dataVersionFound_ >= targetDataVersion_) {
            message(Information, "The current data has already been migrated.");
            setExitCode(AlreadyMigrated);
            return true;
        }
        if (dataVersionFound_ == sourceDataVersion_) {
            runSteps();
            if (replaceFiles()) {
                message(Information, "Migration finished successfully.");
                removeBackups();
                return true;
            }
            message(Error, "Migration failed.");
            setExitCode(MigrationFailed);
            return false;
        }
        message(Error, "The current data version " + std::to_string(dataVersionFound_) +
                           " is not compatible with the migrator (expected " + std::to_string(sourceDataVersion_) +
                           "). Please run another migrator.");
        setExitCode(IncompatibleVersion);
        return false;
    } catch (const std::exception& e) {
        message(Error, std::string("Migration failed: ") + e.what());
        setExitCode(MigrationFailed);
        return false;
    }
}

} // namespace Migration
