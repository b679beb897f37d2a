#pragma once
// The tests' reading of query results through the connection under test.

#include "libs/db/sqlitedb.hpp"

#include <string>
#include <vector>

namespace DbTest {

using Strings = std::vector<std::string>;

// The first column of every row of the query, as text.
inline Strings column(Sqlite::Connection& db, const std::string& sql)
{
    Strings values;
    auto statement = db.prepare(sql, false);
    while (statement->step())
        values.push_back(statement->readText());
    return values;
}

} // namespace DbTest
