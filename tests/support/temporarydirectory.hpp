#pragma once
// A fresh directory for one test, removed with everything in it when the test ends.

#include <string>

namespace TestSupport {

class TemporaryDirectory {
public:
    // Creates a new, empty directory below the system's temporary folder. Throws on failure.
    TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    // Removes the directory and its content, restoring write permission where a test took it
    // away (a folder's on POSIX, a file's read-only attribute on Windows); never throws.
    ~TemporaryDirectory();

    const std::string& path() const { return path_; }
    // The directory joined with a relative path ("conf/main.conf"), as the program joins it
    // (support/platform.hpp).
    std::string operator/(const std::string& relative) const;

private:
    std::string path_;
};

} // namespace TestSupport
