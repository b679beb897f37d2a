#include "libs/db/sqlitedb.hpp"

#include "support/filecontent.hpp"
#include "support/platform.hpp"
#include "support/temporarydirectory.hpp"

#include <gtest/gtest.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/filesystem/operations.hpp>

#include <sqlite3.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

namespace E = Sqlite::Exceptions;

template <typename Tag>
std::string tagOf(const boost::exception& e)
{
    const auto* value = boost::get_error_info<Tag>(e);
    return value ? *value : std::string("<missing>");
}

int statusOf(const boost::exception& e)
{
    const int* value = boost::get_error_info<E::StatusCode_>(e);
    return value ? *value : -1;
}

sqlite3_stmt* engineStatement(const Sqlite::Statement& statement)
{
    return statement.statementHandle().stmt();
}

// Every value of the first column of the query, read through the layer.
std::vector<std::string> column(Sqlite::Connection& db, const std::string& sql)
{
    std::vector<std::string> values;
    auto query = db.prepare(sql, false);
    while (query->step())
        values.push_back(query->readText());
    return values;
}

bool inTransaction(const Sqlite::Connection& db)
{
    return sqlite3_get_autocommit(db.connectionHandle().con()) == 0;
}

TEST(SqliteConnection, MissingFileWithoutCreateFailsAndStaysClosed)
{
    TestSupport::TemporaryDirectory dir;
    const std::string name = dir / "absent/data.db";
    Sqlite::Connection db;
    try {
        db.open(name, false);
        FAIL() << "opened";
    } catch (const E::Open& e) {
        EXPECT_EQ(statusOf(e), SQLITE_CANTOPEN);
        EXPECT_EQ(tagOf<E::Filename_>(e), name);
        EXPECT_EQ(tagOf<E::ErrorMsg_>(e), "Unable to open the database file");
        EXPECT_NE(tagOf<E::Details_>(e), "<missing>");
        EXPECT_FALSE(tagOf<E::Details_>(e).empty());
    }
    EXPECT_FALSE(db.isOpen());
    EXPECT_EQ(db.filename(), name);
    EXPECT_THROW(db.connectionHandle(), E::NoConnection);
    EXPECT_FALSE(TestSupport::exists(name));
    EXPECT_FALSE(TestSupport::exists(dir / "absent"));
}

TEST(SqliteConnection, CreateMakesTheFileAndItsMissingDirectories)
{
    TestSupport::TemporaryDirectory dir;
    const std::string name = dir / "a/b/c/data.db";
    {
        Sqlite::Connection db(name, true);
        EXPECT_TRUE(db.isOpen());
        db.execute("CREATE TABLE t(x TEXT);INSERT INTO t VALUES('kept');");
    }
    ASSERT_TRUE(TestSupport::exists(name));
    Sqlite::Connection again(name, false);
    EXPECT_EQ(column(again, "SELECT x FROM t"), std::vector<std::string>{"kept"});
}

TEST(SqliteConnection, InMemoryDatabaseCreatesNoDirectoryAndEmptyNameStaysClosed)
{
    TestSupport::TemporaryDirectory dir;
    const std::string cwd = boost::filesystem::current_path().string();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    {
        Sqlite::Connection db(Sqlite::inMemory, true);
        db.execute("CREATE TABLE t(x);INSERT INTO t VALUES(1);");
        EXPECT_EQ(column(db, "SELECT count(*) FROM t"), std::vector<std::string>{"1"});
        EXPECT_EQ(db.filename(), ":memory:");
    }
    EXPECT_TRUE(TestSupport::listFiles(dir.path()).empty());
    ASSERT_EQ(chdir(cwd.c_str()), 0);

    Sqlite::Connection closed;
    EXPECT_FALSE(closed.isOpen());
    try {
        closed.execute("SELECT 1");
        FAIL() << "executed";
    } catch (const E::NoConnection& e) {
        EXPECT_NE(boost::get_error_info<E::Filename_>(e), nullptr);
        EXPECT_EQ(boost::get_error_info<E::SqlQuery_>(e), nullptr);
        EXPECT_NE(boost::get_error_info<boost::throw_line>(e), nullptr);
    }
    EXPECT_THROW(closed.prepare("SELECT 1", true), E::NoConnection);
    EXPECT_THROW(closed.prepare("SELECT 1", false), E::NoConnection);
    EXPECT_THROW(closed.begin(Sqlite::TransactionType::Exclusive), E::NoConnection);
    EXPECT_EQ(closed.idleStatements("SELECT 1"), 0u);
}

