#pragma once
// The object layer over the SQLite engine: an open database file (Connection), its prepared
// statements (Statement), transactions and scripts. Every failing engine call throws the
// Sqlite::Exceptions type of its result code (see errors.hpp) with the file name, the SQL text
// and, for busy or locked databases, the time spent waiting.
//
// Typical use on a working copy of a database:
//     Sqlite::Connection db(fileName, false);
//     db.execute("PRAGMA journal_mode=OFF;PRAGMA synchronous=OFF;");
//     db.begin(Sqlite::TransactionType::Exclusive);
//     auto query = db.prepare("SELECT a, b FROM t", true);
//     while (query->step()) { Sqlite::readNext(*query, a); Sqlite::readNext(*query, b); }
//     auto update = db.prepare("UPDATE t SET a=? WHERE b=?", true);
//     Sqlite::bindNext(*update, a); Sqlite::bindNext(*update, b); update->step();
//     db.commit();
// Rows are read one at a time; nothing reads a whole table into memory.

#include "libs/db/errors.hpp"
#include "libs/db/exceptions.hpp"
#include "libs/db/statementcache.hpp"
#include "libs/db/stopwatch.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace Sqlite {

// The name that opens a private in-memory database.
extern const char* const inMemory;

// A copyable view of an engine connection pointer.
class ConnectionHandle {
public:
    explicit ConnectionHandle(sqlite3* database = nullptr) noexcept : database_(database) {}
    // The engine connection; throws NoConnection (with throw location) when it is null.
    sqlite3* con() const;

private:
    sqlite3* database_;
};

// A copyable view of an engine statement pointer.
class StatementHandle {
public:
    explicit StatementHandle(sqlite3_stmt* statement = nullptr) noexcept : statement_(statement) {}
    // The engine statement; throws NoStatement (with throw location) when it is null.
    sqlite3_stmt* stmt() const;

private:
    sqlite3_stmt* statement_;
};

enum class TransactionType : int { Deferred = 1, Immediate = 2, Exclusive = 3 };

// Decides whether a call blocked by another connection is retried: called with the number of
// retries so far (from 0), returns true to wait and retry, false to give up with Busy.
using BusyHandler = std::function<bool(std::int32_t count)>;

// Sleeps 1, 1, 2, 3, 4, 5, 7, 10, 15, 20, 30, 40, 55, 75, 100, 150, 200, 300, 400, 550, 750 ms
// for the retries 0 to 20 and 1000 ms for each later one; gives up after retry 322 (about five
// minutes in all).
bool defaultBusyHandler(std::int32_t count);

// The back-off of defaultBusyHandler with another retry limit: gives up when count > retryLimit.
BusyHandler limitedBusyHandler(std::int32_t retryLimit);

class Statement;

// One open database file. Not copied, not moved (the engine keeps its address for the busy
// handler). The destructor finalises the cached statements and closes the database, ignoring
// failures; an open transaction is rolled back by the engine.
class Connection {
public:
    // Opens the file when the name is not empty (see open); an empty name leaves it closed.
    explicit Connection(const std::string& filename = std::string(), bool create = false);
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Closes a database already open, then opens the file read-write. With create set a missing
    // file is created, with its missing parent directories (none for ":memory:"). Throws the type
    // of the result code (usually Open) with Details_ and Filename_; the connection then stays
    // closed with the name stored. Installs defaultBusyHandler.
    void open(const std::string& filename, bool create);

    // The name given to open (":memory:" for an in-memory database).
    const std::string& filename() const noexcept { return filename_; }
    bool isOpen() const noexcept { return database_ != nullptr; }

    // The open engine connection; throws NoConnection when closed.
    ConnectionHandle connectionHandle() const;

    // Replaces the busy handler; an empty one makes a blocked call fail at once with Busy.
    void setBusyHandler(BusyHandler handler);

    // Calls callback while statements run, after about every instructions steps of the engine's
    // virtual machine, for example to keep a progress display moving during a long statement.
    // The callback cannot stop the statement; what it throws is dropped. An empty callback (or
    // instructions below 1) removes it. Kept when the connection is opened again.
    using ProgressCallback = std::function<void()>;
    void onEveryInstructions(int instructions, ProgressCallback callback);

