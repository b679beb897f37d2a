#pragma once
// Building blocks of the file operations, shared by their sources; not for other libraries.

#include "libs/files/flags.hpp"

#include <cstdint>
#include <functional>
#include <string>

namespace Files::Impl {

// With CreateDirectories creates the parent of target (no Dirname_ attached); with Overwrite
// deletes the target file, ignoring the outcome.
void prepareTarget(const std::string& target, Flags::Enum flags);

// Creates path and its missing parents. Throws CreateDir with ErrorNumber_ and ErrorString_,
// or the Boost.Filesystem error of a status query.
void createDirectory(const std::string& path);

// copyFile without the two file name tags.
void copyFile(const std::string& from, const std::string& to, Flags::Enum flags,
              const std::function<void(std::uintmax_t)>& onProgress = {});

// Sends a deletion failure to the receiver set with setFailureReceiver. Never throws.
void reportFailure(const std::string& text) noexcept;

} // namespace Files::Impl