TEST(SqliteConnection, WritesToAReadOnlyDatabaseFail)
{
    TestSupport::TemporaryDirectory dir;
    const std::string name = dir / "data.db";
    Sqlite::Connection(name, true).execute("CREATE TABLE t(x);");

    Sqlite::Connection queryOnly(name, false);
    queryOnly.execute("PRAGMA query_only=ON;");
    EXPECT_THROW(queryOnly.execute("INSERT INTO t VALUES(1);"), E::ReadOnly);

    if (!TestSupport::readOnlyBindsThisProcess())
        return;
    TestSupport::makeReadOnly(name);
    Sqlite::Connection readOnly(name, false);
    EXPECT_EQ(column(readOnly, "SELECT count(*) FROM t"), std::vector<std::string>{"0"});
    try {
        readOnly.execute("INSERT INTO t VALUES(1);");
        FAIL() << "written";
    } catch (const E::ReadOnly& e) {
        EXPECT_EQ(statusOf(e), SQLITE_READONLY);
        EXPECT_EQ(tagOf<E::Filename_>(e), name);
    }
}

TEST(SqliteConnection, ReopeningReplacesTheDatabase)
{
    TestSupport::TemporaryDirectory dir;
    Sqlite::Connection db(dir / "one.db", true);
    db.execute("CREATE TABLE one(x);");
    auto cached = db.prepare("SELECT count(*) FROM one", true);
    db.open(dir / "two.db", true);
    EXPECT_EQ(db.filename(), dir / "two.db");
    EXPECT_THROW(db.execute("SELECT * FROM one;"), E::Error);
    cached.reset();
    EXPECT_EQ(db.idleStatements("SELECT count(*) FROM one"), 0u);
}

TEST(SqliteTransactions, BeginCommitAndRollbackOnClose)
{
    TestSupport::TemporaryDirectory dir;
    const std::string name = dir / "data.db";
    Sqlite::Connection db(name, true);
    db.execute("CREATE TABLE t(x);");
    for (auto type : {Sqlite::TransactionType::Deferred, Sqlite::TransactionType::Immediate,
                      Sqlite::TransactionType::Exclusive, static_cast<Sqlite::TransactionType>(7)}) {
        SCOPED_TRACE(static_cast<int>(type));
        db.begin(type);
        EXPECT_TRUE(inTransaction(db));
        db.execute("INSERT INTO t VALUES(1);");
        db.commit();
        EXPECT_FALSE(inTransaction(db));
    }
    db.begin(Sqlite::TransactionType::Deferred);
    try {
        db.begin(Sqlite::TransactionType::Exclusive);
        FAIL() << "nested transaction started";
    } catch (const E::Error& e) {
        EXPECT_EQ(tagOf<E::SqlQuery_>(e), "BEGIN EXCLUSIVE TRANSACTION;");
        EXPECT_EQ(tagOf<E::Filename_>(e), name);
    }
    db.commit();
    EXPECT_THROW(db.commit(), E::Error);
    db.vacuum();
    db.analyze();
    EXPECT_EQ(column(db, "SELECT count(*) FROM sqlite_master WHERE name='sqlite_stat1'"),
              std::vector<std::string>{"1"});

    db.begin(Sqlite::TransactionType::Exclusive);
    db.execute("INSERT INTO t VALUES(2);");
    db.open(name, false);
    EXPECT_EQ(column(db, "SELECT count(*) FROM t"), std::vector<std::string>{"4"});
}

