#pragma once
// Temporary folders, file reading, time zone switching and main logger preservation for the
// log tests.

#include "libs/log/logger.hpp"

#include <boost/filesystem.hpp>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

namespace LogTest {

class TempFolder {
public:
    TempFolder() {
        path_ = (boost::filesystem::temp_directory_path() /
                 boost::filesystem::unique_path("qelt-log-%%%%-%%%%-%%%%"))
                    .string();
        boost::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

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
