// The final swap of a migration: every migrated F.new takes the place of F, the old F is kept as
// F.bak until the migration reports success, and the first failure undoes every swap made.
// Before the first rename the migration record names the files of the run, and it is marked
// committed once every new file is in place and on disk, so that a killed run can be undone or
// finished from the record alone (recovery.hpp). After success the session folders are emptied,
// the backups and the retired files deleted, and the record removed last.

#include "migrator/service/framework.hpp"
#include "migrator/service/record.hpp"

#include "migrator/service/companions.hpp"

#include "libs/files/flags.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"

#include <exception>
#include <optional>
#include <set>
#include <vector>

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

// The folder whose entries a rename of the file changes.
std::string folderOf(const std::string& file) {
    const std::string parent = Files::parentPath(file);
    return parent.empty() ? std::string(".") : parent;
}

// The files entered for deletion by the steps, as opposed to the backups made by the swap.
bool isRetired(const std::string& entry, const std::set<std::string>& filesToReplace) {
    const std::string suffix = backupSuffix;
    if (entry.size() <= suffix.size() || entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
        return true;
    return filesToReplace.count(entry.substr(0, entry.size() - suffix.size())) == 0;
}

} // namespace

bool Framework::renameFile(const std::string& from, const std::string& to) {
    try {
        Files::moveFile(from, to, Files::Flags::Read | Files::Flags::Write | Files::Flags::Overwrite |
                                      Files::Flags::CreateDirectories);
        return true;
    } catch (const std::exception& e) {
        message(Error, "Renaming the file '" + from + "' to '" + to + "' failed. Details: " + e.what());
        return false;
    }
}

bool Framework::flushToDisk(const std::string& path) {
    try {
        Files::syncFile(path);
        return true;
    } catch (const std::exception& e) {
        message(Error, "Flushing the file '" + path + "' to disk failed. Details: " + e.what());
        return false;
    }
}

bool Framework::flushFolders(const std::vector<std::string>& files) {
    std::set<std::string> folders;
    for (const std::string& file : files)
        folders.insert(folderOf(file));
    bool flushed = true;
    for (const std::string& folder : folders) {
        try {
            Files::syncDirectory(folder);
        } catch (const std::exception& e) {
            message(Error, "Flushing the folder '" + folder + "' to disk failed. Details: " + e.what());
            flushed = false;
        }
    }
    return flushed;
}

bool Framework::revertSwaps(const std::vector<std::string>& order, std::size_t count) {
    bool reverted = true;
    while (count > 0) {
        const std::string& file = order[--count];
        message(Information, "Reverting a replacement of the file '" + file + "'.");
        reverted = renameFile(file, file + newSuffix) && renameFile(file + backupSuffix, file) && reverted;
    }
    return reverted;
}

std::vector<std::string> Framework::retiredFiles() const {
    std::vector<std::string> retired;
    for (const std::string& file : filesToDelete_) {
        if (isRetired(file, filesToReplace_) && Files::isFile(file))
            retired.push_back(file);
    }
    return retired;
}

bool Framework::keepRecord(const MigrationRecord& record) {
    const std::string directory = recordDirectory();
    if (directory.empty())
        return true;
    try {
        writeRecord(directory, record);
        return true;
    } catch (const std::exception& e) {
        message(Error, "Writing the migration record '" + recordFile(directory) + "' failed. Details: " + e.what());
        return false;
    }
}

bool Framework::recordIsSwapping() const {
    try {
        const std::optional<MigrationRecord> record = readRecord(recordDirectory());
        return record && record->state == MigrationRecord::State::Swapping;
    } catch (const std::exception&) {
        return false;
    }
}

void Framework::abandonRecord(bool undone) {
    if (undone && !recordDirectory().empty())
        removeRecord(recordDirectory());
}

bool Framework::replaceFiles() {
    const std::vector<std::string> order = swapOrder(filesToReplace_, configFile_);
    std::size_t current = 0;
    bool recordKept = false;
    try {
        for (const std::string& file : order) {
            if (!flushToDisk(file + newSuffix))
                return false;
        }
        if (order.empty())
            return true;
        MigrationRecord record;
        record.replaced = order;
        record.retired = retiredFiles();
        record.cleared.assign(foldersToClear_.begin(), foldersToClear_.end());
        if (!keepRecord(record))
            return false;
        recordKept = true;
        for (; current < order.size(); ++current) {
            const std::string& file = order[current];
            message(Information, "Replacing the file '" + file + "'.");
            if (!renameFile(file, file + backupSuffix)) {
                abandonRecord(revertSwaps(order, current));
                return false;
            }
            // The backup's name must be on disk before F.new replaces F: a file system keeps no
            // order between two renames of a folder not synced, and a power cut after only the
            // second would lose the old F while the record still says the swap is undone.
            if (!flushFolders({file}) || !renameFile(file + newSuffix, file)) {
                const bool putBack = renameFile(file + backupSuffix, file);
                abandonRecord(revertSwaps(order, current) && putBack);
                return false;
            }
            filesToDelete_.insert(file + backupSuffix);
        }
        if (!flushFolders(order)) {
            abandonRecord(revertSwaps(order, order.size()));
            return false;
        }
        record.state = MigrationRecord::State::Committed;
        if (!keepRecord(record)) {
            // A write that failed before its rename (a full disk) leaves the record saying
            // Swapping, and the swaps are undone here; after the rename the next run completes
            // the migration the record says is committed.
            if (recordIsSwapping())
                abandonRecord(revertSwaps(order, order.size()));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        message(Error, std::string("Replacing files and folders failed: ") + e.what());
        const bool undone = revertSwaps(order, current);
        if (recordKept)
            abandonRecord(undone);
        return false;
    }
}

bool Framework::removeFiles(const std::set<std::string>& folders, const std::set<std::string>& files) {
    std::set<std::string> changed;
    for (const std::string& folder : folders) {
        Files::clearDirectory(folder);
        changed.insert(folder);
    }
    for (const std::string& file : files) {
        message(Information, "Deleting file '" + file + "'.");
        if (!Files::deleteFile(file))
            message(Warning, "Failed to delete file '" + file + "'.");
        changed.insert(folderOf(file));
    }
    return syncFolders(changed);
}

void Framework::removeBackups() {
    if (removeFiles(foldersToClear_, filesToDelete_) && !recordDirectory().empty())
        removeRecord(recordDirectory());
}

} // namespace Migration