TEST(SqliteExecute, ScriptWithASyntaxErrorKeepsEarlierStatementsAndSaysWhatFailed)
{
    TestSupport::TemporaryDirectory dir;
    const std::string name = dir / "data.db";
    Sqlite::Connection db(name, true);
    const std::string script = "CREATE TABLE t(x);INSERT INTO t VALUES(1);SELEC x FROM t;INSERT INTO t VALUES(2);";
    try {
        db.execute(script);
        FAIL() << "executed";
    } catch (const E::Error& e) {
        EXPECT_EQ(statusOf(e), SQLITE_ERROR);
        EXPECT_EQ(tagOf<E::ErrorMsg_>(e), "SQL error or missing database");
        EXPECT_NE(tagOf<E::Details_>(e).find("syntax error"), std::string::npos);
        EXPECT_EQ(tagOf<E::SqlQuery_>(e), script);
        EXPECT_EQ(tagOf<E::Filename_>(e), name);
        EXPECT_EQ(boost::get_error_info<E::ElapsedTime_>(e), nullptr);
        const std::string text = e.what();
        EXPECT_EQ(text.find("boost::wrapexcept<Sqlite::Exceptions::Error>|"), 0u) << text;
        for (const std::string& segment : std::vector<std::string>{
             "Sqlite::Exceptions::Details=near \"SELEC\": syntax error",
              "Sqlite::Exceptions::ErrorMsg=SQL error or missing database",
              "Sqlite::Exceptions::Filename=" + name, "Sqlite::Exceptions::SqlQuery=" + script,
              std::string("Sqlite::Exceptions::StatusCode=1")})
            EXPECT_NE(text.find(segment), std::string::npos) << segment << " in " << text;
    }
    EXPECT_EQ(column(db, "SELECT x FROM t"), std::vector<std::string>{"1"});
}

TEST(SqliteExecute, PragmasAndQueriesThatReturnRowsAreAccepted)
{
    TestSupport::TemporaryDirectory dir;
    Sqlite::Connection db(dir / "data.db", true);
    db.execute("PRAGMA journal_mode=OFF;PRAGMA synchronous=OFF;PRAGMA user_version=13;"
               "CREATE TABLE t(x);INSERT INTO t VALUES(1);SELECT * FROM t;PRAGMA user_version;");
    EXPECT_EQ(column(db, "PRAGMA user_version"), std::vector<std::string>{"13"});
    EXPECT_EQ(column(db, "PRAGMA journal_mode"), std::vector<std::string>{"off"});
    EXPECT_NO_THROW(db.execute(""));
    EXPECT_NO_THROW(db.execute(" ; ;"));
}

TEST(SqliteExecute, CorruptFileIsNotADatabase)
{
    TestSupport::TemporaryDirectory dir;
    const std::string name = dir / "random.db";
    std::mt19937 generator(12);
    std::string bytes(16384, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xff);
    TestSupport::writeFile(name, bytes);

    Sqlite::Connection db(name, false);
    try {
        db.execute("SELECT count(*) FROM sqlite_master;");
        FAIL() << "read";
    } catch (const E::BadFile& e) {
        EXPECT_EQ(statusOf(e), SQLITE_NOTADB);
        EXPECT_EQ(tagOf<E::Filename_>(e), name);
        EXPECT_EQ(tagOf<E::ErrorMsg_>(e), "File opened that is not a database file");
    }
    auto query = db.prepare("SELECT 1", false);
    EXPECT_NO_THROW(query->step());
    try {
        db.prepare("SELECT * FROM sqlite_master", false);
        FAIL() << "compiled";
    } catch (const E::BadFile& e) {
        EXPECT_EQ(tagOf<E::SqlQuery_>(e), "SELECT * FROM sqlite_master");
    }
    EXPECT_EQ(TestSupport::readFile(name), bytes);
}