    // "BEGIN <DEFERRED|IMMEDIATE|EXCLUSIVE> TRANSACTION;"; another value runs a plain deferred
    // "BEGIN  TRANSACTION;".
    void begin(TransactionType type);
    void commit();
    void analyze();
    void vacuum();

    // Runs a script of statements separated by ";" in order and stops at the first failure
    // (earlier statements stay applied). Statements that return rows, such as "PRAGMA
    // journal_mode=OFF", are accepted and their rows discarded. Failures carry Details_,
    // SqlQuery_ (the whole script), Filename_ and, for busy or locked, ElapsedTime_.
    void execute(const std::string& sql);

    // Compiles the first statement of the text (the rest is ignored). With cached set, an idle
    // statement of the same text is reused and the statement returns to this connection's cache
    // when destroyed. A text without a statement gives a Statement whose use throws
    // NoStatement. Failures carry Details_, SqlQuery_ and Filename_; a closed connection throws
    // NoConnection.
    std::unique_ptr<Statement> prepare(const std::string& sql, bool cached);

    // Takes back a statement no longer used: into the cache (reset, bindings cleared) when there
    // is one, else finalised. Never throws.
    void releaseStatement(StatementHandle handle) noexcept;

    // Number of idle cached statements of this text (0 when closed).
    std::size_t idleStatements(const std::string& sql) const;

private:
    static int onBusy(void* context, int count) noexcept;
    static int onProgress(void* context) noexcept;
    void installProgressCallback() noexcept;
    void close() noexcept;
    std::unique_ptr<Statement> prepareStatement(const std::string& sql, bool cached);

    std::string filename_;
    sqlite3* database_ = nullptr;
    BusyHandler busyHandler_;
    ProgressCallback progress_;
    int progressInstructions_ = 0;
    std::shared_ptr<StatementCache> cache_;
};

// One prepared statement. Parameters are bound in order from 1 (bindNext) and the columns of
// the current row read in order from 0 (readNext); each step restarts both counts. The first
// bind after a step resets the statement, so binding new values and stepping runs it again.
// Should be destroyed before its connection; if it outlives it, it is finalised safely.
class Statement {
public:
    using ReleaseCallback = std::function<void(StatementHandle)>;

    // Takes ownership of the engine statement (may be null). The callback, when set, takes it
    // back on destruction instead of finalising it.
    Statement(std::string filename, ReleaseCallback release, sqlite3_stmt* statement) noexcept;
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // The engine statement; throws NoStatement when it is null.
    StatementHandle statementHandle() const;

    // Runs the statement to its next row. Returns true when a row is ready. The output, when
    // given, receives -1 for a row, else the connection's last inserted row id. Failures carry
    // Filename_ and, for busy or locked, ElapsedTime_.
    bool step(std::int64_t* lastRowId = nullptr);

    // Resets the statement for another run (bound values stay) and restarts the column count.
    void reset();

    // Binds the text (copied by the engine) to the next parameter; Range when there is none.
    void bindText(const std::string& value);

    // The next column of the current row as UTF-8 text (invalid bytes repaired to U+FFFD); a
    // NULL column reads as empty. Throws NoRow without a current row, Range past the last column.
    std::string readText();

    // As reported by the last step: -1 for a row or before the first step.
    std::int64_t lastRowId() const noexcept { return lastRowId_; }
    bool hasRow() const noexcept { return hasRow_; }

private:
    std::string filename_;
    ReleaseCallback release_;
    sqlite3_stmt* statement_;
    std::int32_t cursor_ = 0;
    std::int64_t lastRowId_ = -1;
    bool needsReset_ = false;
    bool hasRow_ = false;
};

// Binds the value as text to the statement's next parameter.
void bindNext(Statement& statement, const std::string& value);

// Reads the statement's next column as text into the output.
void readNext(Statement& statement, std::string& out);

} // namespace Sqlite
