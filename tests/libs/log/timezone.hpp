#pragma once
// Switching the local time zone of the C library (TZ) for the log tests; POSIX time zone texts
// such as "<+01>-1" are what the POSIX C library reads.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace LogTest {

// Sets TZ for the lifetime of the object.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (old_) {
            setenv("TZ", old_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> old_;
};

} // namespace LogTest
