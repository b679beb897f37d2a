#include "libs/db/sqltext.hpp"

#include <algorithm>
#include <cctype>

namespace Sqlite::Text {

namespace {

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

} // namespace

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

bool mentions(const Tokens& statement, const std::string& name)
{
    return std::any_of(statement.begin(), statement.end(), [&](const Token& token) {
        return token.kind != Token::Literal && token.kind != Token::Symbol && sameName(token.text, name);
    });
}

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

std::string rowidAlias(Connection& database, const std::string& table)
{
    const auto keys = rows(database, "SELECT name, upper(type) FROM pragma_table_info(?) WHERE pk>0", {table}, 2);
    return keys.size() == 1 && keys[0][1] == "INTEGER" ? keys[0][0] : std::string();
}

std::vector<Tokens> firedStatements(Connection& database, const std::string& table, const std::string& event)
{
    std::vector<Tokens> fired;
    const auto triggers = rows(database,
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
        for (Tokens& statement : statements(body))
            fired.push_back(std::move(statement));
    }
    return fired;
}

} // namespace Sqlite::Text
