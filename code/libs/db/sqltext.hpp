#pragma once
// Reading SQL text as the engine splits it: tokens, statements, the table a statement changes
// and the bodies of the triggers it fires. Used to find in a script the work that can be
// helped along or done ahead on a working copy; names compare without regard to letter case.

#include "libs/db/sqlitedb.hpp"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace Sqlite::Text {

// Words (keywords, names, numbers), quoted names with their quotes removed, string literals and
// operators, each with its byte offset in the text. Comments and blanks are dropped.
struct Token {
    enum Kind { Word, QuotedName, Literal, Symbol } kind;
    std::string text;
    std::size_t offset;
};
using Tokens = std::vector<Token>;

Tokens tokenize(const std::string& sql);

// The statements of the tokens, split at the semicolons that end them (a CREATE TRIGGER ends
// after the END of its body); the semicolons are dropped.
std::vector<Tokens> statements(const Tokens& tokens);

bool sameName(const std::string& a, const std::string& b);
bool isKeyword(const Tokens& tokens, std::size_t i, const char* keyword);
bool isSymbol(const Tokens& tokens, std::size_t i, const char* symbol);
// A word or a quoted name at i.
bool isName(const Tokens& tokens, std::size_t i);
// Whether the statement names the table (or index, trigger) anywhere.
bool mentions(const Tokens& statement, const std::string& name);

// The table a DELETE or UPDATE statement changes, and which of the two it is ("DELETE",
// "UPDATE"); empty texts for any other statement.
std::pair<std::string, std::string> changedTable(const Tokens& statement);

// The name in double quotes, inner quotes doubled: safe to put into SQL.
std::string quotedName(const std::string& name);

// Every row of the query with the parameters bound in order, the first columns of each as text.
std::vector<std::vector<std::string>> rows(Connection& database, const std::string& sql,
                                           const std::vector<std::string>& parameters, int columns);

// The column of table that is its rowid (a sole INTEGER PRIMARY KEY); empty when it has none.
std::string rowidAlias(Connection& database, const std::string& table);

// The statements in the bodies of the triggers on table that event ("DELETE", "INSERT",
// "UPDATE") fires, in the order of the triggers' names.
std::vector<Tokens> firedStatements(Connection& database, const std::string& table, const std::string& event);

} // namespace Sqlite::Text