TEST(SqliteStatements, CacheHandsOutOneStatementOnceAndKeepsItsIdleOnes)
{
    Sqlite::Connection db(Sqlite::inMemory, true);
    db.execute("CREATE TABLE t(x);");
    const std::string sql = "SELECT x FROM t WHERE x=?";

    auto first = db.prepare(sql, true);
    sqlite3_stmt* firstEngine = engineStatement(*first);
    auto second = db.prepare(sql, true);
    sqlite3_stmt* secondEngine = engineStatement(*second);
    EXPECT_NE(secondEngine, firstEngine);
    EXPECT_EQ(db.idleStatements(sql), 0u);
    first.reset();
    second.reset();
    EXPECT_EQ(db.idleStatements(sql), 2u);

    auto reused = db.prepare(sql, true);
    sqlite3_stmt* reusedEngine = engineStatement(*reused);
    EXPECT_EQ(db.idleStatements(sql), 1u);
    auto other = db.prepare(sql, true);
    EXPECT_EQ(db.idleStatements(sql), 0u);
    const std::set<sqlite3_stmt*> handedOut{reusedEngine, engineStatement(*other)};
    EXPECT_EQ(handedOut, (std::set<sqlite3_stmt*>{firstEngine, secondEngine}));
    reused.reset();
    EXPECT_EQ(engineStatement(*db.prepare(sql, true)), reusedEngine);
    other.reset();

    auto uncached = db.prepare(sql, false);
    uncached.reset();
    EXPECT_EQ(db.idleStatements(sql), 2u);

    const std::string withTail = "SELECT 1; SELECT 2";
    sqlite3_stmt* tailEngine = engineStatement(*db.prepare(withTail, true));
    EXPECT_EQ(db.idleStatements(withTail), 1u);
    EXPECT_EQ(engineStatement(*db.prepare(withTail, true)), tailEngine);
}

TEST(SqliteStatements, ReusedStatementStartsWithoutThePreviousValues)
{
    Sqlite::Connection db(Sqlite::inMemory, true);
    const std::string sql = "SELECT ?1 IS NULL, ?1";
    {
        auto statement = db.prepare(sql, true);
        Sqlite::bindNext(*statement, "old");
        ASSERT_TRUE(statement->step());
        EXPECT_EQ(statement->readText(), "0");
    }
    auto statement = db.prepare(sql, true);
    ASSERT_TRUE(statement->step());
    EXPECT_EQ(statement->readText(), "1");
    EXPECT_EQ(statement->readText(), "");
}

TEST(SqliteStatements, StatementsOutlivingTheirConnectionAreFinalised)
{
    std::unique_ptr<Sqlite::Statement> cached;
    std::unique_ptr<Sqlite::Statement> plain;
    {
        Sqlite::Connection db(Sqlite::inMemory, true);
        cached = db.prepare("SELECT 1", true);
        plain = db.prepare("SELECT 2", false);
        ASSERT_TRUE(cached->step());
    }
    cached.reset();
    plain.reset();
}

TEST(SqliteStatements, StatementWithoutSqlFailsOnUse)
{
    TestSupport::TemporaryDirectory dir;
    const std::string name = dir / "data.db";
    Sqlite::Connection db(name, true);
    for (bool cached : {false, true}) {
        auto statement = db.prepare("  -- nothing here\n", cached);
        EXPECT_THROW(statement->statementHandle(), E::NoStatement);
        try {
            statement->step();
            FAIL() << "stepped";
        } catch (const E::NoStatement& e) {
            EXPECT_EQ(tagOf<E::Filename_>(e), name);
        }
        EXPECT_THROW(statement->reset(), E::NoStatement);
        EXPECT_THROW(Sqlite::bindNext(*statement, "x"), E::NoStatement);
    }
    for (bool cached : {false, true}) {
        try {
            db.prepare("SELECT FROM WHERE", cached);
            FAIL() << "compiled";
        } catch (const E::Error& e) {
            EXPECT_EQ(tagOf<E::SqlQuery_>(e), "SELECT FROM WHERE");
            EXPECT_EQ(tagOf<E::Filename_>(e), name);
            EXPECT_NE(tagOf<E::Details_>(e).find("syntax error"), std::string::npos);
        }
    }
}

