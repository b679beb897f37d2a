#include "migrator/service/replacement/recovery.hpp"

#include "migrator/service/replacement/companions.hpp"
#include "migrator/service/exceptions/exceptions.hpp"
#include "migrator/service/replacement/swap.hpp"

#include "libs/files/flags.hpp"
#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"

#include <optional>
#include <set>
#include <vector>

namespace Migration {

namespace {

bool backupIsTheSwapped(const RecordedFile& file) {
    return file.stamp && Files::stampOf(file.path + backupSuffix) == file.stamp;
}

bool present(const std::string& path) {
    return Files::stampOf(path).has_value();
}

bool swapBegan(const RecordedFile& file) {
    return backupIsTheSwapped(file) && (!present(file.path) || !present(file.path + newSuffix));
}

// A replaced file that is gone while its backup is not the file the swap made cannot be put back.
void refuseLostFiles(const MigrationRecord& record, const std::string& dataDirectory) {
    for (const RecordedFile& file : record.replaced) {
        if (file.stamp && !present(file.path) && !backupIsTheSwapped(file))
            BOOST_THROW_EXCEPTION(Exceptions::RecordEntryRefused()
                                  << Exceptions::Filename_(recordFile(dataDirectory)) << Exceptions::Path_(file.path)
                                  << Exceptions::Reason_("is missing, and its backup is not the file the migration "
                                                         "kept there"));
    }
}

std::vector<std::string> undoSwap(Reporter& reporter, const MigrationRecord& record) {
    std::vector<std::string> changed;
    for (auto file = record.replaced.rbegin(); file != record.replaced.rend(); ++file) {
        if (!swapBegan(*file))
            continue;
        reporter.report(Reporter::Severity::Information, "Reverting a replacement of the file '" + file->path + "'.");
        Files::moveFile(file->path + backupSuffix, file->path,
                        Files::Flags::Read | Files::Flags::Write | Files::Flags::Overwrite);
        changed.push_back(Files::parentPath(file->path));
    }
    return changed;
}

} // namespace

void recoverInterruptedMigration(Reporter& reporter, const std::string& dataDirectory, const RecordScope& scope) {
    const std::optional<MigrationRecord> record = readRecord(dataDirectory, scope);
    if (!record) {
        discardUnfinishedRecord(dataDirectory);
        return;
    }
    if (record->state == MigrationRecord::State::Committed) {
        reporter.report(Reporter::Severity::Information,
                        "Finishing the migration recorded in '" + recordFile(dataDirectory) + "'.");
        std::set<std::string> files;
        for (const RecordedFile& file : record->retired)
            files.insert(file.path);
        for (const RecordedFile& file : record->replaced)
            files.insert(file.path + backupSuffix);
        finishMigration(reporter, *record, files, dataDirectory);
        return;
    }
    refuseLostFiles(*record, dataDirectory);
    reporter.report(Reporter::Severity::Information,
                    "Undoing the unfinished migration recorded in '" + recordFile(dataDirectory) + "'.");
    if (syncFolders(undoSwap(reporter, *record)))
        removeRecord(dataDirectory);
}

} // namespace Migration
