#pragma once
// The companions of a file F that a migration replaces: F.new holds the migrated version until
// the final swap puts it in place, F.bak the old version until the migration reports success.

namespace Migration {

inline constexpr const char* newSuffix = ".new";
inline constexpr const char* backupSuffix = ".bak";

} // namespace Migration
