#include "migrator/service/recovery.hpp"

#include "migrator/service/companions.hpp"
#include "migrator/service/databasesteps.hpp"

#include "libs/config/inifile/inifile.hpp"
#include "libs/config/settings/version.hpp"
#include "libs/files/directoryiterator.hpp"
#include "libs/files/flags.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"

#include <exception>

namespace Migration {

namespace {

void putBackupBack(const std::string& file) {
    Files::moveFile(file + backupSuffix, file, Files::Flags::Read | Files::Flags::Write | Files::Flags::Overwrite);
}

// A missing or unreadable configuration or version counts as unmigrated; the version check
// reports it.
bool recordsMigratedData(const std::string& configFile) {
    if (!Files::isFile(configFile))
        return false;
    try {
        return Config::readConfigVersion(Config::readIniFile(configFile)) >= Config::currentConfigVersion;
    } catch (const std::exception&) {
        return false;
    }
}

void finishBackupRemoval(const std::string& dataDirectory, const std::vector<std::string>& files) {
    bool removalUnfinished = false;
    for (const std::string& file : files)
        removalUnfinished = removalUnfinished || Files::isFile(file + backupSuffix);
    if (!removalUnfinished)
        return;
    clearSessionFolder(dataDirectory);
    for (const std::string& file : files)
        Files::deleteFile(file + backupSuffix);
}

// conf/main.conf.new is renamed last of all, so while it exists next to an unmigrated
// configuration a swap was under way. Without it a backup is only put back where its file is
// missing: an F.bak the administrator made must not replace newer data.
void undoSwap(const std::vector<std::string>& files, bool swapUnderWay) {
    for (const std::string& file : files) {
        if (Files::isFile(file + backupSuffix) && (swapUnderWay || !Files::isFile(file)))
            putBackupBack(file);
        Files::deleteFile(file + newSuffix);
    }
}

} // namespace

std::vector<std::string> handledFiles(const std::string& dataDirectory) {
    const std::string conf = Files::join(dataDirectory, "conf");
    const std::string study = Files::join(dataDirectory, "study");
    std::vector<std::string> files = {
        Files::join(conf, "main.conf"),
        Files::join(conf, "sending.json"),
        Files::join(conf, "storing.json"),
        Files::join(conf, "user.db"),
        Files::join(conf, "notification.db"),
        Files::join(dataDirectory, "message", "message.db"),
        Files::join(dataDirectory, "record", "rm.db"),
        Files::join(study, "jobs.db"),
        Files::join(study, "deleted.db"),
        Files::join(dataDirectory, "institution", "institution.db"),
    };
    for (Files::DirectoryIterator entry(study); entry.hasEntry(); entry.next()) {
        if (entry.isDirectory() && entry.filename() != "session")
            files.push_back(Files::join(entry.path(), "job.db"));
    }
    return files;
}

void recoverInterruptedMigration(const std::string& dataDirectory) {
    const std::string configFile = Files::join(dataDirectory, "conf", "main.conf");
    bool swapUnderWay = Files::isFile(configFile + newSuffix);
    if (!Files::isFile(configFile) && Files::isFile(configFile + backupSuffix)) {
        putBackupBack(configFile);
        swapUnderWay = true;
    }
    const std::vector<std::string> files = handledFiles(dataDirectory);
    if (recordsMigratedData(configFile))
        finishBackupRemoval(dataDirectory, files);
    else
        undoSwap(files, swapUnderWay);
}

} // namespace Migration
