#include "libs/db/lookupindexes.hpp"

#include "libs/db/sqltext.hpp"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace Sqlite {

using namespace Text;

namespace {

bool isEquality(const Tokens& tokens, std::size_t i)
{
    return isSymbol(tokens, i, "=") || isSymbol(tokens, i, "==");
}

// An "old.x" or "new.x" reference at i.
bool isRowValue(const Tokens& tokens, std::size_t i)
{
    return (isKeyword(tokens, i, "old") || isKeyword(tokens, i, "new")) && isSymbol(tokens, i + 1, ".") &&
           isName(tokens, i + 2);
}

// The columns of table that the WHERE clause of the statement compares for equality with a value
// of the triggering row, outside subqueries.
std::vector<std::string> rowValueLookups(const Tokens& statement, const std::string& table)
{
    std::vector<std::string> columns;
    std::size_t i = 0;
    while (i < statement.size() && !isKeyword(statement, i, "WHERE"))
        ++i;
    std::vector<bool> subquery;
    // A column of the table at i: its name and the position after it.
    const auto columnAt = [&](std::size_t at, std::string& name) -> std::size_t {
        if (!isName(statement, at) || isRowValue(statement, at))
            return 0;
        if (isSymbol(statement, at + 1, ".") && isName(statement, at + 2)) {
            name = sameName(statement[at].text, table) ? statement[at + 2].text : std::string();
            return at + 3;
        }
        name = statement[at].text;
        return at + 1;
    };
    while (++i < statement.size()) {
        if (isSymbol(statement, i, "(")) {
            subquery.push_back(isKeyword(statement, i + 1, "SELECT") || isKeyword(statement, i + 1, "WITH") ||
                               isKeyword(statement, i + 1, "VALUES"));
            continue;
        }
        if (isSymbol(statement, i, ")")) {
            if (!subquery.empty())
                subquery.pop_back();
            continue;
        }
        if (std::find(subquery.begin(), subquery.end(), true) != subquery.end())
            continue;
        std::string column;
        if (isRowValue(statement, i)) {
            if (isEquality(statement, i + 3) && columnAt(i + 4, column) && !column.empty())
                columns.push_back(column);
            i += 2;
            continue;
        }
        const std::size_t after = columnAt(i, column);
        if (after == 0)
            continue;
        if (isEquality(statement, after) && isRowValue(statement, after + 1) && !column.empty())
            columns.push_back(column);
        i = after - 1;
    }
    return columns;
}

} // namespace

LookupIndexes::LookupIndexes(Connection& database) : database_(database) {}

void LookupIndexes::cover(const std::string& table, const std::string& column)
{
    if (!needsIndex(table, column))
        return;
    const std::string name = unusedName();
    try {
        database_.execute("CREATE INDEX " + quotedName(name) + " ON " + quotedName(table) + "(" +
                          quotedName(column) + ");");
    } catch (const Exceptions::Exception&) {
        // A table the engine does not let be indexed: its lookups stay as the script has them.
        return;
    }
    created_.push_back(name);
}

void LookupIndexes::coverTriggersFiredBy(const std::string& script)
{
    for (const Tokens& statement : statements(tokenize(script))) {
        const auto changed = changedTable(statement);
        if (!changed.first.empty())
            coverTriggersOn(changed.first, changed.second);
    }
}

void LookupIndexes::drop()
{
    for (const std::string& name : created_)
        database_.execute("DROP INDEX IF EXISTS " + quotedName(name) + ";");
    created_.clear();
}

void LookupIndexes::coverTriggersOn(const std::string& table, const std::string& event)
{
    std::string key = table;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    if (!visited_.insert({key, event}).second)
        return;
    for (const Tokens& statement : firedStatements(database_, table, event)) {
        const auto changed = changedTable(statement);
        if (changed.first.empty())
            continue;
        for (const std::string& column : rowValueLookups(statement, changed.first))
            cover(changed.first, column);
        coverTriggersOn(changed.first, changed.second);
    }
}

bool LookupIndexes::needsIndex(const std::string& table, const std::string& column)
{
    const auto ordinary = rows(database_,
                               "SELECT sql NOT LIKE 'CREATE VIRTUAL%' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                               "FROM sqlite_master WHERE type='table' AND name=? COLLATE NOCASE",
                               {table}, 1);
    if (ordinary.empty() || ordinary[0][0] != "1")
        return false;
    const auto columns = rows(database_, "SELECT name FROM pragma_table_info(?)", {table}, 1);
    const auto found = std::find_if(columns.begin(), columns.end(),
                                    [&](const std::vector<std::string>& c) { return sameName(c[0], column); });
    if (found == columns.end() || sameName(rowidAlias(database_, table), column))
        return false;
    for (const auto& index : rows(database_, "SELECT name FROM pragma_index_list(?) WHERE partial=0", {table}, 1)) {
        const auto first = rows(database_, "SELECT name FROM pragma_index_info(?) WHERE seqno=0", {index[0]}, 1);
        if (!first.empty() && sameName(first[0][0], column))
            return false;
    }
    return true;
}

std::string LookupIndexes::unusedName()
{
    for (std::size_t n = created_.size();; ++n) {
        const std::string name = "migrationLookup" + std::to_string(n);
        if (rows(database_, "SELECT 1 FROM sqlite_master WHERE name=? COLLATE NOCASE", {name}, 1).empty())
            return name;
    }
}

std::pair<std::string, std::string> splitBeforeVacuum(const std::string& script)
{
    const Tokens tokens = tokenize(script);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (isKeyword(tokens, i, "VACUUM") && (i == 0 || isSymbol(tokens, i - 1, ";")))
            return {script.substr(0, tokens[i].offset), script.substr(tokens[i].offset)};
    }
    return {script, std::string()};
}

} // namespace Sqlite
