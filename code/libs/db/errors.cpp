#include "libs/db/errors.hpp"

#include <boost/throw_exception.hpp>

#include <sqlite3.h>

namespace Sqlite {
namespace {

using Raise = void (*)(int code, const char* message, const std::string& details,
                       const std::string& filename);

template <typename Type>
[[noreturn]] void raiseAs(int code, const char* message, const std::string& details,
                          const std::string& filename)
{
    Type exception;
    if (!details.empty())
        exception << Exceptions::Details_(details);
    if (!filename.empty())
        exception << Exceptions::Filename_(filename);
    exception << Exceptions::StatusCode_(code) << Exceptions::ErrorMsg_(message);
    boost::throw_exception(exception);
}

struct ResultCode {
    const char* message;
    Raise raise;
};

// Indexed by the primary result code minus one.
const ResultCode resultCodes[] = {
    {"SQL error or missing database", &raiseAs<Exceptions::Error>},
    {"Internal logic error in SQLite", &raiseAs<Exceptions::Internal>},
    {"Access permission denied", &raiseAs<Exceptions::Perm>},
    {"Callback routine requested an abort", &raiseAs<Exceptions::Abort>},
    {"The database file is locked", &raiseAs<Exceptions::Busy>},
    {"A table in the database is locked", &raiseAs<Exceptions::Locked>},
    {"A malloc() failed", &raiseAs<Exceptions::Memory>},
    {"Attempt to write a readonly database", &raiseAs<Exceptions::ReadOnly>},
    {"Operation terminated by sqlite3_interrupt()", &raiseAs<Exceptions::Interrupt>},
    {"Some kind of disk I/O error occurred", &raiseAs<Exceptions::IOError>},
    {"The database disk image is malformed", &raiseAs<Exceptions::Corrupt>},
    {"NOT USED. Table or record not found", &raiseAs<Exceptions::NotFound>},
    {"Insertion failed because database is full", &raiseAs<Exceptions::Full>},
    {"Unable to open the database file", &raiseAs<Exceptions::Open>},
    {"Database lock protocol error", &raiseAs<Exceptions::Protocol>},
    {"Database is empty", &raiseAs<Exceptions::Empty>},
    {"The database schema changed", &raiseAs<Exceptions::Schema>},
    {"String or BLOB exceeds size limit", &raiseAs<Exceptions::TooBig>},
    {"Abort due to constraint violation", &raiseAs<Exceptions::Constraint>},
    {"Data type mismatch", &raiseAs<Exceptions::Mismatch>},
    {"Library used incorrectly", &raiseAs<Exceptions::Misuse>},
    {"Uses OS features not supported on host", &raiseAs<Exceptions::NoLFS>},
    {"Authorization denied", &raiseAs<Exceptions::Auth>},
    {"Auxiliary database format error", &raiseAs<Exceptions::Format>},
    {"2nd parameter to sqlite3_bind out of range", &raiseAs<Exceptions::Range>},
    {"File opened that is not a database file", &raiseAs<Exceptions::BadFile>},
};

constexpr int resultCodeCount = sizeof(resultCodes) / sizeof(resultCodes[0]);

const ResultCode* findResultCode(int code) noexcept
{
    return code >= 1 && code <= resultCodeCount ? &resultCodes[code - 1] : nullptr;
}

} // namespace

const char* resultCodeMessage(int code) noexcept
{
    const ResultCode* row = findResultCode(code);
    return row ? row->message : nullptr;
}

const char* errorMessage(sqlite3* database) noexcept
{
    if (!database)
        return "";
    const char* message = sqlite3_errmsg(database);
    return message ? message : "";
}

ErrorScope::ErrorScope(sqlite3* database) noexcept : database_(database)
{
    if (database_)
        sqlite3_mutex_enter(sqlite3_db_mutex(database_));
}

ErrorScope::~ErrorScope()
{
    leave();
}

void ErrorScope::leave() noexcept
{
    if (database_) {
        sqlite3_mutex_leave(sqlite3_db_mutex(database_));
        database_ = nullptr;
    }
}

void ErrorScope::check(int code)
{
    status_ = code;
    if (!findResultCode(code)) {
        leave();
        return;
    }
    if (database_)
        details_ = errorMessage(database_);
    leave();
    raise();
}

void ErrorScope::checkCurrentCode()
{
    check(database_ ? sqlite3_errcode(database_) : SQLITE_OK);
}

void ErrorScope::setDetails(const std::string& details)
{
    details_ = details;
}

void ErrorScope::setFilename(const std::string& filename)
{
    filename_ = filename;
}

void ErrorScope::raise() const
{
    if (const ResultCode* row = findResultCode(status_))
        row->raise(status_, row->message, details_, filename_);
}

void raiseError(int code, const std::string& details, const std::string& filename)
{
    if (!findResultCode(code))
        return;
    ErrorScope scope(nullptr);
    scope.setDetails(details);
    scope.setFilename(filename);
    scope.check(code);
}

} // namespace Sqlite
