#include "libs/db/errors.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>

#include <sqlite3.h>

#include <functional>
#include <string>
#include <thread>
#include <typeinfo>

namespace {

namespace E = Sqlite::Exceptions;

struct ExpectedCode {
    int code;
    const char* message;
    std::function<bool(const E::Sqlite&)> isType;
};

template <typename Type>
std::function<bool(const E::Sqlite&)> is()
{
    return [](const E::Sqlite& e) { return dynamic_cast<const Type*>(&e) != nullptr; };
}

const ExpectedCode expectedCodes[] = {
    {1, "SQL error or missing database", is<E::Error>()},
    {2, "Internal logic error in SQLite", is<E::Internal>()},
    {3, "Access permission denied", is<E::Perm>()},
    {4, "Callback routine requested an abort", is<E::Abort>()},
    {5, "The database file is locked", is<E::Busy>()},
    {6, "A table in the database is locked", is<E::Locked>()},
    {7, "A malloc() failed", is<E::Memory>()},
    {8, "Attempt to write a readonly database", is<E::ReadOnly>()},
    {9, "Operation terminated by sqlite3_interrupt()", is<E::Interrupt>()},
    {10, "Some kind of disk I/O error occurred", is<E::IOError>()},
    {11, "The database disk image is malformed", is<E::Corrupt>()},
    {12, "NOT USED. Table or record not found", is<E::NotFound>()},
    {13, "Insertion failed because database is full", is<E::Full>()},
    {14, "Unable to open the database file", is<E::Open>()},
    {15, "Database lock protocol error", is<E::Protocol>()},
    {16, "Database is empty", is<E::Empty>()},
    {17, "The database schema changed", is<E::Schema>()},
    {18, "String or BLOB exceeds size limit", is<E::TooBig>()},
    {19, "Abort due to constraint violation", is<E::Constraint>()},
    {20, "Data type mismatch", is<E::Mismatch>()},
    {21, "Library used incorrectly", is<E::Misuse>()},
    {22, "Uses OS features not supported on host", is<E::NoLFS>()},
    {23, "Authorization denied", is<E::Auth>()},
    {24, "Auxiliary database format error", is<E::Format>()},
    {25, "2nd parameter to sqlite3_bind out of range", is<E::Range>()},
    {26, "File opened that is not a database file", is<E::BadFile>()},
};

// True when another thread cannot take the connection's engine mutex right now.
bool mutexHeldElsewhere(sqlite3* database)
{
    bool held = false;
    std::thread([&] {
        sqlite3_mutex* mutex = sqlite3_db_mutex(database);
        if (sqlite3_mutex_try(mutex) == SQLITE_OK)
            sqlite3_mutex_leave(mutex);
        else
            held = true;
    }).join();
    return held;
}

struct MemoryDatabase {
    MemoryDatabase() { sqlite3_open_v2(":memory:", &database, SQLITE_OPEN_READWRITE, nullptr); }
    ~MemoryDatabase() { sqlite3_close(database); }
    sqlite3* database = nullptr;
};

TEST(SqliteErrors, EveryFailingCodeRaisesItsTypeWithItsFixedMessage)
{
    for (const ExpectedCode& expected : expectedCodes) {
        SCOPED_TRACE(expected.code);
        EXPECT_STREQ(Sqlite::resultCodeMessage(expected.code), expected.message);
        try {
            Sqlite::raiseError(expected.code, "engine text", "a.db");
            ADD_FAILURE() << "nothing raised";
        } catch (const E::Sqlite& e) {
            EXPECT_TRUE(expected.isType(e)) << typeid(e).name();
            ASSERT_NE(boost::get_error_info<E::StatusCode_>(e), nullptr);
            EXPECT_EQ(*boost::get_error_info<E::StatusCode_>(e), expected.code);
            ASSERT_NE(boost::get_error_info<E::ErrorMsg_>(e), nullptr);
            EXPECT_EQ(*boost::get_error_info<E::ErrorMsg_>(e), expected.message);
            ASSERT_NE(boost::get_error_info<E::Details_>(e), nullptr);
            EXPECT_EQ(*boost::get_error_info<E::Details_>(e), "engine text");
            ASSERT_NE(boost::get_error_info<E::Filename_>(e), nullptr);
            EXPECT_EQ(*boost::get_error_info<E::Filename_>(e), "a.db");
            EXPECT_EQ(boost::get_error_info<boost::throw_line>(e), nullptr);
            EXPECT_EQ(boost::get_error_info<boost::throw_file>(e), nullptr);
            const std::string text = e.what();
            EXPECT_EQ(text.find("boost::wrapexcept<Sqlite::Exceptions::"), 0u) << text;
            EXPECT_NE(text.find(std::string("Sqlite::Exceptions::ErrorMsg=") + expected.message),
                      std::string::npos) << text;
        }
    }
}

TEST(SqliteErrors, SuccessAndUnknownCodesRaiseNothing)
{
    for (int code : {SQLITE_OK, SQLITE_ROW, SQLITE_DONE, SQLITE_NOTICE, SQLITE_WARNING, -1, 0x10e}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Sqlite::resultCodeMessage(code), nullptr);
        EXPECT_NO_THROW(Sqlite::raiseError(code, "details", "a.db"));
        Sqlite::ErrorScope scope(nullptr);
        EXPECT_NO_THROW(scope.check(code));
    }
}

