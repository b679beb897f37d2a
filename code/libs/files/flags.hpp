#pragma once
// The flag set shared by opening, copying, moving and directory copying of files.

namespace Files::Flags {

enum Enum : unsigned int {
    None = 0,
    Read = 0x1,
    Write = 0x2,
    Append = 0x4,
    // With Write and without Overwrite: a failed open of a path that is not an existing regular
    // file is tried again as with Overwrite.
    Create = 0x8,
    Overwrite = 0x10,
    DeleteOnClose = 0x20,
    Text = 0x40,
    CreateDirectories = 0x80,
    Hardlink = 0x100,
    CopyIfHardlinkFails = 0x200,
    Recursive = 0x400,
    // Two-bit share field: 0 denies reading and writing by others. Not enforced on POSIX.
    DenyWrite = 0x800,
    DenyRead = 0x1000,
    DenyNone = 0x1800,
    ShareMask = 0x1800,
    Touch = 0x2000,
};

constexpr Enum operator|(Enum a, Enum b)
{
    return static_cast<Enum>(static_cast<unsigned int>(a) | static_cast<unsigned int>(b));
}

constexpr Enum operator&(Enum a, Enum b)
{
    return static_cast<Enum>(static_cast<unsigned int>(a) & static_cast<unsigned int>(b));
}

constexpr Enum operator~(Enum a)
{
    return static_cast<Enum>(~static_cast<unsigned int>(a));
}

// True when every bit of wanted is set in flags.
constexpr bool has(Enum flags, Enum wanted)
{
    return (flags & wanted) == wanted && wanted != None;
}

} // namespace Files::Flags
