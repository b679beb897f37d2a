#pragma once
// Turns SQLite result codes into the typed exceptions of Sqlite::Exceptions, and brackets each
// engine call so that the error message read after it belongs to that call.

#include "libs/db/exceptions.hpp"

#include <string>

struct sqlite3;

namespace Sqlite {

// The fixed message of a failing primary result code (1 to 26); nullptr for every other code.
const char* resultCodeMessage(int code) noexcept;

// The engine's current error message of the connection. The empty text for a null connection,
// a null message or a failure to read it. Never throws. The text is valid until the next engine
// call on the connection.
const char* errorMessage(sqlite3* database) noexcept;

// A short-lived object on the stack of each engine call. While it holds a connection, that
// connection's engine mutex is held, so the error message read on failure describes the call
// just made. The mutex is always left before an exception is thrown.
class ErrorScope {
public:
    // Enters the connection's mutex when the connection is not null.
    explicit ErrorScope(sqlite3* database) noexcept;
    // Leaves the mutex if it is still held.
    ~ErrorScope();
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;

    // Records the code. On a failing code (1 to 26) copies the connection's error message as the
    // details, leaves the mutex and raises; on any other code only leaves the mutex.
    void check(int code);

    // check() with the connection's current result code; for calls that report failures only
    // through the connection.
    void checkCurrentCode();

    // Stores the details and the file name that the raised exception carries.
    void setDetails(const std::string& details);
    void setFilename(const std::string& filename);

    // Throws the type of the recorded code (without throw location) with Details_ and Filename_
    // when not empty, StatusCode_ and ErrorMsg_. Returns for codes outside 1 to 26.
    void raise() const;

private:
    void leave() noexcept;

    sqlite3* database_;
    int status_ = 0;
    std::string details_;
    std::string filename_;
};

// Raises the exception of a code for a call that has no connection to ask (a failed open) or
// that returned its own message (a script). Returns for codes outside 1 to 26.
void raiseError(int code, const std::string& details, const std::string& filename);

} // namespace Sqlite