TEST(SqliteErrors, EmptyDetailsAndFileNameAreNotAttached)
{
    try {
        Sqlite::raiseError(SQLITE_CANTOPEN, "", "");
        FAIL() << "nothing raised";
    } catch (const E::Open& e) {
        EXPECT_EQ(boost::get_error_info<E::Details_>(e), nullptr);
        EXPECT_EQ(boost::get_error_info<E::Filename_>(e), nullptr);
        EXPECT_NE(boost::get_error_info<E::StatusCode_>(e), nullptr);
    }
}

TEST(SqliteErrors, FamiliesCatchTheirOwnTypes)
{
    EXPECT_THROW(Sqlite::raiseError(SQLITE_MISUSE, "", ""), E::Sqlite);
    EXPECT_THROW(Sqlite::raiseError(SQLITE_MISUSE, "", ""), E::Exception);
    EXPECT_THROW(Sqlite::raiseError(SQLITE_MISUSE, "", ""), ::Exceptions::Exception);
    auto throwsAsSqlite = [](auto exception) {
        try {
            throw exception;
        } catch (const E::Sqlite&) {
            return true;
        } catch (const E::Exception&) {
            return false;
        }
    };
    EXPECT_FALSE(throwsAsSqlite(E::NoConnection()));
    EXPECT_FALSE(throwsAsSqlite(E::NoStatement()));
    EXPECT_FALSE(throwsAsSqlite(E::NoRow()));
}

TEST(SqliteErrors, ScopeReadsTheConnectionsMessageAndNeverLeavesItLocked)
{
    MemoryDatabase db;
    ASSERT_NE(db.database, nullptr);
    EXPECT_STREQ(Sqlite::errorMessage(nullptr), "");

    sqlite3_stmt* statement = nullptr;
    {
        Sqlite::ErrorScope scope(db.database);
        EXPECT_TRUE(mutexHeldElsewhere(db.database));
        const int code = sqlite3_prepare_v2(db.database, "SELECT * FROM missing", -1, &statement, nullptr);
        try {
            scope.check(code);
            FAIL() << "nothing raised";
        } catch (const E::Error& e) {
            EXPECT_FALSE(mutexHeldElsewhere(db.database));
            ASSERT_NE(boost::get_error_info<E::Details_>(e), nullptr);
            EXPECT_EQ(*boost::get_error_info<E::Details_>(e), "no such table: missing");
            EXPECT_EQ(boost::get_error_info<E::Filename_>(e), nullptr);
        }
    }
    EXPECT_EQ(statement, nullptr);

    {
        Sqlite::ErrorScope scope(db.database);
        scope.check(SQLITE_OK);
        EXPECT_FALSE(mutexHeldElsewhere(db.database));
    }
    {
        Sqlite::ErrorScope scope(db.database);
    }
    EXPECT_FALSE(mutexHeldElsewhere(db.database));
}

TEST(SqliteErrors, ScopeChecksTheConnectionsCurrentCode)
{
    MemoryDatabase db;
    sqlite3_exec(db.database, "SELEC 1", nullptr, nullptr, nullptr);
    Sqlite::ErrorScope failing(db.database);
    failing.setFilename("x.db");
    try {
        failing.checkCurrentCode();
        FAIL() << "nothing raised";
    } catch (const E::Error& e) {
        ASSERT_NE(boost::get_error_info<E::Details_>(e), nullptr);
        EXPECT_NE(boost::get_error_info<E::Details_>(e)->find("syntax error"), std::string::npos);
        ASSERT_NE(boost::get_error_info<E::Filename_>(e), nullptr);
        EXPECT_EQ(*boost::get_error_info<E::Filename_>(e), "x.db");
    }
    sqlite3_exec(db.database, "SELECT 1", nullptr, nullptr, nullptr);
    Sqlite::ErrorScope passing(db.database);
    EXPECT_NO_THROW(passing.checkCurrentCode());
}

} // namespace
