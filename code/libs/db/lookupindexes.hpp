#pragma once
// Temporary indexes that keep statements run once per row linear in the data whatever indexes a
// database has: a trigger body such as "DELETE FROM t WHERE c = old.id" scans all of t for every
// row deleted unless t has an index on c. The indexes are made on a working copy before the work
// and dropped after it, before the copy is compacted, so they leave no trace in the result.

#include "libs/db/sqlitedb.hpp"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Sqlite {

class LookupIndexes {
public:
    // Works on the open connection, which must outlive this object.
    explicit LookupIndexes(Connection& database);
    LookupIndexes(const LookupIndexes&) = delete;
    LookupIndexes& operator=(const LookupIndexes&) = delete;

    // Makes finding the rows of table by an equal value of column cost log n: creates an index
    // on table(column) unless the column is the rowid or the first column of a full index. Best
    // effort: a missing table or column, a view, a virtual table, the engine's own sqlite_ tables
    // and a table the engine refuses to index are left as they are (the statement that looks
    // them up then runs as written). Throws only when the schema cannot be read.
    void cover(const std::string& table, const std::string& column);

    // Covers the lookups by an "old." or "new." value in the bodies of the triggers that the
    // DELETE and UPDATE statements of the script fire, and of the triggers those fire in turn.
    void coverTriggersFiredBy(const std::string& script);

    // Drops every index made here (one already dropped with its table is skipped).
    void drop();

    // The names of the indexes made here, in order.
    const std::vector<std::string>& created() const { return created_; }

private:
    void coverTriggersOn(const std::string& table, const std::string& event);
    void coverStatements(const std::string& sql);
    bool needsIndex(const std::string& table, const std::string& column);
    std::string unusedName();

    Connection& database_;
    std::vector<std::string> created_;
    std::set<std::pair<std::string, std::string>> visited_;
};

// The script up to its first VACUUM statement and the rest from there on; all of it and an empty
// rest when it has none. Keywords inside quotes, names and comments do not count.
std::pair<std::string, std::string> splitBeforeVacuum(const std::string& script);

} // namespace Sqlite
