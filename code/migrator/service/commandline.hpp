#pragma once
// The program's command line in UTF-8, the encoding of every text of the program.

#include <string>
#include <vector>

namespace Migration::CommandLine {

// The arguments of the process, the program name first, in UTF-8. POSIX: argv as received.
// Windows: read again from the system's UTF-16 command line, since the runtime's narrow argv is
// in the ANSI code page, which cannot hold every letter of a folder or argument; argv only when
// that cannot be read. Never throws but std::bad_alloc.
std::vector<std::string> arguments(int argc, const char* const argv[]);

} // namespace Migration::CommandLine
