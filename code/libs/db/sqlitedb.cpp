#include "libs/db/sqlitedb.hpp"

#include "libs/files/operations.hpp"
#include "libs/files/paths.hpp"
#include "libs/string/unicode.hpp"

#include <boost/throw_exception.hpp>

#include <sqlite3.h>

#include <chrono>
#include <climits>
#include <string_view>
#include <thread>

namespace Sqlite {

const char* const inMemory = ":memory:";

namespace {

constexpr int openReadWrite = SQLITE_OPEN_READWRITE;
constexpr int openReadWriteCreate = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
constexpr std::int32_t defaultBusyRetryLimit = 322;
constexpr int busyWaitsMs[] = {1,  1,  2,  3,   4,   5,   7,   10,  15,  20,  30,
                               40, 55, 75, 100, 150, 200, 300, 400, 550, 750, 1000};
constexpr std::int32_t lastBusyWait = sizeof(busyWaitsMs) / sizeof(busyWaitsMs[0]) - 1;

bool busyBackOff(std::int32_t count, std::int32_t retryLimit)
{
    if (count > retryLimit)
        return false;
    const std::int32_t index = (count < 0 || count > lastBusyWait) ? lastBusyWait : count;
    std::this_thread::sleep_for(std::chrono::milliseconds(busyWaitsMs[index]));
    return true;
}

const char* transactionKeyword(TransactionType type)
{
    switch (type) {
    case TransactionType::Deferred:
        return "DEFERRED";
    case TransactionType::Immediate:
        return "IMMEDIATE";
    case TransactionType::Exclusive:
        return "EXCLUSIVE";
    }
    return "";
}

bool isSuccess(int code)
{
    return resultCodeMessage(code) == nullptr;
}

struct EngineMessageFree {
    void operator()(char* message) const noexcept { sqlite3_free(message); }
};

struct StatementFinalize {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};

using CompiledStatement = std::unique_ptr<sqlite3_stmt, StatementFinalize>;

CompiledStatement compile(const ConnectionHandle& connection, const std::string& sql)
{
    try {
        sqlite3* database = connection.con();
        if (sql.size() > static_cast<std::size_t>(INT_MAX))
            raiseError(SQLITE_TOOBIG, std::string(), std::string());
        sqlite3_stmt* raw = nullptr;
        ErrorScope scope(database);
        const int code =
            sqlite3_prepare_v2(database, sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
        CompiledStatement statement(raw);
        scope.check(code);
        return statement;
    } catch (Exceptions::Sqlite& e) {
        e << Exceptions::SqlQuery_(sql);
        throw;
    }
}

// Without text a column is NULL, past the end, or its conversion ran out of memory. The
// connection's current code is not asked: after a successful read it may still hold an older
// failure.
int columnReadCode(sqlite3_stmt* statement, int column, const char* text)
{
    if (text)
        return SQLITE_OK;
    if (column < 0 || column >= sqlite3_data_count(statement))
        return SQLITE_RANGE;
    return sqlite3_column_type(statement, column) == SQLITE_NULL ? SQLITE_OK : SQLITE_NOMEM;
}

void createParentDirectory(const std::string& filename)
{
    const std::string parent = Files::parentPath(filename);
    if (!parent.empty())
        Files::createDirectory(parent);
}

} // namespace

sqlite3* ConnectionHandle::con() const
{
    if (!database_)
        BOOST_THROW_EXCEPTION(Exceptions::NoConnection());
    return database_;
}

sqlite3_stmt* StatementHandle::stmt() const
{
    if (!statement_)
        BOOST_THROW_EXCEPTION(Exceptions::NoStatement());
    return statement_;
}

bool defaultBusyHandler(std::int32_t count)
{
    return busyBackOff(count, defaultBusyRetryLimit);
}

BusyHandler limitedBusyHandler(std::int32_t retryLimit)
{
    return [retryLimit](std::int32_t count) { return busyBackOff(count, retryLimit); };
}

Connection::Connection(const std::string& filename, bool create)
{
    if (!filename.empty())
        open(filename, create);
}

Connection::~Connection()
{
    close();
}

void Connection::close() noexcept
{
    cache_.reset();
    if (database_) {
        // A statement still alive keeps the engine connection until it is finalised.
        sqlite3_close_v2(database_);
        database_ = nullptr;
    }
}

void Connection::open(const std::string& filename, bool create)
{
    close();
    filename_ = filename;
    int flags = openReadWrite;
    if (create) {
        flags = openReadWriteCreate;
        if (filename != inMemory)
            createParentDirectory(filename);
    }
    sqlite3* database = nullptr;
    const int code = sqlite3_open_v2(filename.c_str(), &database, flags, nullptr);
    if (!isSuccess(code) || !database) {
        std::string message = errorMessage(database);
        if (message.empty())
            message = "memory";
        sqlite3_close(database);
        raiseError(code, message, filename);
        raiseError(SQLITE_CANTOPEN, message, filename);
    }
    database_ = database;
    cache_ = std::make_shared<StatementCache>(database_);
    setBusyHandler(&defaultBusyHandler);
    installProgressCallback();
}

ConnectionHandle Connection::connectionHandle() const
{
    if (!database_)
        BOOST_THROW_EXCEPTION(Exceptions::NoConnection());
    return ConnectionHandle(database_);
}

int Connection::onBusy(void* context, int count) noexcept
{
    const auto* connection = static_cast<const Connection*>(context);
    if (!connection->busyHandler_)
        return 0;
    try {
        return connection->busyHandler_(count) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void Connection::setBusyHandler(BusyHandler handler)
{
    busyHandler_ = std::move(handler);
    if (!database_)
        return;
    ErrorScope scope(database_);
    scope.check(sqlite3_busy_handler(database_, &Connection::onBusy, this));
}

int Connection::onProgress(void* context) noexcept
{
    try {
        static_cast<const Connection*>(context)->progress_();
    } catch (...) {
    }
    return 0;
}

void Connection::onEveryInstructions(int instructions, ProgressCallback callback)
{
    progress_ = std::move(callback);
    progressInstructions_ = instructions;
    installProgressCallback();
}

void Connection::installProgressCallback() noexcept
{
    if (!database_)
        return;
    if (progress_ && progressInstructions_ > 0)
        sqlite3_progress_handler(database_, progressInstructions_, &Connection::onProgress, this);
    else
        sqlite3_progress_handler(database_, 0, nullptr, nullptr);
}

void Connection::begin(TransactionType type)
{
    execute(std::string("BEGIN ") + transactionKeyword(type) + " TRANSACTION;");
}

void Connection::commit()
{
    execute("COMMIT;");
}

void Connection::analyze()
{
    execute("ANALYZE;");
}

void Connection::vacuum()
{
    execute("VACUUM;");
}

void Connection::execute(const std::string& sql)
{
    const Stopwatch stopwatch;
    try {
        sqlite3* database = connectionHandle().con();
        try {
            char* raw = nullptr;
            const int code = sqlite3_exec(database, sql.c_str(), nullptr, nullptr, &raw);
            const std::unique_ptr<char, EngineMessageFree> message(raw);
            raiseError(code, message ? std::string(message.get()) : std::string(), std::string());
        } catch (Exceptions::Exception& e) {
            e << Exceptions::SqlQuery_(sql);
            throw;
        }
    } catch (Exceptions::Exception& e) {
        e << Exceptions::Filename_(filename_);
        attachElapsedTime(e, stopwatch);
        throw;
    }
}

std::unique_ptr<Statement> Connection::prepare(const std::string& sql, bool cached)
{
    try {
        return prepareStatement(sql, cached);
    } catch (Exceptions::Exception& e) {
        e << Exceptions::Filename_(filename_);
        throw;
    }
}

std::unique_ptr<Statement> Connection::prepareStatement(const std::string& sql, bool cached)
{
    if (!cached || !cache_) {
        CompiledStatement statement = compile(connectionHandle(), sql);
        auto result = std::make_unique<Statement>(filename_, Statement::ReleaseCallback(),
                                                  statement.get());
        statement.release();
        return result;
    }
    CompiledStatement statement(cache_->take(sql));
    if (!statement)
        statement = compile(connectionHandle(), sql);
    std::weak_ptr<StatementCache> cache = cache_;
    Statement::ReleaseCallback release = [cache, sql](StatementHandle handle) {
        sqlite3_stmt* raw = handle.stmt();
        if (const auto owner = cache.lock())
            owner->release(raw, sql);
        else
            sqlite3_finalize(raw);
    };
    auto result = std::make_unique<Statement>(filename_, std::move(release), statement.get());
    statement.release();
    return result;
}

void Connection::releaseStatement(StatementHandle handle) noexcept
{
    try {
        sqlite3_stmt* statement = handle.stmt();
        if (!cache_) {
            sqlite3_finalize(statement);
            return;
        }
        const char* text = sqlite3_sql(statement);
        cache_->release(statement, text ? std::string(text) : std::string());
    } catch (...) {
    }
}

std::size_t Connection::idleStatements(const std::string& sql) const
{
    return cache_ ? cache_->idleCount(sql) : 0;
}

Statement::Statement(std::string filename, ReleaseCallback release, sqlite3_stmt* statement) noexcept
    : filename_(std::move(filename)), release_(std::move(release)), statement_(statement)
{
}

Statement::~Statement()
{
    if (!statement_)
        return;
    if (!release_) {
        sqlite3_finalize(statement_);
        return;
    }
    try {
        release_(StatementHandle(statement_));
    } catch (...) {
    }
}

StatementHandle Statement::statementHandle() const
{
    if (!statement_)
        BOOST_THROW_EXCEPTION(Exceptions::NoStatement());
    return StatementHandle(statement_);
}

bool Statement::step(std::int64_t* lastRowId)
{
    lastRowId_ = -1;
    cursor_ = 0;
    needsReset_ = true;
    hasRow_ = false;
    const Stopwatch stopwatch;
    int code = SQLITE_OK;
    try {
        sqlite3_stmt* statement = statementHandle().stmt();
        sqlite3* database = ConnectionHandle(sqlite3_db_handle(statement)).con();
        ErrorScope scope(database);
        code = sqlite3_step(statement);
        const std::int64_t inserted = sqlite3_last_insert_rowid(database);
        try {
            scope.check(code);
        } catch (Exceptions::Sqlite&) {
            // The failure is reported here; a later reset must not report it again.
            sqlite3_reset(statement);
            throw;
        }
        if (code != SQLITE_ROW)
            lastRowId_ = inserted;
    } catch (Exceptions::Exception& e) {
        e << Exceptions::Filename_(filename_);
        attachElapsedTime(e, stopwatch);
        throw;
    }
    if (lastRowId)
        *lastRowId = lastRowId_;
    hasRow_ = code == SQLITE_ROW;
    return hasRow_;
}

void Statement::reset()
{
    cursor_ = 0;
    hasRow_ = false;
    sqlite3_stmt* statement = statementHandle().stmt();
    ErrorScope scope(sqlite3_db_handle(statement));
    scope.check(sqlite3_reset(statement));
}

void Statement::bindText(const std::string& value)
{
    if (needsReset_) {
        needsReset_ = false;
        reset();
    }
    const int index = ++cursor_;
    sqlite3_stmt* statement = statementHandle().stmt();
    ErrorScope scope(sqlite3_db_handle(statement));
    scope.check(sqlite3_bind_text64(statement, index, value.data(), value.size(), SQLITE_TRANSIENT,
                                    SQLITE_UTF8));
}

std::string Statement::readText()
{
    if (!hasRow_)
        boost::throw_exception(Exceptions::NoRow());
    const int column = cursor_++;
    sqlite3_stmt* statement = statementHandle().stmt();
    ErrorScope scope(sqlite3_db_handle(statement));
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    const auto size = text ? static_cast<std::size_t>(sqlite3_column_bytes(statement, column)) : 0;
    scope.check(columnReadCode(statement, column, text));
    return text ? String::fixUtf8(std::string_view(text, size)) : std::string();
}

void bindNext(Statement& statement, const std::string& value)
{
    statement.bindText(value);
}

void readNext(Statement& statement, std::string& out)
{
    out = statement.readText();
}

} // namespace Sqlite
