#pragma once
// Temporary folders, file reading, an info entry and main logger preservation for the log tests.

#include "libs/log/logger.hpp"

#include <boost/filesystem.hpp>

#include "support/temporarydirectory.hpp"

#include <fstream>
#include <iterator>
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

// Writes the text as one info entry of verbosity normal.
inline void logInfo(const Log::Logger& logger, const std::string& text) {
    Log::Entry entry(Log::Normal, Log::Info);
    entry.stream() << text;
    logger.log(entry);
}

// Restores the main logger's configuration when the test ends.
class MainLoggerGuard {
public:
    MainLoggerGuard() { saved_.copyFrom(Log::mainLogger()); }
    ~MainLoggerGuard() { Log::mainLogger().copyFrom(saved_); }

private:
    Log::Logger saved_;
};

} // namespace LogTest
