#include "libs/db/lookupindexes.hpp"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace Sqlite {

namespace {

// The SQL tokens the analysis needs: words (keywords, names, numbers), quoted names with their
// quotes removed, string literals and operators. Comments and blanks are dropped.
struct Token {
    enum Kind { Word, QuotedName, Literal, Symbol } kind;
    std::string text;
    std::size_t offset;
};
using Tokens = std::vector<Token>;

bool isWordByte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return std::isalnum(byte) || c == '_' || c == '$' || byte >= 0x80;
}

// The position after a quoted part starting at begin that ends with close (doubled close
// characters stand for one), and its content.
std::size_t skipQuoted(const std::string& sql, std::size_t begin, char close, std::string& content)
{
    std::size_t i = begin + 1;
    while (i < sql.size()) {
        if (sql[i] == close) {
            if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
                content += close;
                i += 2;
                continue;
            }
            return i + 1;
        }
        content += sql[i++];
    }
    return i;
}

Tokens tokenize(const std::string& sql)
{
    Tokens tokens;
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (sql.compare(i, 2, "--") == 0) {
            const std::size_t end = sql.find('\n', i);
            i = end == std::string::npos ? sql.size() : end + 1;
        } else if (sql.compare(i, 2, "/*") == 0) {
            const std::size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? sql.size() : end + 2;
        } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
            std::string content;
            const std::size_t next = skipQuoted(sql, i, c == '[' ? ']' : c, content);
            tokens.push_back({c == '\'' ? Token::Literal : Token::QuotedName, content, i});
            i = next;
        } else if (isWordByte(c)) {
            std::size_t end = i;
            while (end < sql.size() && isWordByte(sql[end]))
                ++end;
            tokens.push_back({Token::Word, sql.substr(i, end - i), i});
            i = end;
        } else {
            const std::string pair = sql.substr(i, 2);
            const bool twoBytes = pair == "==" || pair == "!=" || pair == "<>" || pair == "<=" || pair == ">=" ||
                                  pair == "||";
            tokens.push_back({Token::Symbol, twoBytes ? pair : std::string(1, c), i});
            i += twoBytes ? 2 : 1;
        }
    }
    return tokens;
}

bool sameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool isKeyword(const Tokens& tokens, std::size_t i, const char* keyword)
{
    return i < tokens.size() && tokens[i].kind == Token::Word && sameName(tokens[i].text, keyword);
}

bool isSymbol(const Tokens& tokens, std::size_t i, const char* symbol)
{
    return i < tokens.size() && tokens[i].kind == Token::Symbol && tokens[i].text == symbol;
}

bool isName(const Tokens& tokens, std::size_t i)
{
    return i < tokens.size() && (tokens[i].kind == Token::Word || tokens[i].kind == Token::QuotedName);
}

bool isEquality(const Tokens& tokens, std::size_t i)
{
    return isSymbol(tokens, i, "=") || isSymbol(tokens, i, "==");
}

// Splits at the semicolons that end statements. A CREATE TRIGGER statement ends only after the
// END of its body (CASE ... END inside it is counted).
std::vector<Tokens> statements(const Tokens& tokens)
{
    std::vector<Tokens> result(1);
    bool inTrigger = false;
    int caseDepth = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        Tokens& current = result.back();
        if (current.empty())
            inTrigger = isKeyword(tokens, i, "CREATE") &&
                        (isKeyword(tokens, i + 1, "TRIGGER") || isKeyword(tokens, i + 2, "TRIGGER"));
        const bool afterBody = !current.empty() && isKeyword(current, current.size() - 1, "END") && caseDepth == 0;
        if (isSymbol(tokens, i, ";") && (!inTrigger || afterBody)) {
            if (!current.empty())
                result.emplace_back();
            caseDepth = 0;
            continue;
        }
        if (inTrigger && isKeyword(tokens, i, "CASE"))
            ++caseDepth;
        else if (inTrigger && isKeyword(tokens, i, "END") && caseDepth > 0)
            --caseDepth;
        current.push_back(tokens[i]);
    }
    if (result.back().empty())
        result.pop_back();
    return result;
}

