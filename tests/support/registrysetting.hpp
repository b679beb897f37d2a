#pragma once
// The registry that a migrator run by a test reads: on POSIX the registry file named by the
// sandbox, on Windows the machine's registry itself.

#include <string>

namespace TestSupport::RegistrySetting {

// Makes the registry the program reads hold what the registry file text says: on POSIX the
// text becomes the file; on Windows the service's settings key is removed and, when the text
// names it, created again with exactly the text's values. Throws std::runtime_error on failure.
void apply(const std::string& file, const std::string& text);

// Leaves the program no registry to read the service's settings from: on POSIX the file is
// removed; on Windows the service's settings key. Throws std::runtime_error on failure.
void remove(const std::string& file);

} // namespace TestSupport::RegistrySetting
