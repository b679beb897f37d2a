#pragma once
// What tells one version of a file from another without reading it: its size and the time of
// its last change as the file system keeps them. A file written later, or another file given
// the same name later, has another stamp; a rename keeps it.

#include <cstdint>
#include <optional>
#include <string>

namespace Files {

struct Stamp {
    std::uint64_t size = 0;
    // The last change in the file system's own unit (nanoseconds since 1970 on POSIX,
    // 100-nanosecond intervals since 1601 on Windows); only ever compared.
    std::int64_t modified = 0;

    bool operator==(const Stamp& other) const { return size == other.size && modified == other.modified; }
    bool operator!=(const Stamp& other) const { return !(*this == other); }
};

// The stamp of what the name itself denotes, a link being a file of its own (never followed);
// none when nothing has the name, when it is a folder or when it cannot be examined. Never
// throws.
std::optional<Stamp> stampOf(const std::string& name);

} // namespace Files
