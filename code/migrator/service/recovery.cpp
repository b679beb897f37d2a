#include "migrator/service/recovery.hpp"

#include "migrator/service/companions.hpp"
#include "migrator/service/framework.hpp"
#include "migrator/service/record.hpp"

#include "libs/files/flags.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"

#include <boost/filesystem/operations.hpp>

#include <optional>
#include <set>

namespace Migration {

namespace {

// True when anything, a dangling link included, has the name.
bool present(const std::string& path) {
    boost::system::error_code error;
    return boost::filesystem::symlink_status(path, error).type() != boost::filesystem::file_not_found;
}

bool swapBegan(const std::string& file) {
    return present(file + backupSuffix) && (!present(file) || !present(file + newSuffix));
}

void undoSwap(Framework& framework, const MigrationRecord& record, std::set<std::string>& changed) {
    for (auto file = record.replaced.rbegin(); file != record.replaced.rend(); ++file) {
        if (!swapBegan(*file))
            continue;
        framework.message(Framework::Information, "Reverting a replacement of the file '" + *file + "'.");
        Files::moveFile(*file + backupSuffix, *file, Files::Flags::Read | Files::Flags::Write | Files::Flags::Overwrite);
        changed.insert(Files::parentPath(*file));
    }
}

} // namespace

void recoverInterruptedMigration(Framework& framework, const std::string& dataDirectory) {
    const std::optional<MigrationRecord> record = readRecord(dataDirectory);
    if (!record) {
        discardUnfinishedRecord(dataDirectory);
        return;
    }
    std::set<std::string> changed;
    if (record->state == MigrationRecord::State::Committed) {
        framework.message(Framework::Information,
                          "Finishing the migration recorded in '" + recordFile(dataDirectory) + "'.");
        std::set<std::string> files(record->retired.begin(), record->retired.end());
        for (const std::string& file : record->replaced)
            files.insert(file + backupSuffix);
        if (!framework.removeFiles({record->cleared.begin(), record->cleared.end()}, files))
            return;
    } else {
        framework.message(Framework::Information,
                          "Undoing the unfinished migration recorded in '" + recordFile(dataDirectory) + "'.");
        undoSwap(framework, *record, changed);
    }
    if (syncFolders(changed))
        removeRecord(dataDirectory);
}

} // namespace Migration
