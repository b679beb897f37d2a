#pragma once
// Temporary folders, files and environment variables for the platform layer tests.

#include <boost/filesystem.hpp>

#include <cstdlib>
#include "support/temporarydirectory.hpp"

#include <fstream>
#include <optional>
#include <string>

namespace Win32Test {

using TempFolder = TestSupport::TemporaryDirectory;

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Sets (or with a null value unsets) an environment variable for the lifetime of the object.
class Environment {
public:
    Environment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        set(value);
    }
    ~Environment() { set(old_ ? old_->c_str() : nullptr); }

private:
    void set(const char* value) {
        if (value) {
            setenv(name_.c_str(), value, 1);
        } else {
            unsetenv(name_.c_str());
        }
    }

    std::string name_;
    std::optional<std::string> old_;
};

} // namespace Win32Test
