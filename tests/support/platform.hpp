#pragma once
// What differs between the platforms as the tests see it: the separator that joins path
// components, the line end of a file written in text mode, and what a file's missing write
// permission means to the test process. Expectations are written with "/" and "\n" and pass
// through these helpers, so that one assertion holds on every platform.

#include <string>

namespace TestSupport {

// The platform's path separator as Files::join inserts it ("/" on POSIX, "\" on Windows).
std::string pathSeparator();

// The path written with "/" ("conf/user.db") with every separator the platform's.
std::string nativeSeparators(const std::string& path);

// The directory joined with a relative path written with "/" ("conf/main.conf"), every
// separator the platform's, as the program joins the same components.
std::string joinPath(const std::string& directory, const std::string& relative);

// What text mode writes for "\n": "\r\n" on Windows, "\n" on POSIX.
std::string textModeLineEnd();

// The text as the platform's text mode writes it: every "\n" is "\r\n" on Windows; unchanged
// on POSIX.
std::string textModeLines(const std::string& text);

// Takes the write permission of the file away: the write bits on POSIX, the read-only
// attribute on Windows. Throws on failure.
void makeReadOnly(const std::string& path);

// False when the test process writes to files whatever their permission says (the super-user
// on POSIX, and under Wine run by the super-user); found by trying it once.
bool readOnlyBindsThisProcess();

} // namespace TestSupport
