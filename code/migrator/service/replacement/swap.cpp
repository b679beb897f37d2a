#include "migrator/service/replacement/swap.hpp"

#include "migrator/service/replacement/companions.hpp"

#include "libs/files/flags.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"

#include <boost/filesystem/operations.hpp>

#include <exception>
#include <optional>

namespace Migration {

namespace fs = boost::filesystem;

namespace {

using Severity = Reporter::Severity;

// The folder whose entries a rename of the file changes.
std::string folderOf(const std::string& file) {
    const std::string parent = Files::parentPath(file);
    return parent.empty() ? std::string(".") : parent;
}

// True when anything, a dangling link included, has the name.
bool isPresent(const std::string& path) {
    boost::system::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_not_found;
}

// A plain folder (not a link) with nothing in it.
bool isEmptyFolder(const std::string& path) {
    boost::system::error_code error;
    return isPlainFolder(path) && fs::is_empty(path, error) && !error;
}

// True when acting on path stays inside the data directory; with none, nothing is checked.
bool reachedFrom(const std::string& dataDirectory, const std::string& path) {
    return dataDirectory.empty() || reachedThroughFolders(dataDirectory, path);
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

// The swap of one run: its reports, its record and how far it got.
class Swap {
public:
    Swap(Reporter& reporter, MigrationRecord& record, const std::string& recordDirectory)
        : reporter_(reporter), record_(record), recordDirectory_(recordDirectory) {}

    bool run(std::set<std::string>& backups) {
        try {
            for (const RecordedFile& file : record_.replaced) {
                if (!keepAttributes(file.path) || !flushToDisk(file.path + newSuffix))
                    return false;
            }
            if (record_.replaced.empty())
                return true;
            if (!writeRecordFile())
                return false;
            recordWritten_ = true;
            for (; swapped_ < record_.replaced.size(); ++swapped_) {
                if (!swapOne(record_.replaced[swapped_].path))
                    return false;
                backups.insert(record_.replaced[swapped_].path + backupSuffix);
            }
            return commit();
        } catch (const std::exception& e) {
            reporter_.report(Severity::Error, std::string("Replacing files and folders failed: ") + e.what());
            abandonRecord(revertSwaps(swapped_));
            return false;
        }
    }

private:
    bool swapOne(const std::string& file) {
        reporter_.report(Severity::Information, "Replacing the file '" + file + "'.");
        if (!renameFile(reporter_, file, file + backupSuffix)) {
            abandonRecord(revertSwaps(swapped_));
            return false;
        }
        // The backup's name must be on disk before F.new replaces F: a file system keeps no order
        // between two renames of a folder not synced, and a power cut after only the second
        // would lose the old F while the record still says the swap is undone.
        if (!flushFoldersOf({file}) || !renameFile(reporter_, file + newSuffix, file)) {
            const bool putBack = renameFile(reporter_, file + backupSuffix, file);
            abandonRecord(revertSwaps(swapped_) && putBack);
            return false;
        }
        return true;
    }

    bool commit() {
        if (!flushFoldersOf(replacedFiles())) {
            abandonRecord(revertSwaps(swapped_));
            return false;
        }
        record_.state = MigrationRecord::State::Committed;
        if (writeRecordFile())
            return true;
        // A write that failed before its rename (a full disk) leaves the record saying Swapping,
        // and the swaps are undone here; after the rename the next run completes the migration
        // the record says is committed.
        if (recordedState(recordDirectory_) == MigrationRecord::State::Swapping)
            abandonRecord(revertSwaps(swapped_));
        return false;
    }

    // Gives F.new the attributes of F (read-only, hidden, permissions), so the swap keeps them.
    bool keepAttributes(const std::string& file) {
        if (!Files::isFile(file))
            return true;
        try {
            Files::copyAttributes(file, file + newSuffix);
            return true;
        } catch (const std::exception& e) {
            reporter_.report(Severity::Error, "Giving the file '" + file + newSuffix + "' the attributes of '" + file +
                                                  "' failed. Details: " + e.what());
            return false;
        }
    }

    bool flushToDisk(const std::string& path) {
        try {
            Files::syncFile(path);
            return true;
        } catch (const std::exception& e) {
            reporter_.report(Severity::Error, "Flushing the file '" + path + "' to disk failed. Details: " + e.what());
            return false;
        }
    }

    std::vector<std::string> replacedFiles() const {
        std::vector<std::string> files;
        for (const RecordedFile& file : record_.replaced)
            files.push_back(file.path);
        return files;
    }

    // Syncs the folders of the files, reporting each failure as an error.
    bool flushFoldersOf(const std::vector<std::string>& files) {
        std::set<std::string> folders;
        for (const std::string& file : files)
            folders.insert(folderOf(file));
        return syncFolders({folders.begin(), folders.end()}, [this](const std::string& folder, const std::string& reason) {
            reporter_.report(Severity::Error, "Flushing the folder '" + folder + "' to disk failed. Details: " + reason);
        });
    }

    // Undoes the first count swaps, latest first; false when one could not be undone.
    bool revertSwaps(std::size_t count) {
        bool reverted = true;
        while (count > 0) {
            const std::string& file = record_.replaced[--count].path;
            reporter_.report(Severity::Information, "Reverting a replacement of the file '" + file + "'.");
            reverted = renameFile(reporter_, file, file + newSuffix) &&
                       renameFile(reporter_, file + backupSuffix, file) && reverted;
        }
        return reverted;
    }

    // Writes the record when there is a record directory; a failure is reported and gives false.
    bool writeRecordFile() {
        if (recordDirectory_.empty())
            return true;
        try {
            writeRecord(recordDirectory_, record_);
            return true;
        } catch (const std::exception& e) {
            reporter_.report(Severity::Error, "Writing the migration record '" + recordFile(recordDirectory_) +
                                                  "' failed. Details: " + e.what());
            return false;
        }
    }

    // Removes the record once a failed swap is completely undone and the undoing is on disk, so
    // that a power cut cannot leave swapped files without the record that undoes them.
    void abandonRecord(bool undone) {
        if (undone && recordWritten_ && !recordDirectory_.empty() && flushFoldersOf(replacedFiles()))
            removeRecord(recordDirectory_);
    }

    Reporter& reporter_;
    MigrationRecord& record_;
    const std::string recordDirectory_;
    std::size_t swapped_ = 0;
    bool recordWritten_ = false;
};

// Deletes the file unless the record knows another version of it; reports what it cannot.
void deleteUnlessChanged(Reporter& reporter, const std::string& file, const MigrationRecord& record) {
    const std::optional<RecordedFile> recorded = recordedVersion(record, file);
    if (recorded && Files::stampOf(file) != recorded->stamp) {
        if (isPresent(file))
            reporter.report(Severity::Warning,
                            "The file '" + file + "' changed after the migration recorded it; it is kept.");
        return;
    }
    if (!Files::deleteFile(file))
        reporter.report(Severity::Warning, "Failed to delete file '" + file + "'.");
}

// Deletes what the cleared folders held, deepest first; a folder only when it is empty then.
void emptyRecordedFolders(Reporter& reporter, const MigrationRecord& record, const std::string& dataDirectory,
                          std::vector<std::string>& changed) {
    for (auto entry = record.content.rbegin(); entry != record.content.rend(); ++entry) {
        if (!reachedFrom(dataDirectory, entry->path))
            continue;
        if (entry->stamp)
            deleteUnlessChanged(reporter, entry->path, record);
        else if (isEmptyFolder(entry->path) && !Files::deleteDirectory(entry->path, false))
            reporter.report(Severity::Warning, "Failed to delete folder '" + entry->path + "'.");
        changed.push_back(folderOf(entry->path));
    }
}

} // namespace

bool renameFile(Reporter& reporter, const std::string& from, const std::string& to) {
    try {
        Files::moveFile(from, to, Files::Flags::Read | Files::Flags::Write | Files::Flags::Overwrite |
                                      Files::Flags::CreateDirectories);
        return true;
    } catch (const std::exception& e) {
        reporter.report(Severity::Error, "Renaming the file '" + from + "' to '" + to + "' failed. Details: " + e.what());
        return false;
    }
}

std::vector<std::string> plainFolders(Reporter& reporter, const std::set<std::string>& folders) {
    std::vector<std::string> plain;
    for (const std::string& folder : folders) {
        boost::system::error_code error;
        const fs::file_type type = fs::symlink_status(folder, error).type();
        if (type == fs::directory_file)
            plain.push_back(folder);
        else if (type != fs::file_not_found)
            reporter.report(Severity::Warning,
                            "The folder '" + folder + "' is not a folder but a link or a file; it is left as it is.");
    }
    return plain;
}

bool swapFiles(Reporter& reporter, MigrationRecord& record, const std::string& recordDirectory,
               std::set<std::string>& backups) {
    return Swap(reporter, record, recordDirectory).run(backups);
}

void finishMigration(Reporter& reporter, const MigrationRecord& record, const std::set<std::string>& files,
                     const std::string& dataDirectory) {
    std::vector<std::string> changed;
    emptyRecordedFolders(reporter, record, dataDirectory, changed);
    for (const std::string& file : files) {
        reporter.report(Severity::Information, "Deleting file '" + file + "'.");
        if (reachedFrom(dataDirectory, file))
            deleteUnlessChanged(reporter, file, record);
        changed.push_back(folderOf(file));
    }
    syncFolders(changed);
    if (!dataDirectory.empty() && !removeRecord(dataDirectory))
        reporter.report(Severity::Warning, "Failed to delete file '" + recordFile(dataDirectory) + "'.");
}

} // namespace Migration