TEST(SqliteStatements, ReadingColumns)
{
    Sqlite::Connection db(Sqlite::inMemory, true);
    auto statement = db.prepare("SELECT 'abc', NULL, 42, CAST(X'41C328' AS TEXT), CAST(X'610062' AS TEXT)", true);
    EXPECT_THROW(statement->readText(), E::NoRow);
    ASSERT_TRUE(statement->step());
    std::string text;
    Sqlite::readNext(*statement, text);
    EXPECT_EQ(text, "abc");
    text = "not cleared";
    Sqlite::readNext(*statement, text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(statement->readText(), "42");
    EXPECT_EQ(statement->readText(), "A\xEF\xBF\xBD(");
    EXPECT_EQ(statement->readText(), std::string("a\0b", 3));
    try {
        statement->readText();
        FAIL() << "read past the last column";
    } catch (const E::Range& e) {
        EXPECT_EQ(statusOf(e), SQLITE_RANGE);
        EXPECT_EQ(tagOf<E::ErrorMsg_>(e), "2nd parameter to sqlite3_bind out of range");
        EXPECT_EQ(boost::get_error_info<boost::throw_line>(e), nullptr);
    }
    statement->reset();
    try {
        statement->readText();
        FAIL() << "read without a row";
    } catch (const E::NoRow& e) {
        EXPECT_EQ(boost::get_error_info<boost::throw_line>(e), nullptr);
    }
    ASSERT_TRUE(statement->step());
    statement->readText();
    EXPECT_EQ(statement->readText(), "");
    EXPECT_FALSE(statement->step());
    EXPECT_THROW(statement->readText(), E::NoRow);
}

TEST(SqliteStatements, BindingAndLastRowIds)
{
    Sqlite::Connection db(Sqlite::inMemory, true);
    db.execute("CREATE TABLE t(id INTEGER PRIMARY KEY, a TEXT UNIQUE, b TEXT);");
    auto insert = db.prepare("INSERT INTO t(id, a, b) VALUES(?, ?, ?)", true);
    EXPECT_EQ(insert->lastRowId(), -1);

    std::string value = "40";
    Sqlite::bindNext(*insert, value);
    value = "first";
    Sqlite::bindNext(*insert, value);
    value = "changed after binding";
    Sqlite::bindNext(*insert, "");
    std::int64_t rowId = 0;
    EXPECT_FALSE(insert->step(&rowId));
    EXPECT_EQ(rowId, 40);
    EXPECT_EQ(insert->lastRowId(), 40);

    Sqlite::bindNext(*insert, "41");
    Sqlite::bindNext(*insert, "numbering restarts after a step");
    Sqlite::bindNext(*insert, "b");
    EXPECT_THROW(Sqlite::bindNext(*insert, "one too many"), E::Range);
    insert->reset();
    Sqlite::bindNext(*insert, "42");
    Sqlite::bindNext(*insert, "second");
    Sqlite::bindNext(*insert, "b");
    EXPECT_FALSE(insert->step(&rowId));
    EXPECT_EQ(rowId, 42);

    Sqlite::bindNext(*insert, "43");
    Sqlite::bindNext(*insert, "second");
    Sqlite::bindNext(*insert, "b");
    try {
        insert->step();
        FAIL() << "duplicate inserted";
    } catch (const E::Constraint& e) {
        EXPECT_EQ(statusOf(e), SQLITE_CONSTRAINT);
        EXPECT_EQ(tagOf<E::Filename_>(e), ":memory:");
        EXPECT_NE(tagOf<E::Details_>(e).find("UNIQUE"), std::string::npos);
    }
    Sqlite::bindNext(*insert, "44");
    Sqlite::bindNext(*insert, "third");
    Sqlite::bindNext(*insert, "b");
    EXPECT_FALSE(insert->step(&rowId));
    EXPECT_EQ(rowId, 44);

    auto query = db.prepare("SELECT a, b FROM t ORDER BY id", false);
    rowId = 0;
    EXPECT_TRUE(query->step(&rowId));
    EXPECT_EQ(rowId, -1);
    EXPECT_EQ(query->lastRowId(), -1);
    EXPECT_EQ(query->readText(), "first");
    EXPECT_EQ(query->readText(), "");
    EXPECT_EQ(column(db, "SELECT a FROM t ORDER BY id"),
              (std::vector<std::string>{"first", "second", "third"}));

    auto noParameters = db.prepare("SELECT 1", false);
    EXPECT_THROW(Sqlite::bindNext(*noParameters, "x"), E::Range);
}

TEST(SqliteBusy, LockedDatabaseGivesBusyWithTheTimeSpent)
{
    TestSupport::TemporaryDirectory dir;
    const std::string name = dir / "data.db";
    Sqlite::Connection owner(name, true);
    owner.execute("CREATE TABLE t(x);");
    Sqlite::Connection blocked(name, false);
    auto query = blocked.prepare("SELECT count(*) FROM t", true);
    owner.begin(Sqlite::TransactionType::Exclusive);
    owner.execute("INSERT INTO t VALUES(1);");

    std::vector<std::int32_t> retries;
    blocked.setBusyHandler([&retries](std::int32_t count) {
        retries.push_back(count);
        return count < 3;
    });
    try {
        blocked.execute("INSERT INTO t VALUES(2);");
        FAIL() << "written";
    } catch (const E::Busy& e) {
        EXPECT_EQ(statusOf(e), SQLITE_BUSY);
        EXPECT_EQ(tagOf<E::Filename_>(e), name);
        EXPECT_EQ(tagOf<E::SqlQuery_>(e), "INSERT INTO t VALUES(2);");
        EXPECT_FALSE(tagOf<E::ElapsedTime_>(e).empty());
        EXPECT_NE(tagOf<E::ElapsedTime_>(e), "<missing>");
        EXPECT_NE(std::string(e.what()).find("Sqlite::Exceptions::ElapsedTime="), std::string::npos);
    }
    EXPECT_EQ(retries, (std::vector<std::int32_t>{0, 1, 2, 3}));

    blocked.setBusyHandler(Sqlite::limitedBusyHandler(2));
    try {
        query->step();
        FAIL() << "read";
    } catch (const E::Busy& e) {
        EXPECT_EQ(tagOf<E::Filename_>(e), name);
        EXPECT_NE(tagOf<E::ElapsedTime_>(e), "<missing>");
    }

    blocked.setBusyHandler(Sqlite::BusyHandler());
    EXPECT_THROW(blocked.execute("SELECT * FROM t;"), E::Busy);

    owner.commit();
    EXPECT_TRUE(query->step());
    EXPECT_EQ(query->readText(), "1");
}

TEST(SqliteBusy, BackOffGivesUpAfterItsLimit)
{
    EXPECT_FALSE(Sqlite::defaultBusyHandler(323));
    EXPECT_FALSE(Sqlite::defaultBusyHandler(100000));
    EXPECT_TRUE(Sqlite::defaultBusyHandler(0));
    EXPECT_TRUE(Sqlite::defaultBusyHandler(-5));
    const Sqlite::BusyHandler limited = Sqlite::limitedBusyHandler(2);
    EXPECT_TRUE(limited(2));
    EXPECT_FALSE(limited(3));
}

} // namespace
