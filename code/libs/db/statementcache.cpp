#include "libs/db/statementcache.hpp"

#include <sqlite3.h>

#include <vector>

namespace Sqlite {

StatementCache::StatementCache(sqlite3* database) noexcept : database_(database) {}

StatementCache::~StatementCache()
{
    std::multimap<std::string, sqlite3_stmt*> idle;
    {
        boost::mutex::scoped_lock lock(mutex_);
        idle.swap(idle_);
    }
    for (const auto& entry : idle)
        sqlite3_finalize(entry.second);
}

sqlite3_stmt* StatementCache::take(const std::string& sql)
{
    boost::mutex::scoped_lock lock(mutex_);
    const auto found = idle_.find(sql);
    if (found == idle_.end())
        return nullptr;
    sqlite3_stmt* statement = found->second;
    idle_.erase(found);
    return statement;
}

void StatementCache::release(sqlite3_stmt* statement, const std::string& key) noexcept
{
    if (!statement)
        return;
    if (sqlite3_db_handle(statement) == database_) {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
        if (put(statement, key))
            return;
    }
    sqlite3_finalize(statement);
}

bool StatementCache::put(sqlite3_stmt* statement, const std::string& key) noexcept
{
    if (key.empty())
        return false;
    try {
        boost::mutex::scoped_lock lock(mutex_);
        idle_.emplace(key, statement);
        return true;
    } catch (...) {
        return false;
    }
}

std::size_t StatementCache::idleCount(const std::string& sql) const
{
    boost::mutex::scoped_lock lock(mutex_);
    return idle_.count(sql);
}

} // namespace Sqlite
