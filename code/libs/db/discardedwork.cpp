#include "libs/db/discardedwork.hpp"

#include "libs/db/sqltext.hpp"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <limits>
#include <optional>
#include <set>
#include <utility>

namespace Sqlite {

using namespace Text;

namespace {

std::string lowerCase(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    return name;
}

// Whether deleting rows of table fires only triggers that delete rows, and those in turn only
// triggers that delete rows: the rows gone at the end are then the same in whatever order the
// rows of table are deleted.
bool deletingOnlyDeletes(Connection& database, const std::string& table, std::set<std::string>& visited)
{
    if (!visited.insert(lowerCase(table)).second)
        return true;
    for (const Tokens& statement : firedStatements(database, table, "DELETE")) {
        const auto changed = changedTable(statement);
        if (changed.second != "DELETE" || !deletingOnlyDeletes(database, changed.first, visited))
            return false;
    }
    return true;
}

bool deletingOnlyDeletes(Connection& database, const std::string& table)
{
    std::set<std::string> visited;
    const auto foreignKeys = rows(database, "PRAGMA foreign_keys", {}, 1);
    const bool keysEnforced = !foreignKeys.empty() && foreignKeys[0][0] != "0";
    return !keysEnforced && deletingOnlyDeletes(database, table, visited);
}

// "ALTER TABLE table RENAME TO name": the table and its new name; empty texts otherwise.
std::pair<std::string, std::string> renamedTable(const Tokens& statement)
{
    if (!isKeyword(statement, 0, "ALTER") || !isKeyword(statement, 1, "TABLE") || !isName(statement, 2))
        return {};
    const std::size_t table = isSymbol(statement, 3, ".") ? 4 : 2;
    if (isName(statement, table) && isKeyword(statement, table + 1, "RENAME") &&
        isKeyword(statement, table + 2, "TO") && isName(statement, table + 3) && statement.size() == table + 4)
        return {statement[table].text, statement[table + 3].text};
    return {};
}

// "DROP TABLE [IF EXISTS] table".
bool dropsTable(const Tokens& statement, const std::string& table)
{
    if (!isKeyword(statement, 0, "DROP") || !isKeyword(statement, 1, "TABLE"))
        return false;
    const std::size_t name = isKeyword(statement, 2, "IF") ? 4 : 2;
    return statement.size() == name + 1 && isName(statement, name) && sameName(statement[name].text, table);
}

// "INSERT INTO target [(columns)] SELECT a, b, ... FROM table": the columns read from table;
// nothing for any other statement.
std::optional<std::vector<std::string>> copiedColumns(const Tokens& statement, const std::string& table)
{
    if (!isKeyword(statement, 0, "INSERT") || !isKeyword(statement, 1, "INTO"))
        return std::nullopt;
    std::size_t i = 2;
    while (i < statement.size() && !isKeyword(statement, i, "SELECT"))
        ++i;
    std::vector<std::string> columns;
    for (++i; isName(statement, i) && !isKeyword(statement, i, "FROM"); i += 2) {
        columns.push_back(statement[i].text);
        if (!isSymbol(statement, i + 1, ","))
            break;
    }
    const std::size_t from = i + 1;
    if (columns.empty() || !isKeyword(statement, from, "FROM") || statement.size() != from + 2 ||
        !sameName(statement[from + 1].text, table))
        return std::nullopt;
    return columns;
}

// The indexes of table that no column list can be read from alone: scanning the table for
// them reads it in rowid order whether they exist or not.
std::vector<std::string> indexesNotCovering(Connection& database, const std::string& table,
                                            const std::vector<std::string>& read)
{
    const std::string rowid = rowidAlias(database, table);
    std::vector<std::string> names;
    for (const auto& index :
         rows(database, "SELECT name FROM sqlite_master WHERE type='index' AND sql IS NOT NULL AND "
                        "tbl_name=? COLLATE NOCASE ORDER BY name",
              {table}, 1)) {
        const auto keys = rows(database, "SELECT name FROM pragma_index_xinfo(?) WHERE key=1", {index[0]}, 1);
        const bool covers = std::all_of(read.begin(), read.end(), [&](const std::string& column) {
            return sameName(column, rowid) ||
                   std::any_of(keys.begin(), keys.end(), [&](const auto& key) { return sameName(key[0], column); });
        });
        if (!covers)
            names.push_back(index[0]);
    }
    return names;
}

// The discarded indexes of the table the statement at rename renames, or none.
std::vector<std::string> discardedBy(Connection& database, const std::vector<Tokens>& script, std::size_t rename)
{
    const auto [table, renamed] = renamedTable(script[rename]);
    for (std::size_t before = 0; before < rename; ++before) {
        if (!mentions(script[before], table))
            continue;
        const auto changed = changedTable(script[before]);
        if (changed.second != "DELETE" || !sameName(changed.first, table) || !deletingOnlyDeletes(database, table))
            return {};
    }
    std::vector<std::string> read;
    for (std::size_t after = rename + 1; after < script.size(); ++after) {
        if (dropsTable(script[after], renamed))
            return indexesNotCovering(database, table, read);
        if (!mentions(script[after], renamed))
            continue;
        const auto columns = copiedColumns(script[after], renamed);
        if (!columns)
            return {};
        read.insert(read.end(), columns->begin(), columns->end());
    }
    return {};
}

// Whether table keeps its rows in a rowid b-tree that "rowid" names.
bool hasRowids(Connection& database, const std::string& table)
{
    return !rows(database, "SELECT 1 FROM pragma_table_list WHERE schema='main' AND type='table' AND wr=0 AND "
                           "name=? COLLATE NOCASE",
                 {table}, 1)
                .empty() &&
           rows(database, "SELECT 1 FROM pragma_table_info(?) WHERE name='rowid' COLLATE NOCASE", {table}, 1)
               .empty();
}

// The leading "DELETE FROM table WHERE condition" of a script: the table and the condition's
// text; empty texts when the script starts otherwise or the DELETE has more than a WHERE.
std::pair<std::string, std::string> leadingDelete(const std::string& script)
{
    const Tokens tokens = tokenize(script);
    std::size_t i = 0;
    if (isKeyword(tokens, 0, "BEGIN")) {
        while (i < tokens.size() && !isSymbol(tokens, i, ";"))
            ++i;
        ++i;
    }
    if (!isKeyword(tokens, i, "DELETE") || !isKeyword(tokens, i + 1, "FROM") || !isName(tokens, i + 2) ||
        !isKeyword(tokens, i + 3, "WHERE"))
        return {};
    const std::size_t begin = i + 4;
    std::size_t end = begin;
    int depth = 0;
    for (; end < tokens.size() && !isSymbol(tokens, end, ";"); ++end) {
        depth += isSymbol(tokens, end, "(") ? 1 : isSymbol(tokens, end, ")") ? -1 : 0;
        if (depth == 0 && (isKeyword(tokens, end, "ORDER") || isKeyword(tokens, end, "LIMIT") ||
                           isKeyword(tokens, end, "RETURNING")))
            return {};
    }
    if (end == begin)
        return {};
    const std::size_t stop = end < tokens.size() ? tokens[end].offset : script.size();
    return {tokens[i + 2].text, script.substr(tokens[begin].offset, stop - tokens[begin].offset)};
}

} // namespace

std::vector<std::string> discardedIndexes(Connection& database, const std::string& script)
{
    const std::vector<Tokens> statementList = statements(tokenize(script));
    std::vector<std::string> indexes;
    for (std::size_t i = 0; i < statementList.size(); ++i) {
        if (renamedTable(statementList[i]).first.empty())
            continue;
        for (std::string& index : discardedBy(database, statementList, i))
            indexes.push_back(std::move(index));
    }
    return indexes;
}

void dropDiscardedIndexes(Connection& database, const std::string& script)
{
    for (const std::string& index : discardedIndexes(database, script))
        database.execute("DROP INDEX " + quotedName(index) + ";");
}

std::uint64_t deleteAheadInBatches(Connection& database, const std::string& script, std::uint32_t batchRows)
{
    const auto [table, condition] = leadingDelete(script);
    if (table.empty() || !hasRowids(database, table) || !deletingOnlyDeletes(database, table))
        return 0;
    const std::string rowsAfter = quotedName(table) + " NOT INDEXED WHERE rowid > CAST(?1 AS INTEGER) AND ";
    // The last rowid of the next batch and the number of its rows; NULL and 0 when none is left.
    const std::string nextBatch = "SELECT max(rowid), count(*) FROM (SELECT rowid FROM " + rowsAfter + "(" +
                                  condition + ") ORDER BY rowid LIMIT " + std::to_string(batchRows) + ")";
    const std::string deleteBatch =
        "DELETE FROM " + rowsAfter + "rowid <= CAST(?2 AS INTEGER) AND (" + condition + ")";
    std::uint64_t deleted = 0;
    database.execute("BEGIN TRANSACTION;");
    {
        auto next = database.prepare(nextBatch, false);
        auto remove = database.prepare(deleteBatch, false);
        std::string after = std::to_string(std::numeric_limits<std::int64_t>::min());
        for (;;) {
            bindNext(*next, after);
            next->step();
            const std::string last = next->readText();
            const std::string count = next->readText();
            next->reset();
            if (last.empty())
                break;
            bindNext(*remove, after);
            bindNext(*remove, last);
            remove->step();
            deleted += std::stoull(count);
            after = last;
        }
    }
    database.execute("COMMIT;");
    return deleted;
}

} // namespace Sqlite
