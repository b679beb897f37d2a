#pragma once
// Measures the time spent in a database call, so that busy and locked failures can say how long
// they waited.

#include "libs/db/exceptions.hpp"

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <functional>
#include <string>

namespace Sqlite {

class Stopwatch {
public:
    using Callback = std::function<void(const boost::posix_time::time_duration&)>;

    // Starts now (system clock, UTC, microseconds). The callback may be empty.
    explicit Stopwatch(Callback callback = {});
    // Calls the callback, when set, with the elapsed time; a throwing callback is ignored.
    ~Stopwatch();
    Stopwatch(const Stopwatch&) = delete;
    Stopwatch& operator=(const Stopwatch&) = delete;

    // Time since the start.
    boost::posix_time::time_duration elapsed() const;

    // Time since the start as short duration text such as "12.3ms", "5.12s" or "5:4.718".
    std::string elapsedText() const;

private:
    Callback callback_;
    boost::posix_time::ptime start_;
};

// Attaches ElapsedTime_ with the stopwatch's text when the exception's StatusCode_ is busy (5) or
// locked (6) and it has no ElapsedTime_ yet; otherwise leaves it alone. Never throws.
void attachElapsedTime(Exceptions::Exception& exception, const Stopwatch& stopwatch) noexcept;

} // namespace Sqlite
