#pragma once
// Idle prepared statements of one connection, kept by their SQL text so that a statement
// prepared again is taken from here instead of being compiled again.

#include <boost/thread/mutex.hpp>

#include <cstddef>
#include <map>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace Sqlite {

class StatementCache {
public:
    // The cache of the given engine connection; it holds no statement yet.
    explicit StatementCache(sqlite3* database) noexcept;
    // Finalises every idle statement.
    ~StatementCache();
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // Removes and returns an idle statement compiled from exactly this text; nullptr when there
    // is none. A statement is never handed out twice.
    sqlite3_stmt* take(const std::string& sql);

    // Takes back a statement that is no longer used: resets it and clears its bindings (results
    // ignored) and keeps it under the key, the text it was prepared from. Finalises it when the
    // key is empty, the statement belongs to another connection or cannot be kept. Never throws.
    void release(sqlite3_stmt* statement, const std::string& key) noexcept;

    // Number of idle statements held for this text.
    std::size_t idleCount(const std::string& sql) const;

private:
    bool put(sqlite3_stmt* statement, const std::string& key) noexcept;

    sqlite3* database_;
    mutable boost::mutex mutex_;
    std::multimap<std::string, sqlite3_stmt*> idle_;
};

} // namespace Sqlite
