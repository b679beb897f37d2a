#pragma once
// Path operations on UTF-8 path names, done the way Boost.Filesystem does them.

#include <boost/exception_ptr.hpp>

#include <string>

namespace Files {

// The parts joined with "/" inserted only where needed.
std::string join(const std::string& a, const std::string& b);
std::string join(const std::string& a, const std::string& b, const std::string& c);
// The path without its last component ("" when there is none).
std::string parentPath(const std::string& name);
// The last component of the path.
std::string filename(const std::string& name);
// The path completed against the current directory when relative; absolute paths unchanged.
std::string systemComplete(const std::string& name);
// True when the path has a root directory ("/...") and, on Windows, a root name ("C:\\...").
bool isAbsolute(const std::string& name);
// True for "/" and, on Windows, also for "\\": the characters that end a path component.
bool isSeparator(char c);
// True when the text can be one component of a path and names a child of its folder: not
// empty, not "." or "..", with no separator, no control character and, on Windows, none of the
// characters that Windows file names cannot hold.
bool isPlainName(const std::string& component);

// True when the path (following links) is a regular file, respectively a directory. A missing
// path gives false. When the status query fails, Exceptions::OpenFile with Filename_ and the
// error number's tags is stored in *error (when given) and the result is false. Never throws.
bool isFile(const std::string& name, boost::exception_ptr* error = nullptr);
bool isDirectory(const std::string& name, boost::exception_ptr* error = nullptr);

} // namespace Files
