#pragma once
// Work that an upgrade script does on a working copy and then throws away itself, found in the
// script and the schema and left out or done in bounded pieces before the script runs, so the
// result is still what the script alone makes:
// - the indexes of a table the script renames and then drops with its new name: every row the
//   script deletes from it first would be taken out of each of them, one by one;
// - a DELETE at the start of the script: on a table with triggers the engine first collects
//   every row it will delete, in memory that grows with them. Done ahead in batches of rows, it
//   deletes the same rows and fires the same triggers with memory that stays flat; the
//   script's DELETE then finds nothing left to delete.

#include "libs/db/sqlitedb.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace Sqlite {

// The indexes, by name, that the script makes useless: those of a table it renames and later
// drops under the new name, when it does nothing with the table before that but delete from it
// (with delete triggers that in turn only delete) and copy columns out of it that the index
// could not deliver alone (so dropping it cannot change the order in which rows are read).
// Indexes made by constraints cannot be dropped and are not listed.
std::vector<std::string> discardedIndexes(Connection& database, const std::string& script);

// Drops the discardedIndexes of the script.
void dropDiscardedIndexes(Connection& database, const std::string& script);

// When the script's first statement after its BEGIN is "DELETE FROM t WHERE condition" on an
// ordinary table with rowids, and the triggers the deletion fires, and those they fire, only
// delete rows: deletes the rows of t that match the condition ahead, in one transaction, in
// rowid order and batches of at most batchRows rows. Returns the number of rows deleted ahead;
// 0, with nothing done, for any other script. Throws the engine's failures.
std::uint64_t deleteAheadInBatches(Connection& database, const std::string& script,
                                   std::uint32_t batchRows = 16384);

} // namespace Sqlite
