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

#include <boost/filesystem/operations.hpp>

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

// The version of file that the record knows: a backup has the stamp of the file it was, a
// retired file or a file of a cleared folder its own; none when the record does not name it.
std::optional<RecordedFile> recordedVersion(const MigrationRecord& record, const std::string& file) {
    for (const RecordedFile& replaced : record.replaced) {
        if (replaced.path + backupSuffix == file)
            return RecordedFile{file, replaced.stamp};
    }
    for (const std::vector<RecordedFile>* entries : {&record.retired, &record.content}) {
        for (const RecordedFile& entry : *entries) {
            if (entry.path == file)
                return entry;
        }
    }
    return std::nullopt;
}

// True when acting on path stays inside the data directory; with none, nothing is checked.
bool reachedFrom(const std::string& dataDirectory, const std::string& path) {
    return dataDirectory.empty() || reachedThroughFolders(dataDirectory, path);
}

// True when anything, a dangling link included, has the name.
bool isPresent(const std::string& path) {
    boost::system::error_code error;
    return boost::filesystem::symlink_status(path, error).type() != boost::filesystem::file_not_found;
}

// A plain folder (not a link) with nothing in it.
bool isEmptyFolder(const std::string& path) {
    boost::system::error_code error;
    return boost::filesystem::symlink_status(path, error).type() == boost::filesystem::directory_file &&
           boost::filesystem::is_empty(path, error) && !error;
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
    return syncFolders({folders.begin(), folders.end()}, [this](const std::string& folder, const std::string& reason) {
        message(Error, "Flushing the folder '" + folder + "' to disk failed. Details: " + reason);
    });
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

std::vector<std::string> Framework::foldersToEmpty() {
    std::vector<std::string> folders;
    for (const std::string& folder : foldersToClear_) {
        boost::system::error_code error;
        const auto type = boost::filesystem::symlink_status(folder, error).type();
        if (type == boost::filesystem::directory_file)
            folders.push_back(folder);
        else if (type != boost::filesystem::file_not_found)
            message(Warning, "The folder '" + folder + "' is not a folder but a link or a file; it is left as it is.");
    }
    return folders;
}

bool Framework::writeRecordFile(const MigrationRecord& record) {
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
        record_ = std::make_unique<MigrationRecord>(recordOfSwap(order, retiredFiles(), foldersToEmpty()));
        if (order.empty())
            return true;
        if (!writeRecordFile(*record_))
            return false;
        recordKept = true;
        for (; current < order.size(); ++current) {
            const std::string& file = order[current];
            message(Information, "Replacing the file '" + file + "'.");
            if (!renameFile(file, file + backupSuffix)) {
                abandonRecord(revertSwaps(order, current));
                return false;
            }
            if (!renameFile(file + newSuffix, file)) {
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
        record_->state = MigrationRecord::State::Committed;
        if (!writeRecordFile(*record_)) {
            // A write that failed before its rename (a full disk) leaves the record saying
            // Swapping, and the swaps are undone here; after the rename the next run completes
            // the migration the record says is committed.
            if (recordedState(recordDirectory()) == MigrationRecord::State::Swapping)
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

void Framework::emptyRecordedFolders(const MigrationRecord& record, const std::string& dataDirectory,
                                     std::vector<std::string>& changed) {
    for (auto entry = record.content.rbegin(); entry != record.content.rend(); ++entry) {
        if (!reachedFrom(dataDirectory, entry->path))
            continue;
        if (entry->stamp)
            deleteUnlessChanged(entry->path, record);
        else if (isEmptyFolder(entry->path) && !Files::deleteDirectory(entry->path, false))
            message(Warning, "Failed to delete folder '" + entry->path + "'.");
        changed.push_back(folderOf(entry->path));
    }
}

void Framework::deleteUnlessChanged(const std::string& file, const MigrationRecord& record) {
    const std::optional<RecordedFile> recorded = recordedVersion(record, file);
    if (recorded && Files::stampOf(file) != recorded->stamp) {
        if (isPresent(file))
            message(Warning, "The file '" + file + "' changed after the migration recorded it; it is kept.");
        return;
    }
    if (!Files::deleteFile(file))
        message(Warning, "Failed to delete file '" + file + "'.");
}

void Framework::finishMigration(const MigrationRecord& record, const std::set<std::string>& files,
                                const std::string& dataDirectory) {
    std::vector<std::string> changed;
    emptyRecordedFolders(record, dataDirectory, changed);
    for (const std::string& file : files) {
        message(Information, "Deleting file '" + file + "'.");
        if (reachedFrom(dataDirectory, file))
            deleteUnlessChanged(file, record);
        changed.push_back(folderOf(file));
    }
    syncFolders(changed);
    if (!dataDirectory.empty() && !removeRecord(dataDirectory))
        message(Warning, "Failed to delete file '" + recordFile(dataDirectory) + "'.");
}

void Framework::removeBackups() {
    finishMigration(record_ ? *record_ : MigrationRecord(), filesToDelete_, recordDirectory());
}

} // namespace Migration
