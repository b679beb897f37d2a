#pragma once
// Reading, writing and listing files in tests.

#include <string>
#include <vector>

namespace TestSupport {

// The whole content of the file. Throws std::runtime_error when it cannot be read.
std::string readFile(const std::string& path);

// Writes the content, creating missing parent directories and replacing an existing file.
// Throws std::runtime_error on failure.
void writeFile(const std::string& path, const std::string& content);

bool exists(const std::string& path);

// Every regular file below the directory as a path relative to it, in ascending order; empty
// when the directory does not exist.
std::vector<std::string> listFiles(const std::string& directory);

} // namespace TestSupport