// The table a DELETE or UPDATE statement changes, and which of the two it is; empty otherwise.
std::pair<std::string, std::string> changedTable(const Tokens& statement)
{
    std::size_t i = 0;
    std::string event;
    if (isKeyword(statement, 0, "DELETE") && isKeyword(statement, 1, "FROM")) {
        event = "DELETE";
        i = 2;
    } else if (isKeyword(statement, 0, "UPDATE")) {
        event = "UPDATE";
        i = isKeyword(statement, 1, "OR") ? 3 : 1;
    }
    if (event.empty() || !isName(statement, i))
        return {};
    if (isSymbol(statement, i + 1, ".") && isName(statement, i + 2))
        i += 2;
    return {statement[i].text, event};
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

std::string quotedName(const std::string& name)
{
    std::string quoted = "\"";
    for (char c : name)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::vector<std::vector<std::string>> rows(Connection& database, const std::string& sql,
                                           const std::vector<std::string>& parameters, int columns)
{
    auto statement = database.prepare(sql, true);
    for (const std::string& parameter : parameters)
        bindNext(*statement, parameter);
    std::vector<std::vector<std::string>> result;
    while (statement->step()) {
        result.emplace_back();
        for (int column = 0; column < columns; ++column)
            result.back().push_back(statement->readText());
    }
    return result;
}

} // namespace

LookupIndexes::LookupIndexes(Connection& database) : database_(database) {}

void LookupIndexes::cover(const std::string& table, const std::string& column)
{
    if (!needsIndex(table, column))
        return;
    const std::string name = unusedName();
    database_.execute("CREATE INDEX " + quotedName(name) + " ON " + quotedName(table) + "(" + quotedName(column) +
                      ");");
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
    const auto triggers = rows(database_,
                               "SELECT sql FROM sqlite_master WHERE type='trigger' AND tbl_name=? COLLATE NOCASE "
                               "ORDER BY name",
                               {table}, 1);
    for (const auto& trigger : triggers) {
        const Tokens tokens = tokenize(trigger[0]);
        std::size_t begin = 0;
        std::string firedBy;
        for (; begin < tokens.size() && !isKeyword(tokens, begin, "BEGIN"); ++begin) {
            for (const char* kind : {"DELETE", "INSERT", "UPDATE"})
                if (firedBy.empty() && isKeyword(tokens, begin, kind))
                    firedBy = kind;
        }
        if (firedBy != event || begin == tokens.size())
            continue;
        Tokens body(tokens.begin() + static_cast<std::ptrdiff_t>(begin) + 1, tokens.end());
        if (!body.empty() && isKeyword(body, body.size() - 1, "END"))
            body.pop_back();
        for (const Tokens& statement : statements(body)) {
            const auto changed = changedTable(statement);
            if (changed.first.empty())
                continue;
            for (const std::string& column : rowValueLookups(statement, changed.first))
                cover(changed.first, column);
            coverTriggersOn(changed.first, changed.second);
        }
    }
}

bool LookupIndexes::needsIndex(const std::string& table, const std::string& column)
{
    const auto ordinary = rows(database_,
                               "SELECT sql NOT LIKE 'CREATE VIRTUAL%' FROM sqlite_master WHERE type='table' AND "
                               "name=? COLLATE NOCASE",
                               {table}, 1);
    if (ordinary.empty() || ordinary[0][0] != "1")
        return false;
    const auto columns = rows(database_, "SELECT name, upper(type), pk FROM pragma_table_info(?)", {table}, 3);
    const auto found = std::find_if(columns.begin(), columns.end(),
                                    [&](const std::vector<std::string>& c) { return sameName(c[0], column); });
    if (found == columns.end())
        return false;
    const auto keys = std::count_if(columns.begin(), columns.end(),
                                    [](const std::vector<std::string>& c) { return c[2] != "0"; });
    if (keys == 1 && (*found)[2] == "1" && (*found)[1] == "INTEGER")
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
