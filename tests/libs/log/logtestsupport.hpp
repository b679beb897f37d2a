#pragma once
// Temporary folders, file reading, time zone switching and main logger preservation for the
// log tests.

#include "libs/log/logger.hpp"

#include <boost/filesystem.hpp>

#include <cstdlib>
#include <ctime>
#include "support/temporarydirectory.hpp"

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

namespace LogTest {

using TempFolder = TestSupport::TemporaryDirectory;

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool exists(const std::string& path) {
    return boost::filesystem::exists(path);
}

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

// Restores the main logger's configuration when the test ends.
class MainLoggerGuard {
public:
    MainLoggerGuard() { saved_.copyFrom(Log::mainLogger()); }
    ~MainLoggerGuard() { Log::mainLogger().copyFrom(saved_); }

private:
    Log::Logger saved_;
};

} // namespace LogTest
