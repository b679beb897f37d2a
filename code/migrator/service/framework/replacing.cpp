// The framework's side of the final replacement: the registers in swap order, the record of
// the run kept for the removal after success, and the reports through message.

#include "migrator/service/framework/framework.hpp"

#include "migrator/service/replacement/companions.hpp"
#include "migrator/service/replacement/record.hpp"
#include "migrator/service/replacement/swap.hpp"

#include "libs/files/paths.hpp"

namespace Migration {

namespace {

// The registered files in swap order: ascending, except that the configuration file, which
// records the data version, goes last, so that it is swapped only when everything else is in
// place and reverted first.
std::vector<std::string> swapOrder(const std::set<std::string>& files, const std::string& configFile) {
    std::vector<std::string> order;
    bool hasConfig = false;
    for (const std::string& file : files) {
        if (file == configFile)
            hasConfig = true;
        else
            order.push_back(file);
    }
    if (hasConfig)
        order.push_back(configFile);
    return order;
}

// A file entered for deletion by the steps, as opposed to the backup of a file to replace.
bool isRetired(const std::string& entry, const std::set<std::string>& filesToReplace) {
    const std::string suffix = backupSuffix;
    if (entry.size() <= suffix.size() || entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
        return true;
    return filesToReplace.count(entry.substr(0, entry.size() - suffix.size())) == 0;
}

Framework::MessageFlags flagsOf(Reporter::Severity severity) {
    switch (severity) {
    case Reporter::Severity::Warning:
        return Framework::Warning;
    case Reporter::Severity::Error:
        return Framework::Error;
    case Reporter::Severity::Information:
        break;
    }
    return Framework::Information;
}

} // namespace

std::vector<std::string> Framework::retiredFiles() const {
    std::vector<std::string> retired;
    for (const std::string& file : filesToDelete_) {
        if (isRetired(file, filesToReplace_) && Files::isFile(file))
            retired.push_back(file);
    }
    return retired;
}

bool Framework::replaceFiles() {
    record_ = std::make_unique<MigrationRecord>(recordOfSwap(swapOrder(filesToReplace_, configFile_), retiredFiles(),
                                                             plainFolders(*this, foldersToClear_)));
    std::set<std::string> backups;
    const bool replaced = swapFiles(*this, *record_, recordDirectory(), backups);
    filesToDelete_.insert(backups.begin(), backups.end());
    return replaced;
}

bool Framework::renameFile(const std::string& from, const std::string& to) {
    return Migration::renameFile(*this, from, to);
}

void Framework::removeBackups() {
    finishMigration(*this, record_ ? *record_ : MigrationRecord(), filesToDelete_, recordDirectory());
}

void Framework::report(Severity severity, const std::string& text) {
    message(flagsOf(severity), text);
}

} // namespace Migration
