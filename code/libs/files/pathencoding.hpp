#pragma once
// The form in which a UTF-8 path name reaches the platform's file calls.

#include <boost/filesystem/path.hpp>

#include <string>

namespace Files {

// The path that the platform's calls get for the UTF-8 name. POSIX: the name as it is. Windows:
// the name in UTF-16; a name whose full form is longer than the system's classic limit of a
// folder name (248 units) becomes that full form (separators "\", "." and ".." resolved) with
// the extended-length prefix "\\?\" ("\\?\UNC\" on a network share), which every Windows version
// accepts at any length; names already in that form stay as they are. A name that is not UTF-8
// gives the empty path on Windows, which every call refuses. Never throws.
boost::filesystem::path systemPath(const std::string& name);

} // namespace Files
