// The final swap of a migration: every migrated F.new takes the place of F, the old F is kept as
// F.bak until the migration reports success, a retired F (entered in filesToDelete by a step) is
// renamed to F.bak too, and the first failure undoes every swap and retirement made. Since the
// only deletions left after the configuration swap are those of F.bak files, a run killed during
// them can be finished by deleting the backups (see recovery.hpp).

#include "migrator/service/framework.hpp"

#include "migrator/service/companions.hpp"

#include "libs/files/flags.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"

#include <exception>
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

// Renames every retired file that exists to F.bak, adding it to retired; false at the first
// rename that fails (reported by renameFile).
bool retireFiles(Framework& framework, std::vector<std::string>& retired) {
    for (const std::string& file : framework.filesToDelete()) {
        if (!isRetired(file, framework.filesToReplace()) || !Files::isFile(file))
            continue;
        if (!framework.renameFile(file, file + backupSuffix))
            return false;
        retired.push_back(file);
    }
    return true;
}

void restoreRetired(Framework& framework, const std::vector<std::string>& retired) {
    for (const std::string& file : retired)
        framework.renameFile(file + backupSuffix, file);
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

void Framework::revertSwaps(const std::vector<std::string>& order, std::size_t count) {
    while (count > 0) {
        const std::string& file = order[--count];
        message(Information, "Reverting a replacement of the file '" + file + "'.");
        if (renameFile(file, file + newSuffix))
            renameFile(file + backupSuffix, file);
    }
}

bool Framework::replaceFiles() {
    const std::vector<std::string> order = swapOrder(filesToReplace_, configFile_);
    std::vector<std::string> retired;
    std::size_t current = 0;
    try {
        for (const std::string& file : order) {
            if (!flushToDisk(file + newSuffix))
                return false;
        }
        if (!retireFiles(*this, retired)) {
            restoreRetired(*this, retired);
            return false;
        }
        for (; current < order.size(); ++current) {
            const std::string& file = order[current];
            message(Information, "Replacing the file '" + file + "'.");
            if (!renameFile(file, file + backupSuffix)) {
                revertSwaps(order, current);
                restoreRetired(*this, retired);
                return false;
            }
            if (!renameFile(file + newSuffix, file)) {
                renameFile(file + backupSuffix, file);
                revertSwaps(order, current);
                restoreRetired(*this, retired);
                return false;
            }
            filesToDelete_.insert(file + backupSuffix);
        }
        std::vector<std::string> changed = order;
        changed.insert(changed.end(), retired.begin(), retired.end());
        if (!changed.empty() && !flushFolders(changed)) {
            revertSwaps(order, order.size());
            restoreRetired(*this, retired);
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        message(Error, std::string("Replacing files and folders failed: ") + e.what());
        revertSwaps(order, current);
        restoreRetired(*this, retired);
        return false;
    }
}

void Framework::removeBackups() {
    for (const std::string& file : filesToDelete_) {
        message(Information, "Deleting file '" + file + "'.");
        bool deleted = Files::deleteFile(file);
        if (deleted && isRetired(file, filesToReplace_))
            deleted = Files::deleteFile(file + backupSuffix);
        if (!deleted)
            message(Warning, "Failed to delete file '" + file + "'.");
    }
}

} // namespace Migration
